// Fuzzes the dictionary loader: the input is one dictionary file in either format, read
// through a fresh DictionarySet over a scratch folder (INCLUDE lines may name the file itself
// or files that are not there). The lookups run over whatever loaded, and a value of every
// definition is read and measured for a packet.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "protocol/dictionary.h"
#include "protocol/radius_attribute.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelvok-dicfuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern + "/";
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = Folder() + "fuzz.dic";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    DictionarySet set(Folder().c_str());
    const Dictionary* dictionary = set.Load("fuzz.dic");
    if (dictionary != nullptr) {
        for (const AttributeDef& def : dictionary->Attributes()) {
            dictionary->FindByName(def.name);
            dictionary->FindComplex(def.number, data, size);
            dictionary->FindVendorAttribute(def.vendorId, def.vendorType);
            (void)def.HeaderLength();
            for (const char* text : {"1", "0x0102", "10.0.0.1/8"})
                if (const auto attribute = ParseValue(def, text, dictionary, std::uint8_t{1}))
                    (void)attribute->EncodedSize(dictionary);
        }
        for (const ValueDef& value : dictionary->Values()) {
            dictionary->FindValue(value.valueName);
            dictionary->FindValueOf(value.attributeName, value.value);
            dictionary->FindValueNamed(value.attributeName, value.valueName);
        }
        dictionary->FindByNumber(26);
    }
    return 0;
}
