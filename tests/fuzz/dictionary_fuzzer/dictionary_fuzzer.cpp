// Fuzzes the dictionary loader: the input is one dictionary file, read through a fresh
// DictionarySet over a scratch folder (INCLUDE lines may name the file itself or files that
// are not there). The lookups run over whatever loaded.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "protocol/dictionary.h"

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
            (void)def.HeaderLength();
        }
        for (const ValueDef& value : dictionary->Values()) dictionary->FindValue(value.valueName);
        dictionary->FindByNumber(26);
    }
    return 0;
}
