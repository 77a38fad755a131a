// Reads one dictionary file into a Dictionary. The file's keywords tell its format: a file with
// a line that only FreeRADIUS's format has goes to the FreeRadiusReader, any other is read in
// the program's own format (ATTRIBUTE, VALUE and INCLUDE lines) here.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "protocol/dictionary.h"

class DictionaryReader {
public:
    // The dictionary of the file at path, named name, sorted and ready; nullptr on failure,
    // with the reason in the log at level 0.
    // includedBy: the format of the including file (the own format for a file loaded by name).
    static std::unique_ptr<Dictionary> Read(const std::string& path, const std::string& name, DictionarySet& set,
                                            DictionaryFormat includedBy);

private:
    DictionaryReader(Dictionary& dictionary, DictionarySet& set) : dictionary_(dictionary), set_(set) {}

    bool ReadLines(std::FILE* file);
    // Each returns the error message of the line, or nullptr when it is accepted.
    const char* Handle(std::string_view line);
    const char* Attribute(std::string_view line);
    const char* Value(std::string_view line);
    const char* Include(std::string_view line);

    Dictionary& dictionary_;
    DictionarySet& set_;
};
