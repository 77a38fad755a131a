#include "infra/config_dbs_reg.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "infra/atomic_file.h"
#include "infra/bounded_string.h"
#include "infra/file_helpers.h"
#include "infra/log.h"
#include "infra/number_text.h"
#include "infra/text_lines.h"

namespace {

constexpr const char* kValuesFile = ".values";

int ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return kErrorFileNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return kErrorAccessDenied;
        case ENOSPC:
        case EDQUOT: return kErrorDiskFull;
        case ENAMETOOLONG: return kErrorFileNameTooLong;
        default: return kErrorRegistryIoFailed;
    }
}

// The names of a key path, in order; empty names (doubled separators) are skipped.
std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> names;
    while (!path.empty()) {
        const auto separator = path.find_first_of("\\/");
        const std::string_view name = path.substr(0, separator);
        if (!name.empty()) names.emplace_back(name);
        path.remove_prefix(separator == std::string_view::npos ? path.size() : separator + 1);
    }
    return names;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The sub-folder of folder whose name matches name in any letter case.
std::optional<std::string> FindChild(const std::string& folder, const std::string& name,
                                     int* error) {
    const std::string exact = folder + "/" + name;
    if (IsDirectory(exact)) return exact;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        *error = ErrorFromErrno(errno);
        return std::nullopt;
    }
    std::optional<std::string> found;
    while (const dirent* entry = readdir(dir)) {
        if (EqualsNoCase(entry->d_name, name) && IsDirectory(folder + "/" + entry->d_name)) {
            found = folder + "/" + entry->d_name;
            break;
        }
    }
    closedir(dir);
    if (!found) *error = kErrorFileNotFound;
    return found;
}

// Walks (and with create, makes) the key's folders. 0 or an error number.
int ResolveKey(const std::string& root, const std::vector<std::string>& names, bool create,
               std::string* folder) {
    std::string current = root;
    if (!IsDirectory(current)) {
        if (!create) return kErrorFileNotFound;
        if (!MakeDirectoryTree(current.c_str())) return ErrorFromErrno(errno);
    }
    for (const std::string& name : names) {
        if (name == "." || name == "..") return kErrorBadPathName;
        int error = 0;
        if (auto child = FindChild(current, name, &error)) {
            current = *child;
            continue;
        }
        if (!create || error != kErrorFileNotFound) return error;
        current += "/" + name;
        if (mkdir(current.c_str(), 0777) != 0)
            return errno == EEXIST ? kErrorRegistryIoFailed : ErrorFromErrno(errno);
    }
    *folder = current;
    return 0;
}

// --- the values file ---

std::string Escape(std::string_view bytes) {
    static const char* const kHex = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7e || c == '\\' || c == '=') {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 3 >= text.size() || text[i + 1] != 'x') return std::nullopt;
        const int high = HexDigitValue(text[i + 2]);
        const int low = HexDigitValue(text[i + 3]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return out;
}

struct StoredValue {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

// Parses the values file; false when it is damaged.
bool ParseValues(std::string_view contents, std::vector<StoredValue>* values) {
    for (const std::string& line : SplitLines(contents)) {
        if (line.empty()) continue;
        const auto space = line.find(' ');
        const auto equals = line.find('=');
        if (space == std::string::npos || equals == std::string::npos || equals < space ||
            space == 0 || space > 10)
            return false;
        StoredValue value;
        std::uint64_t type = 0;
        for (std::size_t i = 0; i < space; ++i) {
            if (line[i] < '0' || line[i] > '9') return false;
            type = type * 10 + static_cast<std::uint64_t>(line[i] - '0');
        }
        if (type > UINT32_MAX) return false;
        value.type = static_cast<std::uint32_t>(type);
        auto name = Unescape(std::string_view(line).substr(space + 1, equals - space - 1));
        auto data = Unescape(std::string_view(line).substr(equals + 1));
        if (!name || !data) return false;
        value.name = std::move(*name);
        value.data = std::move(*data);
        values->push_back(std::move(value));
    }
    return true;
}

int LoadValues(const std::string& folder, std::vector<StoredValue>* values) {
    std::string contents;
    int error = 0;
    if (!ReadWholeFile(folder + "/" + kValuesFile, &contents, &error))
        return error == ENOENT ? 0 : ErrorFromErrno(error);
    return ParseValues(contents, values) ? 0 : kErrorRegistryCorrupt;
}

std::string DwordBytes(int value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>(bits >> (8 * i));
    return data;
}

int DwordFromBytes(std::string_view data) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < data.size() && i < 4; ++i)
        bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    return static_cast<int>(bits);
}

}  // namespace

ConfigDbsReg::ConfigDbsReg(std::string rootFolder, const char* keyPath)
    : rootFolder_(std::move(rootFolder)) {
    CopyBounded(keyPath_, keyPath, sizeof keyPath_);
}

ConfigDbsReg::~ConfigDbsReg() = default;

std::string ConfigDbsReg::DefaultRoot() {
    if (const char* root = std::getenv("PELVOK_REGISTRY_ROOT"); root != nullptr && *root != '\0')
        return root;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/')
        return std::string(data) + "/pelvok/registry";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.local/share/pelvok/registry";
    return "pelvok-registry";
}

bool ConfigDbsReg::OpenSectionKey(const char* section, bool forWriting,
                                  std::string* folder) const {
    const char* sectionName = section != nullptr ? section : "";
    std::string subKey = std::string(keyPath_) + "\\" + sectionName;
    subKey.resize(std::min<std::size_t>(subKey.size(), sizeof keyPath_ - 1));
    const auto names = SplitKeyPath(subKey);
    int error = ResolveKey(rootFolder_, names, false, folder);
    if (error == 0 && access(folder->c_str(), forWriting ? (W_OK | X_OK) : (R_OK | X_OK)) != 0)
        error = ErrorFromErrno(errno);
    if (error == kErrorFileNotFound && forWriting) {
        error = ResolveKey(rootFolder_, names, true, folder);
        if (error == 0) return true;
        Log(0, "RegCreateKeyEx failed(%s), Error = %d", sectionName, error);
        return false;
    }
    if (error == 0) return true;
    Log(0, "RegOpenKeyEx failed(%s), Error = %d", sectionName, error);
    return false;
}

int ConfigDbsReg::QueryValue(const std::string& folder, const char* key, Value* value) const {
    std::vector<StoredValue> values;
    if (const int error = LoadValues(folder, &values); error != 0) return error;
    const std::string_view name(key != nullptr ? key : "");
    for (const StoredValue& stored : values) {
        if (!EqualsNoCase(stored.name, name)) continue;
        value->type = stored.type;
        value->data = stored.data;
        return 0;
    }
    return kErrorFileNotFound;
}

int ConfigDbsReg::SetValue(const std::string& folder, const char* key, std::uint32_t type,
                           std::string_view data) const {
    std::vector<StoredValue> values;
    if (const int error = LoadValues(folder, &values); error != 0) return error;
    const std::string name(key != nullptr ? key : "");
    bool replaced = false;
    for (StoredValue& stored : values) {
        if (!EqualsNoCase(stored.name, name)) continue;
        stored.type = type;
        stored.data = std::string(data);
        replaced = true;
        break;
    }
    if (!replaced) values.push_back({name, type, std::string(data)});
    std::string contents;
    for (const StoredValue& stored : values)
        contents += std::to_string(stored.type) + " " + Escape(stored.name) + "=" +
                    Escape(stored.data) + "\n";
    const ReplaceResult result = ReplaceFileContents(folder + "/" + kValuesFile, contents);
    return result.Ok() ? 0 : ErrorFromErrno(result.error);
}

bool ConfigDbsReg::ReadOption(const char* section, const char* key, const char* defaultValue,
                              char* buffer, unsigned size) {
    if (buffer == nullptr) return false;
    const char* fallback = defaultValue != nullptr ? defaultValue : "";
    std::string folder;
    if (!OpenSectionKey(section, false, &folder)) {
        CopyBounded(buffer, fallback, size);
        return true;
    }
    Value value;
    const int error = QueryValue(folder, key, &value);
    const char* sectionName = section != nullptr ? section : "";
    const char* keyName = key != nullptr ? key : "";
    if (error == kErrorFileNotFound) {
        CopyBounded(buffer, fallback, size);
        return true;
    }
    if (error != 0) {
        Log(0, "RegQueryValueEx failed(%s/%s), Error = %d", sectionName, keyName, error);
        return false;
    }
    const bool terminated = !value.data.empty() && value.data.back() == '\0';
    // A stored string without its terminator needs room for one all the same.
    if (value.data.size() > size ||
        (value.type == kRegSz && !terminated && value.data.size() == size)) {
        Log(0, "RegQueryValueEx(%s/%s): Value too long, maximal length = %d", sectionName,
            keyName, static_cast<int>(size));
        return false;
    }
    if (value.type != kRegSz) {
        Log(0, "RegQueryValueEx(%s/%s): Unexpected data type = %d", sectionName, keyName,
            static_cast<int>(value.type));
        return false;
    }
    CopyBounded(buffer, value.data, size);
    return true;
}

bool ConfigDbsReg::ReadIntOption(const char* section, const char* key, int defaultValue,
                                 int* out) {
    std::string folder;
    if (!OpenSectionKey(section, false, &folder)) {
        *out = defaultValue;
        return true;
    }
    Value value;
    const int error = QueryValue(folder, key, &value);
    const char* sectionName = section != nullptr ? section : "";
    const char* keyName = key != nullptr ? key : "";
    if (error == kErrorFileNotFound) {
        *out = defaultValue;
        return true;
    }
    if (error != 0) {
        Log(0, "RegQueryValueEx failed(%s/%s), Error = %d", sectionName, keyName, error);
        return false;
    }
    if (value.data.size() > 4) {
        Log(0, "RegQueryValueEx(%s/%s): Value too long, maximal length = %d", sectionName,
            keyName, 4);
        return false;
    }
    if (value.type != kRegDword) {
        Log(0, "RegQueryValueEx(%s/%s): Unexpected data type = %d", sectionName, keyName,
            static_cast<int>(value.type));
        return false;
    }
    *out = DwordFromBytes(value.data);
    return true;
}

bool ConfigDbsReg::WriteValue(const char* section, const char* key, std::uint32_t type,
                              std::string_view data) {
    std::string folder;
    if (!OpenSectionKey(section, true, &folder)) return false;
    if (const int error = SetValue(folder, key, type, data); error != 0) {
        Log(0, "RegSetValueEx failed(%s/%s), Error = %d", section != nullptr ? section : "",
            key != nullptr ? key : "", error);
        return false;
    }
    return true;
}

bool ConfigDbsReg::WriteOption(const char* section, const char* key, const char* value) {
    const std::string_view text(value != nullptr ? value : "");
    std::string data(text);
    data += '\0';  // strings are stored with their terminator
    return WriteValue(section, key, kRegSz, data);
}

bool ConfigDbsReg::WriteIntOption(const char* section, const char* key, int value) {
    return WriteValue(section, key, kRegDword, DwordBytes(value));
}

bool ConfigDbsReg::WriteTypedValue(const char* section, const char* key, std::uint32_t type,
                                   std::string_view data) {
    return WriteValue(section, key, type, data);
}
