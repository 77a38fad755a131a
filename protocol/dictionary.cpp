#include "protocol/dictionary.h"

#include <algorithm>

namespace {

// The field's value as the octets it takes on the wire (low 8, low 16 or all 32 bits).
bool FieldEquals(const ComplexField& field, const std::uint8_t* octets) {
    const auto value = static_cast<std::uint32_t>(field.value);
    switch (field.size) {
        case 1:
            return octets[0] == (value & 0xFFu);
        case 2:
            return ((std::uint32_t{octets[0]} << 8) | octets[1]) == (value & 0xFFFFu);
        default:
            return ((std::uint32_t{octets[0]} << 24) | (std::uint32_t{octets[1]} << 16) |
                    (std::uint32_t{octets[2]} << 8) | octets[3]) == value;
    }
}

}  // namespace

bool AttributeDef::Matches(std::span<const std::uint8_t> value) const {
    if (value.empty()) return type != ValueType::Complex;
    if (type != ValueType::Complex || fields.empty()) return false;
    std::size_t position = 0;
    std::size_t remaining = value.size();
    for (const ComplexField& field : fields) {
        if (remaining == 0) break;
        if (field.kind == ComplexFieldKind::LengthPlus || field.kind == ComplexFieldKind::Data) return true;
        const auto size = static_cast<std::size_t>(field.size);
        if (size > remaining) return false;
        if (!FieldEquals(field, value.data() + position)) return false;
        position += size;
        remaining -= size;
    }
    return remaining == 0;
}

std::int32_t AttributeDef::HeaderLength() const {
    std::int32_t length = 0;
    for (const ComplexField& field : fields) {
        if (field.kind == ComplexFieldKind::Data) break;
        length += field.size;
    }
    return length;
}

void Dictionary::Finish() {
    // Stable sorts: among equal numbers and equal names the file order decides.
    std::stable_sort(attributes_.begin(), attributes_.end(),
                     [](const AttributeDef& a, const AttributeDef& b) { return a.number < b.number; });
    nameIndex_.resize(attributes_.size());
    for (std::size_t i = 0; i < nameIndex_.size(); ++i) nameIndex_[i] = i;
    std::stable_sort(nameIndex_.begin(), nameIndex_.end(),
                     [this](std::size_t a, std::size_t b) { return attributes_[a].name < attributes_[b].name; });
    std::stable_sort(values_.begin(), values_.end(), [](const ValueDef& a, const ValueDef& b) {
        if (a.attributeName != b.attributeName) return a.attributeName < b.attributeName;
        return a.value < b.value;
    });
}

const AttributeDef* Dictionary::OwnByNumber(std::int32_t number) const {
    auto it = std::lower_bound(attributes_.begin(), attributes_.end(), number,
                               [](const AttributeDef& def, std::int32_t n) { return def.number < n; });
    return (it != attributes_.end() && it->number == number) ? &*it : nullptr;
}

const AttributeDef* Dictionary::OwnByName(std::string_view name) const {
    auto it = std::lower_bound(nameIndex_.begin(), nameIndex_.end(), name,
                               [this](std::size_t index, std::string_view n) { return attributes_[index].name < n; });
    return (it != nameIndex_.end() && attributes_[*it].name == name) ? &attributes_[*it] : nullptr;
}

const AttributeDef* Dictionary::OwnComplex(std::int32_t number, std::span<const std::uint8_t> value) const {
    auto it = std::lower_bound(attributes_.begin(), attributes_.end(), number,
                               [](const AttributeDef& def, std::int32_t n) { return def.number < n; });
    for (; it != attributes_.end() && it->number == number; ++it)
        if (it->Matches(value)) return &*it;
    return nullptr;
}

const ValueDef* Dictionary::OwnValue(std::string_view valueName) const {
    for (const ValueDef& entry : values_)
        if (entry.valueName == valueName) return &entry;
    return nullptr;
}

const AttributeDef* Dictionary::FindByNumber(std::int32_t number) const {
    if (const AttributeDef* def = OwnByNumber(number)) return def;
    for (const Dictionary* include : includes_)
        if (const AttributeDef* def = include->OwnByNumber(number)) return def;
    return nullptr;
}

const AttributeDef* Dictionary::FindByName(std::string_view name) const {
    if (const AttributeDef* def = OwnByName(name)) return def;
    for (const Dictionary* include : includes_)
        if (const AttributeDef* def = include->OwnByName(name)) return def;
    return nullptr;
}

const AttributeDef* Dictionary::FindComplex(std::int32_t number, std::span<const std::uint8_t> value) const {
    if (const AttributeDef* def = OwnComplex(number, value)) return def;
    for (const Dictionary* include : includes_)
        if (const AttributeDef* def = include->OwnComplex(number, value)) return def;
    // No layout fits: the first plain definition of the number stands in.
    if (!value.empty()) return FindComplex(number, std::span<const std::uint8_t>());
    return nullptr;
}

const ValueDef* Dictionary::FindValue(std::string_view valueName) const {
    if (const ValueDef* entry = OwnValue(valueName)) return entry;
    for (const Dictionary* include : includes_)
        if (const ValueDef* entry = include->OwnValue(valueName)) return entry;
    return nullptr;
}
