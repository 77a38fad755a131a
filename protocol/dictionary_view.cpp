#include "protocol/dictionary_view.h"

#include <algorithm>
#include <tuple>

#include "protocol/dictionary.h"

namespace {

// Later definitions first among equal keys.
bool ByNumberLatestFirst(const AttributeDef* a, const AttributeDef* b) {
    return std::tie(a->number, b->order) < std::tie(b->number, a->order);
}
bool ByNameLatestFirst(const AttributeDef* a, const AttributeDef* b) {
    return std::tie(a->name, b->order) < std::tie(b->name, a->order);
}
bool ByVendorLatestFirst(const AttributeDef* a, const AttributeDef* b) {
    return std::tie(a->vendorId, a->vendorType, b->order) < std::tie(b->vendorId, b->vendorType, a->order);
}
bool ValuesByNumberLatestFirst(const ValueDef* a, const ValueDef* b) {
    return std::tie(a->attributeName, a->value, b->order) < std::tie(b->attributeName, b->value, a->order);
}
bool ValuesByNameLatestFirst(const ValueDef* a, const ValueDef* b) {
    return std::tie(a->attributeName, a->valueName, b->order) < std::tie(b->attributeName, b->valueName, a->order);
}

// Sorted, without the entries that came in twice (a file included by two others).
template <typename T, typename Less>
std::vector<const T*> Sorted(std::vector<const T*> entries, Less less) {
    std::sort(entries.begin(), entries.end(), less);
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    return entries;
}

std::uint32_t ReadBigEndian(std::span<const std::uint8_t> octets) {
    std::uint32_t value = 0;
    for (std::uint8_t octet : octets) value = (value << 8) | octet;
    return value;
}

}  // namespace

DictionaryView::DictionaryView(const Dictionary& dictionary) {
    std::vector<const AttributeDef*> attributes;
    std::vector<const ValueDef*> values;
    for (const AttributeDef& def : dictionary.attributes_) attributes.push_back(&def);
    for (const ValueDef& value : dictionary.values_) values.push_back(&value);
    for (const Dictionary* include : dictionary.includes_) include->CollectVisible(attributes, values);

    byName_ = Sorted(attributes, ByNameLatestFirst);
    std::vector<const AttributeDef*> plain;
    for (const AttributeDef* def : attributes) (def->IsVendorAttribute() ? vendorAttributes_ : plain).push_back(def);
    byNumber_ = Sorted(std::move(plain), ByNumberLatestFirst);
    vendorAttributes_ = Sorted(std::move(vendorAttributes_), ByVendorLatestFirst);
    valuesByNumber_ = Sorted(values, ValuesByNumberLatestFirst);
    valuesByName_ = Sorted(std::move(values), ValuesByNameLatestFirst);
}

const AttributeDef* DictionaryView::ByNumber(std::int32_t number) const {
    auto it = std::lower_bound(byNumber_.begin(), byNumber_.end(), number,
                               [](const AttributeDef* def, std::int32_t n) { return def->number < n; });
    return (it != byNumber_.end() && (*it)->number == number) ? *it : nullptr;
}

const AttributeDef* DictionaryView::ByName(std::string_view name) const {
    auto it = std::lower_bound(byName_.begin(), byName_.end(), name,
                               [](const AttributeDef* def, std::string_view n) { return def->name < n; });
    return (it != byName_.end() && (*it)->name == name) ? *it : nullptr;
}

const AttributeDef* DictionaryView::ByVendorAttribute(std::uint32_t vendorId, std::uint32_t vendorType) const {
    auto it = std::lower_bound(vendorAttributes_.begin(), vendorAttributes_.end(), std::pair{vendorId, vendorType},
                               [](const AttributeDef* def, std::pair<std::uint32_t, std::uint32_t> key) {
                                   return std::pair{def->vendorId, def->vendorType} < key;
                               });
    return (it != vendorAttributes_.end() && (*it)->vendorId == vendorId && (*it)->vendorType == vendorType) ? *it
                                                                                                            : nullptr;
}

const AttributeDef* DictionaryView::Complex(std::int32_t number, std::span<const std::uint8_t> value) const {
    constexpr std::int32_t kVendorSpecific = 26;
    if (number == kVendorSpecific && value.size() >= 4) {
        // RFC 2865 section 5.26: Vendor-Id, then the vendor type in as many octets as the
        // vendor's format says.
        const std::uint32_t vendorId = ReadBigEndian(value.first(4));
        auto first = std::lower_bound(vendorAttributes_.begin(), vendorAttributes_.end(), vendorId,
                                      [](const AttributeDef* def, std::uint32_t id) { return def->vendorId < id; });
        if (first != vendorAttributes_.end() && (*first)->vendorId == vendorId) {
            const std::size_t typeSize = (*first)->vendorFormat.typeSize;
            if (value.size() >= 4 + typeSize) {
                const AttributeDef* def = ByVendorAttribute(vendorId, ReadBigEndian(value.subspan(4, typeSize)));
                if (def != nullptr && def->Matches(value)) return def;
            }
            // A vendor whose files disagree on its format: try each of its attributes.
            for (auto it = first; it != vendorAttributes_.end() && (*it)->vendorId == vendorId; ++it)
                if ((*it)->Matches(value)) return *it;
        }
    }
    auto it = std::lower_bound(byNumber_.begin(), byNumber_.end(), number,
                               [](const AttributeDef* def, std::int32_t n) { return def->number < n; });
    for (; it != byNumber_.end() && (*it)->number == number; ++it)
        if ((*it)->Matches(value)) return *it;
    return nullptr;
}

const ValueDef* DictionaryView::Value(std::string_view valueName) const {
    for (const ValueDef* entry : valuesByNumber_)
        if (entry->valueName == valueName) return entry;
    return nullptr;
}

const ValueDef* DictionaryView::ValueOf(std::string_view attributeName, std::int32_t value) const {
    auto it = std::lower_bound(valuesByNumber_.begin(), valuesByNumber_.end(), std::pair{attributeName, value},
                               [](const ValueDef* entry, std::pair<std::string_view, std::int32_t> key) {
                                   return std::pair<std::string_view, std::int32_t>{entry->attributeName,
                                                                                    entry->value} < key;
                               });
    return (it != valuesByNumber_.end() && (*it)->attributeName == attributeName && (*it)->value == value) ? *it
                                                                                                          : nullptr;
}

const ValueDef* DictionaryView::ValueNamed(std::string_view attributeName, std::string_view valueName) const {
    auto it = std::lower_bound(valuesByName_.begin(), valuesByName_.end(), std::pair{attributeName, valueName},
                               [](const ValueDef* entry, std::pair<std::string_view, std::string_view> key) {
                                   return std::pair<std::string_view, std::string_view>{entry->attributeName,
                                                                                        entry->valueName} < key;
                               });
    return (it != valuesByName_.end() && (*it)->attributeName == attributeName && (*it)->valueName == valueName)
               ? *it
               : nullptr;
}

void DictionaryView::Collect(std::vector<const AttributeDef*>& attributes, std::vector<const ValueDef*>& values) const {
    attributes.insert(attributes.end(), byNumber_.begin(), byNumber_.end());
    attributes.insert(attributes.end(), vendorAttributes_.begin(), vendorAttributes_.end());
    values.insert(values.end(), valuesByNumber_.begin(), valuesByNumber_.end());
}
