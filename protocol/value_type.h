// The kinds of attribute values. The numeric codes are part of the dictionary model and of the
// log messages ("Radius Error: Unknown Attribute Type: %s (%d)"), so they are fixed.
#pragma once

#include <cstdint>

enum class ValueType : std::int32_t {
    NotSet = -1,  // a RadiusAttribute whose type was never set
    String = 0,
    Integer = 1,
    IpAddr = 2,
    Date = 3,
    Complex = 4,
    NoValue = 5,  // only as the data type of a complex layout without a data field
};
