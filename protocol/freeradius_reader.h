// Reads a dictionary file in FreeRADIUS's v3 format: ATTRIBUTE with its types and flags (and the
// older form that names the vendor after the type), VALUE, VENDOR with format=t,l[,c],
// BEGIN-VENDOR and END-VENDOR, BEGIN-TLV and END-TLV, $INCLUDE and $INCLUDE- relative to the
// including file. A "#" starts a comment anywhere. A line that is not understood is an error
// with its line number, never skipped.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/dictionary.h"

// The format the file's lines show: FreeRADIUS's when one of its lines only that format has
// (one of its keywords in the first column: $INCLUDE, VENDOR, BEGIN-VENDOR, ...; or an
// ATTRIBUTE line with one of its types or flags), else the own format when one of its lines
// only the own format has (INCLUDE, a [layout] type); else (only ATTRIBUTE and VALUE lines
// that both formats read) the format of the file that includes it. The file is read to its end.
DictionaryFormat DetectFormat(std::FILE* file, DictionaryFormat includedBy);

class FreeRadiusReader {
public:
    FreeRadiusReader(Dictionary& dictionary, DictionarySet& set) : dictionary_(dictionary), set_(set) {}

    // Reads every line into the dictionary (which the caller then finishes). False at the first
    // error, after logging "%s on line %d of dictionary: %s" at level 0.
    bool Read(std::FILE* file);

private:
    using Fields = std::vector<std::string_view>;
    struct OpenBlock {
        std::string name;
        int line = 0;
    };

    // Each returns the error message of the line, or an empty text when it is accepted.
    std::string Handle(std::string_view line);
    std::string Attribute(const Fields& fields);
    // The flags field of an ATTRIBUTE line into def; a vendor's name there sets vendor.
    std::string Flags(std::string_view flags, AttributeDef& def, std::optional<VendorDef>& vendor);
    std::string Value(const Fields& fields);
    std::string Vendor(const Fields& fields);
    std::string BeginVendor(const Fields& fields);
    std::string EndVendor(const Fields& fields);
    std::string BeginTlv(const Fields& fields);
    std::string EndTlv(const Fields& fields);
    std::string Include(const Fields& fields);
    // The error of a block left open at the end of the file, with the line that opened it.
    std::optional<std::pair<std::string, int>> UnclosedBlock() const;

    Dictionary& dictionary_;
    DictionarySet& set_;
    int lineNumber_ = 0;
    std::optional<VendorDef> blockVendor_;  // inside BEGIN-VENDOR ... END-VENDOR
    bool blockExtended_ = false;            // that block is in the RFC 6929 extended space
    int blockLine_ = 0;
    std::vector<OpenBlock> tlvs_;  // open BEGIN-TLV blocks, innermost last
};
