#include <strings.h>

#include <algorithm>

#include "infra/log.h"
#include "protocol/dictionary.h"
#include "protocol/dictionary_reader.h"

namespace {

DictionarySet* registeredSet = nullptr;

// Deeper INCLUDE chains than this are refused like a file that cannot be opened, so that a
// chain of includes cannot exhaust the stack.
constexpr std::size_t kMaxIncludeDepth = 32;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

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
    if (const Dictionary* loaded = Find(fileName)) return loaded;

    // A file is registered only once it has been read completely, so a file that includes
    // itself (directly or through others) is caught here instead of being read without end.
    const bool inProgress = std::any_of(loading_.begin(), loading_.end(),
                                        [&](const std::string& n) { return EqualsNoCase(n, fileName); });
    if (inProgress || loading_.size() >= kMaxIncludeDepth) return nullptr;

    std::unique_ptr<Dictionary> dictionary(new Dictionary(fileName));
    loading_.push_back(fileName);
    const bool read = DictionaryReader::Read(directory_ + fileName, *dictionary);
    loading_.pop_back();
    if (!read) return nullptr;
    dictionaries_.push_back(std::move(dictionary));
    return dictionaries_.back().get();
}
