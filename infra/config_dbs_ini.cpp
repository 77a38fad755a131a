#include "infra/config_dbs_ini.h"

#include "infra/bounded_string.h"
#include "infra/profile_file.h"

ConfigDbsIni::ConfigDbsIni(const char* path) { CopyBounded(path_, path, sizeof path_); }

ConfigDbsIni::~ConfigDbsIni() = default;

bool ConfigDbsIni::ReadOption(const char* section, const char* key, const char* defaultValue,
                              char* buffer, unsigned size) {
    ReadProfileString(path_, section, key, defaultValue != nullptr ? defaultValue : "", buffer,
                      size);
    return true;
}

bool ConfigDbsIni::WriteOption(const char* section, const char* key, const char* value) {
    return WriteProfileString(path_, section, key, value);
}
