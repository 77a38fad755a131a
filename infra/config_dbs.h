// Named values in sections: the interface of the configuration stores.
#pragma once

class ConfigDbs {
public:
    virtual ~ConfigDbs() = default;
    virtual bool ReadIntOption(const char* section, const char* key, int defaultValue, int* out);
    virtual bool ReadOption(const char* section, const char* key, const char* defaultValue,
                            char* buffer, unsigned size) = 0;
    virtual bool WriteIntOption(const char* section, const char* key, int value);
    virtual bool WriteOption(const char* section, const char* key, const char* value) = 0;
};
