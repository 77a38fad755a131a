// Fuzzes the text store, the profile files and the registry-like store's values file with
// hostile file contents, names and values, and checks that a successful write reads back.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "infra/config_dbs_reg.h"
#include "infra/config_dbs_txt.h"
#include "infra/profile_file.h"

namespace {

// A folder of its own for the whole run, removed when the fuzzer exits.
struct WorkFolderHolder {
    WorkFolderHolder() {
        path = std::filesystem::temp_directory_path() / "pelvok-fuzz-XXXXXX";
        if (mkdtemp(path.data()) == nullptr) std::abort();
    }
    ~WorkFolderHolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

const std::string& WorkFolder() {
    static const WorkFolderHolder holder;
    return holder.path;
}

void WriteFile(const std::string& path, std::string_view contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

// Splits the input at \x01 bytes into up to four parts: file, section, key, value.
std::vector<std::string> Parts(std::string_view input) {
    std::vector<std::string> parts;
    while (parts.size() < 3) {
        const auto cut = input.find('\x01');
        if (cut == std::string_view::npos) break;
        parts.emplace_back(input.substr(0, cut));
        input.remove_prefix(cut + 1);
    }
    parts.emplace_back(input);
    parts.resize(4);
    return parts;
}

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void Check(bool condition) {
    if (!condition) std::abort();
}

// A key the text grammar can hold: its line is neither a comment, a header nor indented.
bool TextKeyRoundTrips(const std::string& key) {
    return !key.empty() && key.find('=') == std::string::npos && key.front() != '#' &&
           key.front() != ';' && key.front() != '[' && key.front() != ' ';
}

void FuzzTextStore(const std::vector<std::string>& p, unsigned size) {
    const std::string path = WorkFolder() + "/store.conf";
    WriteFile(path, p[0]);
    ConfigDbsTxt store(path.c_str(), size % 3 == 0 ? "Prefix" : nullptr);
    std::vector<char> buffer(size);
    Check(store.ReadOption(p[1].c_str(), p[2].c_str(), "dflt", buffer.data(), size));
    Check(std::string_view(buffer.data()).size() < size);
    const std::string key(p[2].c_str()), value(p[3].c_str()), section(p[1].c_str());
    if (!store.WriteOption(section.c_str(), key.c_str(), value.c_str())) return;
    if (!TextKeyRoundTrips(key)) return;
    std::vector<char> back(value.size() + 1);
    Check(store.ReadOption(section.c_str(), key.c_str(), "", back.data(),
                           static_cast<unsigned>(back.size())));
    Check(value == back.data());
}

void FuzzProfile(const std::vector<std::string>& p, unsigned size) {
    const std::string path = WorkFolder() + "/store.ini";
    WriteFile(path, p[0]);
    std::vector<char> buffer(size);
    const std::size_t length = ReadProfileString(path.c_str(), p[1].c_str(), p[2].c_str(),
                                                 "dflt", buffer.data(), size);
    Check(length < size && std::string_view(buffer.data()).size() == length);
    if (!WriteProfileString(path.c_str(), p[1].c_str(), p[2].c_str(), p[3].c_str())) return;
    Check(ReadProfileString(path, p[1].c_str(), p[2].c_str(), "\x02missing") ==
          Trimmed(p[3].c_str()));
}

void FuzzRegistryValues(const std::vector<std::string>& p, unsigned size) {
    const std::string root = WorkFolder() + "/reg";
    std::filesystem::create_directories(root + "/Key/Section");
    WriteFile(root + "/Key/Section/.values", p[0]);
    ConfigDbsReg store(root, "Key");
    std::vector<char> buffer(size);
    store.ReadOption("Section", p[2].c_str(), "", buffer.data(), size);
    int number = 0;
    store.ReadIntOption("Section", p[2].c_str(), 0, &number);
    if (!store.WriteOption("Section", p[2].c_str(), p[3].c_str())) return;
    const std::string value(p[3].c_str());
    std::vector<char> back(value.size() + 1);
    Check(store.ReadOption("Section", p[2].c_str(), "", back.data(),
                           static_cast<unsigned>(back.size())));
    Check(value == back.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned selector = data[0] % 3;
    const unsigned bufferSize = data[1] + 1u;
    const auto parts = Parts(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));
    switch (selector) {
        case 0: FuzzTextStore(parts, bufferSize); break;
        case 1: FuzzProfile(parts, bufferSize); break;
        default: FuzzRegistryValues(parts, bufferSize); break;
    }
    return 0;
}
