// The readable listing of a RADIUS packet for the packet trace (log level 3).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class Dictionary;

// "Access Request", "Access Accept", ... or "Unknown".
const char* PacketCodeName(int code);

// The listing: "Code=%s", then "  %s = %s" per attribute (name text, value text). Attributes
// are named through the dictionary (may be null: "Attr=%d" and "Unknown Type"). Only received
// octets inside the Length field are read; a malformed item ends the listing quietly. A
// Vendor-Specific attribute of a FreeRADIUS-format vendor gives a line per vendor attribute it
// holds. valueNames: numbers that the attribute's VALUE lines name are shown by those names.
std::vector<std::string> DescribePacket(std::span<const std::uint8_t> packet, const Dictionary* dictionary,
                                        bool valueNames = false);

// Writes DescribePacket's lines to the log at level 3 (nothing is formatted when level 3 is off).
void LogPacket(std::span<const std::uint8_t> packet, const Dictionary* dictionary, bool valueNames = false);
