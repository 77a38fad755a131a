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

    // The further types of FreeRADIUS-format dictionaries. Their values are held as the
    // octets they take on the wire.
    Octets = 6,  // also abinary and vsa
    Byte = 7,
    Short = 8,
    Signed = 9,
    Integer64 = 10,
    Ipv6Addr = 11,
    Ipv6Prefix = 12,
    Ipv4Prefix = 13,
    Ifid = 14,
    Ether = 15,
    ComboIp = 16,
    // Loaded so that the files that use them load, but never sent.
    Tlv = 17,
    Extended = 18,
    LongExtended = 19,
    Evs = 20,
};
