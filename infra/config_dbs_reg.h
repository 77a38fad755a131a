// The configuration store with the registry's semantics, kept in a folder tree of our own.
//
// A key is a folder; key names compare without regard to letter case, "\" and "/" both
// separate them. The values of a key live in the file ".values" of its folder, one line per
// value: the type number, a space, the name, "=", the data (bytes outside printable ASCII,
// "\" and "=" written as \xHH). Every change rewrites that file atomically. Failures carry the
// registry's error numbers, so messages read as they do on the original platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "infra/config_dbs.h"

// Value types, with the registry's numbers.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegDword = 4;

// Error numbers used in the messages.
inline constexpr int kErrorFileNotFound = 2;
inline constexpr int kErrorAccessDenied = 5;
inline constexpr int kErrorDiskFull = 112;
inline constexpr int kErrorBadPathName = 161;
inline constexpr int kErrorFileNameTooLong = 206;
inline constexpr int kErrorMoreData = 234;
inline constexpr int kErrorRegistryCorrupt = 1015;
inline constexpr int kErrorRegistryIoFailed = 1016;

class ConfigDbsReg : public ConfigDbs {
public:
    // rootFolder stands for the root key; keyPath (cut to 511 characters) names the key under
    // which each section is a sub-key.
    ConfigDbsReg(std::string rootFolder, const char* keyPath);
    ~ConfigDbsReg() override;

    // The root the Logger uses: $PELVOK_REGISTRY_ROOT, else $XDG_DATA_HOME/pelvok/registry,
    // else $HOME/.local/share/pelvok/registry, else "pelvok-registry" in the current folder.
    static std::string DefaultRoot();

    bool ReadIntOption(const char* section, const char* key, int defaultValue, int* out) override;
    bool ReadOption(const char* section, const char* key, const char* defaultValue, char* buffer,
                    unsigned size) override;
    bool WriteIntOption(const char* section, const char* key, int value) override;
    bool WriteOption(const char* section, const char* key, const char* value) override;

    // Stores a value of any type with the given data bytes (tests and tools use it for types
    // the four operations never write, such as expandable strings).
    bool WriteTypedValue(const char* section, const char* key, std::uint32_t type,
                         std::string_view data);

    const std::string& RootFolder() const { return rootFolder_; }
    const char* KeyPath() const { return keyPath_; }

private:
    struct Value {
        std::uint32_t type = 0;
        std::string data;
    };
    // Opens the section's sub-key; on success folder receives its folder. Logs the failure.
    bool OpenSectionKey(const char* section, bool forWriting, std::string* folder) const;
    // Reads one value: 0, or kErrorFileNotFound, or another error number.
    int QueryValue(const std::string& folder, const char* key, Value* value) const;
    // Rewrites the value: 0 or an error number.
    int SetValue(const std::string& folder, const char* key, std::uint32_t type,
                 std::string_view data) const;
    bool WriteValue(const char* section, const char* key, std::uint32_t type,
                    std::string_view data);

    std::string rootFolder_;
    char keyPath_[512] = {};
};
