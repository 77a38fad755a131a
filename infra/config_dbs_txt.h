// The configuration store kept in a plain text file that the store parses and rewrites.
//
// Grammar: "[name]" headers (first character "[", last "]", the name taken unchanged),
// comment lines starting with "#" or ";", and "key=value" lines (key before the first "=",
// value after it, spaces belonging to both). Lines before the first header belong to the
// section with the empty name. Names and keys compare without regard to letter case; only the
// first occurrence of a section is searched, and in it the first line of the key.
#pragma once

#include <string>

#include "infra/config_dbs.h"

class ConfigDbsTxt : public ConfigDbs {
public:
    // Path and prefix are copied, cut to 259 and 255 characters. With a prefix, section S is
    // the header "prefix/S".
    explicit ConfigDbsTxt(const char* path, const char* sectionPrefix = nullptr);
    ~ConfigDbsTxt() override;

    // True whether or not the key was found (the buffer then holds the default).
    bool ReadOption(const char* section, const char* key, const char* defaultValue, char* buffer,
                    unsigned size) override;
    // Rewrites the file with the key's line replaced or added, keeping every other line.
    bool WriteOption(const char* section, const char* key, const char* value) override;

    const char* Path() const { return path_; }

private:
    std::string TargetSection(const char* section) const;

    char path_[260] = {};
    char sectionPrefix_[256] = {};
};
