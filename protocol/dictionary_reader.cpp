#include "protocol/dictionary_reader.h"

#include <cerrno>
#include <optional>
#include <string_view>
#include <vector>

#include "infra/bounded_string.h"
#include "infra/log.h"
#include "infra/number_text.h"
#include "infra/regular_file.h"
#include "protocol/dictionary.h"
#include "protocol/dictionary_lines.h"
#include "protocol/freeradius_reader.h"

namespace {

constexpr std::string_view kFieldSeparators = " \t\n";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A dictionary type text: "string", "integer", "ipaddr", "date" ignoring case, or anything
// that begins with "[".
std::optional<ValueType> TypeFromText(std::string_view text) {
    if (EqualsNoCase(text, "string")) return ValueType::String;
    if (EqualsNoCase(text, "integer")) return ValueType::Integer;
    if (EqualsNoCase(text, "ipaddr")) return ValueType::IpAddr;
    if (EqualsNoCase(text, "date")) return ValueType::Date;
    if (!text.empty() && text[0] == '[') return ValueType::Complex;
    return std::nullopt;
}

// The layout text: tokens label[size]=value separated by spaces.
const char* Layout(std::string_view layout, AttributeDef& def) {
    for (std::string_view token : Split(layout, " ")) {
        const std::size_t equals = token.find('=');
        if (equals == std::string_view::npos) return "Invalid Complex Type";
        ComplexField field;
        if (equals > 0 && IsDigit(token[equals - 1])) {
            field.size = token[equals - 1] - '0';
            if (field.size != 1 && field.size != 2 && field.size != 4) return "Invalid Complex Type Size";
        }
        const std::string_view label = token.substr(0, equals);
        const std::string_view value = token.substr(equals + 1);
        if (StartsWithNoCase(label, "len")) {
            if (!value.empty() && value[0] == '+') {
                field.kind = ComplexFieldKind::LengthPlus;
                field.value = LeadingInteger(value.substr(1));
            } else {
                field.kind = ComplexFieldKind::Length;
                field.value = LeadingInteger(value);
            }
        } else if (StartsWithNoCase(label, "data")) {
            const std::optional<ValueType> type = TypeFromText(value);
            // A data field of the complex type itself would describe nothing that can be sent.
            if (!type || *type == ValueType::Complex) return "Invalid Type";
            field.kind = ComplexFieldKind::Data;
            field.value = 0;
            def.dataType = *type;
        } else {
            field.kind = ComplexFieldKind::Constant;
            field.value = LeadingInteger(value);
        }
        def.fields.push_back(field);
    }
    return nullptr;
}

}  // namespace

const char* DictionaryReader::Handle(std::string_view line) {
    if (line.empty() || line[0] == '#') return nullptr;
    // The keyword stands in the first column and is compared over its own length only.
    if (StartsWithNoCase(line, "ATTRIBUTE")) return Attribute(line);
    if (StartsWithNoCase(line, "VALUE")) return Value(line);
    if (StartsWithNoCase(line, "INCLUDE")) return Include(line);
    return nullptr;  // lines beginning with anything else are ignored
}

const char* DictionaryReader::Attribute(std::string_view line) {
    const auto fields = Split(line, kFieldSeparators);
    if (fields.size() < 4) return "Invalid attribute";
    AttributeDef def;
    if (fields[1].size() > kMaxAttributeNameLength) return "Invalid name length";
    def.name = fields[1];
    if (!IsDigit(fields[2][0])) return "Invalid value";
    def.number = LeadingInteger(fields[2]);
    const std::optional<ValueType> type = TypeFromText(fields[3]);
    if (!type) return "Invalid Type";
    def.type = *type;
    if (def.type == ValueType::Complex) {
        // The layout is everything between the first "[" and the last "]" of the whole line.
        const std::size_t open = line.find('[');
        const std::size_t close = line.rfind(']');
        if (close == std::string_view::npos || close < open) return "Invalid Complex Type";
        if (const char* error = Layout(line.substr(open + 1, close - open - 1), def)) return error;
    }
    def.order = set_.NextOrder();
    dictionary_.attributes_.push_back(std::move(def));
    return nullptr;
}

const char* DictionaryReader::Value(std::string_view line) {
    const auto fields = Split(line, kFieldSeparators);
    if (fields.size() < 4) return "Invalid Value entry";
    if (fields[1].size() > kMaxAttributeNameLength) return "Invalid Attribute length";
    if (fields[2].size() > kMaxValueNameLength) return "Invalid Name length";
    if (!IsDigit(fields[3][0])) return "Invalid Value";
    dictionary_.values_.push_back(
        ValueDef{std::string(fields[1]), std::string(fields[2]), LeadingInteger(fields[3]), set_.NextOrder()});
    return nullptr;
}

const char* DictionaryReader::Include(std::string_view line) {
    const auto fields = Split(line, kFieldSeparators);
    if (fields.size() < 2) return "Invalid Include entry";
    std::string_view name = fields[1];
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    DictionarySet* set = DictionarySet::Instance();
    if (set == nullptr) return "Include directive not supported";
    const Dictionary* included = set->Load(std::string(name));
    if (included == nullptr) return "Failure opening an Include dictionary";
    dictionary_.includes_.push_back(included);
    return nullptr;
}

bool DictionaryReader::ReadLines(std::FILE* file) {
    std::string line;
    int lineNumber = 0;
    while (ReadPiece(file, line)) {
        ++lineNumber;
        if (const char* error = Handle(line)) {
            Log(0, "%s on line %d of dictionary: %s", error, lineNumber, dictionary_.Name().c_str());
            return false;
        }
    }
    return true;
}

std::unique_ptr<Dictionary> DictionaryReader::Read(const std::string& path, const std::string& name,
                                                   DictionarySet& set, DictionaryFormat includedBy) {
    int error = 0;
    UniqueFile file = OpenDictionaryFile(path, error);
    if (!file) {
        Log(0, "Couldn't open dictionary: %s", path.c_str());
        // Why, when it is there but cannot be used: a missing file needs no second line.
        if (error != ENOENT) Log(0, "%s: %s", path.c_str(), FileErrorText(error).c_str());
        return nullptr;
    }
    const bool freeRadius = DetectFormat(file.get(), includedBy) == DictionaryFormat::FreeRadius;
    std::rewind(file.get());
    std::unique_ptr<Dictionary> dictionary(
        new Dictionary(name, freeRadius ? DictionaryFormat::FreeRadius : DictionaryFormat::Native));
    const bool read = freeRadius ? FreeRadiusReader(*dictionary, set).Read(file.get())
                                 : DictionaryReader(*dictionary, set).ReadLines(file.get());
    if (!read) return nullptr;
    dictionary->Finish();
    return dictionary;
}
