// The packet-trace text of values defined in FreeRADIUS-format files: tags after the name
// (Tunnel-Type:1), one line per value of an array, each type in its usual text, and the vendor
// attributes inside a Vendor-Specific attribute, one line each.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

class Dictionary;
struct AttributeDef;

// A name text and a value text.
using TraceLine = std::pair<std::string, std::string>;

// The lines of one value of the definition. valueNames: numbers that the attribute's VALUE
// lines name are shown by those names.
void DescribeFreeRadiusValue(const AttributeDef& definition, std::span<const std::uint8_t> value,
                             const Dictionary* dictionary, bool valueNames, std::vector<TraceLine>& lines);

// The lines of a Vendor-Specific value (RFC 2865 section 5.26) whose first vendor attribute is
// the vendor attribute definition: each vendor attribute it holds, by its definition
// ("Attr=26.vendor.type" and its octets when the dictionary has none). False, adding nothing,
// when the value does not divide into vendor attributes as the vendor's format says.
bool DescribeVendorSpecific(const AttributeDef& definition, std::span<const std::uint8_t> value,
                            const Dictionary& dictionary, bool valueNames, std::vector<TraceLine>& lines);
