#include "protocol/dictionary_reader.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "infra/log.h"
#include "infra/regular_file.h"
#include "protocol/dictionary.h"

namespace {

constexpr std::string_view kFieldSeparators = " \t\n";

// Longest piece of a line handled as one line; longer lines are read in such pieces.
constexpr std::size_t kMaxLineLength = 259;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A dictionary holds a few hundred kilobytes at most; this is far beyond any.
constexpr std::size_t kMaxDictionaryFileBytes = std::size_t{16} << 20;

// Opens a regular file of at most kMaxDictionaryFileBytes for reading. Anything else (a
// folder, a device, a pipe whose opening would wait for a writer) is refused, its reason in
// error.
File OpenRegularFile(const std::string& path, int& error) {
    const int fd = OpenRegularFileForReading(path, &error, kMaxDictionaryFileBytes);
    if (fd < 0) return nullptr;
    std::FILE* stream = fdopen(fd, "r");
    if (stream == nullptr) {
        error = errno;
        close(fd);
    }
    return File(stream);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Numbers wrap like 32-bit registers instead of overflowing.
std::int32_t Wrap(std::uint32_t value) { return static_cast<std::int32_t>(value); }

// The decimal digits at the start (the caller has checked there is at least one).
std::int32_t LeadingDigits(std::string_view text) {
    std::uint32_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) break;
        value = value * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return Wrap(value);
}

// Leading blanks, an optional sign, digits up to the first non-digit; no digits gives 0.
std::int32_t LeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\v' ||
                               text[i] == '\f' || text[i] == '\r'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint32_t value = static_cast<std::uint32_t>(LeadingDigits(text.substr(i)));
    return Wrap(negative ? 0u - value : value);
}

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

std::vector<std::string_view> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> tokens;
    std::size_t start = text.find_first_not_of(separators);
    while (start != std::string_view::npos) {
        std::size_t end = text.find_first_of(separators, start);
        tokens.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        start = end == std::string_view::npos ? end : text.find_first_not_of(separators, end);
    }
    return tokens;
}

// Reads one line, or one 259-character piece of a longer line, without its line end.
// A zero octet ends the text of the line, as it would for C text. False at the end of the file.
bool ReadPiece(std::FILE* file, std::string& piece) {
    piece.clear();
    int c = std::fgetc(file);
    if (c == EOF) return false;
    std::size_t count = 0;
    bool cut = false;
    for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
        if (c == '\0') cut = true;
        if (!cut) piece.push_back(static_cast<char>(c));
        if (++count == kMaxLineLength) {
            // A line of exactly the maximum length keeps its own line end.
            const int next = std::fgetc(file);
            if (next != '\n' && next != EOF) std::ungetc(next, file);
            break;
        }
    }
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();  // files written with CR LF
    return true;
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
    def.number = LeadingDigits(fields[2]);
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
    dictionary_.attributes_.push_back(std::move(def));
    return nullptr;
}

const char* DictionaryReader::Value(std::string_view line) {
    const auto fields = Split(line, kFieldSeparators);
    if (fields.size() < 4) return "Invalid Value entry";
    if (fields[1].size() > kMaxAttributeNameLength) return "Invalid Attribute length";
    if (fields[2].size() > kMaxValueNameLength) return "Invalid Name length";
    if (!IsDigit(fields[3][0])) return "Invalid Value";
    dictionary_.values_.push_back(ValueDef{std::string(fields[1]), std::string(fields[2]), LeadingDigits(fields[3])});
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

bool DictionaryReader::Read(const std::string& path, Dictionary& dictionary) {
    int error = 0;
    File file = OpenRegularFile(path, error);
    if (!file) {
        Log(0, "Couldn't open dictionary: %s", path.c_str());
        // Why, when it is there but cannot be used: a missing file needs no second line.
        if (error != ENOENT) Log(0, "%s: %s", path.c_str(), FileErrorText(error).c_str());
        return false;
    }
    DictionaryReader reader(dictionary);
    std::string line;
    int lineNumber = 0;
    while (ReadPiece(file.get(), line)) {
        ++lineNumber;
        if (const char* error = reader.Handle(line)) {
            Log(0, "%s on line %d of dictionary: %s", error, lineNumber, dictionary.Name().c_str());
            return false;
        }
    }
    dictionary.Finish();
    return true;
}
