// Reads one dictionary file (ATTRIBUTE, VALUE and INCLUDE lines) into a Dictionary.
#pragma once

#include <string>
#include <string_view>

class Dictionary;

class DictionaryReader {
public:
    // Fills the dictionary from the file at path and sorts it. On failure the reason is in the
    // log at level 0 and the dictionary must be thrown away.
    static bool Read(const std::string& path, Dictionary& dictionary);

private:
    explicit DictionaryReader(Dictionary& dictionary) : dictionary_(dictionary) {}

    // Each returns the error message of the line, or nullptr when it is accepted.
    const char* Handle(std::string_view line);
    const char* Attribute(std::string_view line);
    const char* Value(std::string_view line);
    const char* Include(std::string_view line);

    Dictionary& dictionary_;
};
