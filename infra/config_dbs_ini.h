// The configuration store kept in a profile (INI) file.
#pragma once

#include "infra/config_dbs.h"

class ConfigDbsIni : public ConfigDbs {
public:
    // The path is copied, cut to 259 characters.
    explicit ConfigDbsIni(const char* path);
    ~ConfigDbsIni() override;

    // Always true: a missing file, section or key delivers the default.
    bool ReadOption(const char* section, const char* key, const char* defaultValue, char* buffer,
                    unsigned size) override;
    bool WriteOption(const char* section, const char* key, const char* value) override;

    const char* Path() const { return path_; }

private:
    char path_[260] = {};
};
