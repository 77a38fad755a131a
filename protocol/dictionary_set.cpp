#include <algorithm>

#include "infra/bounded_string.h"
#include "infra/log.h"
#include "protocol/dictionary.h"
#include "protocol/dictionary_reader.h"

namespace {

DictionarySet* registeredSet = nullptr;

// Deeper INCLUDE chains than this are refused like a file that cannot be opened, so that a
// chain of includes cannot exhaust the stack.
constexpr std::size_t kMaxIncludeDepth = 32;

}  // namespace

DictionarySet::DictionarySet(const char* directory)
    : directory_(std::string(directory ? directory : "").substr(0, kMaxDictionaryPathLength)) {
    if (registeredSet == nullptr) {
        registeredSet = this;
    } else {
        Log(0, "Trying to create more then one DictionarySet");
    }
}

DictionarySet::~DictionarySet() {
    if (registeredSet == this) registeredSet = nullptr;
}

DictionarySet* DictionarySet::Instance() { return registeredSet; }

const Dictionary* DictionarySet::Find(std::string_view name) const {
    for (const auto& dictionary : dictionaries_)
        if (EqualsNoCase(dictionary->Name(), name)) return dictionary.get();
    return nullptr;
}

const Dictionary* DictionarySet::Load(const char* name) {
    const std::string fileName = name ? name : kDefaultDictionaryName;
    return LoadPath(fileName, directory_ + fileName);
}

const Dictionary* DictionarySet::LoadPath(const std::string& name, const std::string& path,
                                          DictionaryFormat includedBy) {
    if (const Dictionary* loaded = Find(name)) return loaded;

    // A file is registered only once it has been read completely, so a file that includes
    // itself (directly or through others) is caught here instead of being read without end.
    const bool inProgress = std::any_of(loading_.begin(), loading_.end(),
                                        [&](const std::string& n) { return EqualsNoCase(n, name); });
    if (inProgress || loading_.size() >= kMaxIncludeDepth) return nullptr;

    loading_.push_back(name);
    std::unique_ptr<Dictionary> dictionary = DictionaryReader::Read(path, name, *this, includedBy);
    loading_.pop_back();
    if (!dictionary) return nullptr;
    dictionaries_.push_back(std::move(dictionary));
    return dictionaries_.back().get();
}

void DictionarySet::AddVendor(const VendorDef& vendor) {
    auto known = std::find_if(vendors_.begin(), vendors_.end(),
                              [&](const VendorDef& v) { return EqualsNoCase(v.name, vendor.name); });
    if (known != vendors_.end()) {
        *known = vendor;
    } else {
        vendors_.push_back(vendor);
    }
}

const VendorDef* DictionarySet::FindVendor(std::string_view name) const {
    for (const VendorDef& vendor : vendors_)
        if (EqualsNoCase(vendor.name, name)) return &vendor;
    return nullptr;
}
