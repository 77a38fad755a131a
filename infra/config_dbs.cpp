#include "infra/config_dbs.h"

#include <cstdio>
#include <cstdlib>

bool ConfigDbs::ReadIntOption(const char* section, const char* key, int defaultValue, int* out) {
    char defaultText[24];
    std::snprintf(defaultText, sizeof defaultText, "%d", defaultValue);
    char buffer[24];
    if (!ReadOption(section, key, defaultText, buffer, sizeof buffer)) return false;
    *out = static_cast<int>(std::strtol(buffer, nullptr, 10));
    return true;
}

bool ConfigDbs::WriteIntOption(const char* section, const char* key, int value) {
    char text[24];
    std::snprintf(text, sizeof text, "%d", value);
    return WriteOption(section, key, text);
}
