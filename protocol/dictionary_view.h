// What the lookups of a FreeRADIUS-format file see: its own entries and those of every file it
// includes, as FreeRADIUS reads $INCLUDE in place. Among definitions of the same number, name
// or vendor attribute, and VALUE entries of the same attribute and number or name, the one
// read last wins, as it does in FreeRADIUS.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

struct AttributeDef;
struct ValueDef;
class Dictionary;

class DictionaryView {
public:
    // The entries of the dictionary and of its includes; the dictionary's own are sorted already.
    explicit DictionaryView(const Dictionary& dictionary);

    // Vendor attributes are found by ByVendorAttribute, not by number.
    const AttributeDef* ByNumber(std::int32_t number) const;
    const AttributeDef* ByName(std::string_view name) const;
    const AttributeDef* ByVendorAttribute(std::uint32_t vendorId, std::uint32_t vendorType) const;
    // The definition whose layout fits the value octets (Dictionary::FindComplex without its
    // second search): a Vendor-Specific value by its Vendor-Id and vendor type.
    const AttributeDef* Complex(std::int32_t number, std::span<const std::uint8_t> value) const;

    // The first VALUE entry in (attribute name, value) order with that value name.
    const ValueDef* Value(std::string_view valueName) const;
    const ValueDef* ValueOf(std::string_view attributeName, std::int32_t value) const;
    const ValueDef* ValueNamed(std::string_view attributeName, std::string_view valueName) const;

    // Appends every entry of the view (for a file that includes this one).
    void Collect(std::vector<const AttributeDef*>& attributes, std::vector<const ValueDef*>& values) const;

private:
    std::vector<const AttributeDef*> byNumber_;          // all but vendor attributes
    std::vector<const AttributeDef*> byName_;            // all
    std::vector<const AttributeDef*> vendorAttributes_;  // by Vendor-Id, vendor type
    std::vector<const ValueDef*> valuesByNumber_;        // by attribute name, value
    std::vector<const ValueDef*> valuesByName_;          // by attribute name, value name
};
