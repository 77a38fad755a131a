#include "protocol/dictionary.h"

#include <algorithm>
#include <utility>

#include "protocol/dictionary_view.h"

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

Dictionary::Dictionary(std::string name, DictionaryFormat format) : name_(std::move(name)), format_(format) {}

Dictionary::~Dictionary() = default;

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
    if (format_ == DictionaryFormat::FreeRadius) view_ = std::make_unique<DictionaryView>(*this);
}

std::span<const Dictionary* const> Dictionary::Searched() const {
    // A FreeRADIUS-format file's includes are part of its own entries.
    if (view_) return {};
    return includes_;
}

void Dictionary::CollectOwn(std::vector<const AttributeDef*>& attributes, std::vector<const ValueDef*>& values) const {
    if (view_) return view_->Collect(attributes, values);
    for (const AttributeDef& def : attributes_) attributes.push_back(&def);
    for (const ValueDef& value : values_) values.push_back(&value);
}

void Dictionary::CollectVisible(std::vector<const AttributeDef*>& attributes,
                                std::vector<const ValueDef*>& values) const {
    CollectOwn(attributes, values);
    for (const Dictionary* include : Searched()) include->CollectOwn(attributes, values);
}

const AttributeDef* Dictionary::OwnByNumber(std::int32_t number) const {
    if (view_) return view_->ByNumber(number);
    auto it = std::lower_bound(attributes_.begin(), attributes_.end(), number,
                               [](const AttributeDef& def, std::int32_t n) { return def.number < n; });
    return (it != attributes_.end() && it->number == number) ? &*it : nullptr;
}

const AttributeDef* Dictionary::OwnByName(std::string_view name) const {
    if (view_) return view_->ByName(name);
    auto it = std::lower_bound(nameIndex_.begin(), nameIndex_.end(), name,
                               [this](std::size_t index, std::string_view n) { return attributes_[index].name < n; });
    return (it != nameIndex_.end() && attributes_[*it].name == name) ? &attributes_[*it] : nullptr;
}

const AttributeDef* Dictionary::OwnComplex(std::int32_t number, std::span<const std::uint8_t> value) const {
    if (view_) return view_->Complex(number, value);
    auto it = std::lower_bound(attributes_.begin(), attributes_.end(), number,
                               [](const AttributeDef& def, std::int32_t n) { return def.number < n; });
    for (; it != attributes_.end() && it->number == number; ++it)
        if (it->Matches(value)) return &*it;
    return nullptr;
}

const ValueDef* Dictionary::OwnValue(std::string_view valueName) const {
    if (view_) return view_->Value(valueName);
    for (const ValueDef& entry : values_)
        if (entry.valueName == valueName) return &entry;
    return nullptr;
}

const ValueDef* Dictionary::OwnValueOf(std::string_view attributeName, std::int32_t value) const {
    if (view_) return view_->ValueOf(attributeName, value);
    auto it = std::lower_bound(values_.begin(), values_.end(), std::pair{attributeName, value},
                               [](const ValueDef& entry, std::pair<std::string_view, std::int32_t> key) {
                                   return std::pair<std::string_view, std::int32_t>{entry.attributeName,
                                                                                    entry.value} < key;
                               });
    return (it != values_.end() && it->attributeName == attributeName && it->value == value) ? &*it : nullptr;
}

const ValueDef* Dictionary::OwnValueNamed(std::string_view attributeName, std::string_view valueName) const {
    if (view_) return view_->ValueNamed(attributeName, valueName);
    for (const ValueDef& entry : values_)
        if (entry.attributeName == attributeName && entry.valueName == valueName) return &entry;
    return nullptr;
}

const AttributeDef* Dictionary::OwnVendorAttribute(std::uint32_t vendorId, std::uint32_t vendorType) const {
    if (view_) return view_->ByVendorAttribute(vendorId, vendorType);
    for (const AttributeDef& def : attributes_)
        if (def.IsVendorAttribute() && def.vendorId == vendorId && def.vendorType == vendorType) return &def;
    return nullptr;
}

// Every lookup: this dictionary's own entries, then those of each searched include in order.
template <typename Own>
auto Dictionary::Search(Own own) const -> decltype(own(*this)) {
    if (auto found = own(*this)) return found;
    for (const Dictionary* include : Searched())
        if (auto found = own(*include)) return found;
    return nullptr;
}

const AttributeDef* Dictionary::FindByNumber(std::int32_t number) const {
    return Search([&](const Dictionary& d) { return d.OwnByNumber(number); });
}

const AttributeDef* Dictionary::FindByName(std::string_view name) const {
    return Search([&](const Dictionary& d) { return d.OwnByName(name); });
}

const AttributeDef* Dictionary::FindComplex(std::int32_t number, std::span<const std::uint8_t> value) const {
    if (const AttributeDef* def = Search([&](const Dictionary& d) { return d.OwnComplex(number, value); })) return def;
    // No layout fits: the first plain definition of the number stands in.
    if (!value.empty()) return FindComplex(number, std::span<const std::uint8_t>());
    return nullptr;
}

const ValueDef* Dictionary::FindValue(std::string_view valueName) const {
    return Search([&](const Dictionary& d) { return d.OwnValue(valueName); });
}

const ValueDef* Dictionary::FindValueOf(std::string_view attributeName, std::int32_t value) const {
    return Search([&](const Dictionary& d) { return d.OwnValueOf(attributeName, value); });
}

const ValueDef* Dictionary::FindValueNamed(std::string_view attributeName, std::string_view valueName) const {
    return Search([&](const Dictionary& d) { return d.OwnValueNamed(attributeName, valueName); });
}

const AttributeDef* Dictionary::FindVendorAttribute(std::uint32_t vendorId, std::uint32_t vendorType) const {
    return Search([&](const Dictionary& d) { return d.OwnVendorAttribute(vendorId, vendorType); });
}
