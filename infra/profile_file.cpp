#include "infra/profile_file.h"

#include <cerrno>
#include <optional>
#include <string_view>
#include <vector>

#include "infra/atomic_file.h"
#include "infra/bounded_string.h"

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

enum class LineKind { Blank, Comment, Header, Value, Other };

// One line of the file as found, and what it means.
struct ProfileLine {
    std::string raw;  // without its line end
    LineKind kind = LineKind::Other;
    std::string name;  // section name of a header, key of a value line
    std::string value;
};

ProfileLine ParseLine(std::string raw) {
    ProfileLine line;
    std::string_view text(raw);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const std::string_view trimmed = Trim(text);
    if (trimmed.empty()) {
        line.kind = LineKind::Blank;
    } else if (trimmed.front() == ';' || trimmed.front() == '#') {
        line.kind = LineKind::Comment;
    } else if (trimmed.front() == '[') {
        line.kind = LineKind::Header;
        const std::string_view inner = trimmed.substr(1);
        line.name = Trim(inner.substr(0, inner.find(']')));
    } else if (const auto equals = trimmed.find('='); equals != std::string_view::npos) {
        line.kind = LineKind::Value;
        line.name = Trim(trimmed.substr(0, equals));
        line.value = Trim(trimmed.substr(equals + 1));
    }
    line.raw = std::move(raw);
    return line;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct ProfileText {
    std::vector<ProfileLine> lines;
    std::string lineEnd = "\n";  // "\r\n" when the file uses it
    bool byteOrderMark = false;  // the file starts with one
};

ProfileText ParseText(std::string_view text) {
    ProfileText parsed;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        parsed.byteOrderMark = true;
        text.remove_prefix(kByteOrderMark.size());
    }
    bool first = true;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (first && !raw.empty() && raw.back() == '\r') parsed.lineEnd = "\r\n";
        first = false;
        parsed.lines.push_back(ParseLine(std::string(raw)));
    }
    return parsed;
}

// Where a section stands: its header line and the line after its last line.
struct SectionSpan {
    std::size_t header = 0;
    std::size_t end = 0;
};

std::optional<SectionSpan> FindSection(const ProfileText& text, std::string_view section) {
    for (std::size_t i = 0; i < text.lines.size(); ++i) {
        const ProfileLine& line = text.lines[i];
        if (line.kind != LineKind::Header || !EqualsNoCase(line.name, section)) continue;
        SectionSpan span{i, i + 1};
        while (span.end < text.lines.size() && text.lines[span.end].kind != LineKind::Header)
            ++span.end;
        return span;
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(const ProfileText& text, const SectionSpan& span,
                                   std::string_view key) {
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        const ProfileLine& line = text.lines[i];
        if (line.kind == LineKind::Value && EqualsNoCase(line.name, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> LookUp(const std::string& path, std::string_view section,
                                  std::string_view key) {
    std::string contents;
    if (!ReadWholeFile(path, &contents)) return std::nullopt;
    const ProfileText text = ParseText(contents);
    const auto span = FindSection(text, Trim(section));
    if (!span) return std::nullopt;
    const auto line = FindKey(text, *span, Trim(key));
    if (!line) return std::nullopt;
    return text.lines[*line].value;
}

bool HasLineEnd(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool Representable(std::string_view section, const char* key, const char* value) {
    section = Trim(section);
    if (section.empty() || HasLineEnd(section) || section.find(']') != std::string_view::npos)
        return false;
    if (key != nullptr) {
        const std::string_view k = Trim(key);
        if (k.empty() || HasLineEnd(k) || k.find('=') != std::string_view::npos) return false;
        if (k.front() == ';' || k.front() == '#' || k.front() == '[') return false;
    }
    return value == nullptr || !HasLineEnd(value);
}

ProfileLine MakeLine(std::string raw) { return ParseLine(std::move(raw)); }

// Applies the change to the parsed file; false when nothing changed.
bool Change(ProfileText& text, std::string_view section, const char* key, const char* value) {
    const auto span = FindSection(text, section);
    auto& lines = text.lines;
    if (key == nullptr) {  // remove the section
        if (!span) return false;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(span->header),
                    lines.begin() + static_cast<std::ptrdiff_t>(span->end));
        return true;
    }
    const std::string_view keyName = Trim(key);
    if (value == nullptr) {  // remove every line of the key in the section
        if (!span) return false;
        bool removed = false;
        for (std::size_t i = span->end; i-- > span->header + 1;) {
            if (lines[i].kind == LineKind::Value && EqualsNoCase(lines[i].name, keyName)) {
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
                removed = true;
            }
        }
        return removed;
    }
    const std::string_view newValue = Trim(value);
    if (!span) {
        if (!lines.empty() && lines.back().kind != LineKind::Blank) lines.push_back(MakeLine(""));
        lines.push_back(MakeLine("[" + std::string(section) + "]"));
        lines.push_back(MakeLine(std::string(keyName) + "=" + std::string(newValue)));
        return true;
    }
    if (const auto found = FindKey(text, *span, keyName)) {
        ProfileLine& line = lines[*found];
        line = MakeLine(line.name + "=" + std::string(newValue));  // keeps the key's spelling
        return true;
    }
    std::size_t insertAt = span->end;  // after the section's last line that is not blank
    while (insertAt > span->header + 1 && lines[insertAt - 1].kind == LineKind::Blank) --insertAt;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                 MakeLine(std::string(keyName) + "=" + std::string(newValue)));
    return true;
}

std::string Render(const ProfileText& text) {
    std::string out(text.byteOrderMark ? kByteOrderMark : std::string_view());
    for (const ProfileLine& line : text.lines) {
        out += line.raw;
        // Lines taken from the file keep their own CR; new ones get the file's line end.
        if (line.raw.empty() || line.raw.back() != '\r') out += text.lineEnd;
        else out += '\n';
    }
    return out;
}

}  // namespace

std::size_t ReadProfileString(const char* path, const char* section, const char* key,
                              const char* defaultValue, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    std::optional<std::string> value;
    if (path != nullptr && section != nullptr && key != nullptr) value = LookUp(path, section, key);
    CopyBounded(buffer, value ? std::string_view(*value)
                              : std::string_view(defaultValue != nullptr ? defaultValue : ""),
                size);
    return std::string_view(buffer).size();
}

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
    return LookUp(path, section, key).value_or(defaultValue);
}

bool WriteProfileString(const char* path, const char* section, const char* key,
                        const char* value, int* error) {
    int ignored = 0;
    int& reason = error != nullptr ? *error : ignored;
    if (path == nullptr || *path == '\0' || section == nullptr ||
        !Representable(section, key, value)) {
        reason = EINVAL;
        return false;
    }
    std::string contents;
    if (!ReadWholeFile(path, &contents, &reason) && reason != ENOENT) return false;
    ProfileText text = ParseText(contents);
    if (!Change(text, Trim(section), key, value)) return true;  // nothing to remove
    const ReplaceResult replaced = ReplaceFileContents(path, Render(text));
    reason = replaced.error;
    return replaced.Ok();
}

bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
    return WriteProfileString(path.c_str(), section.c_str(), key.c_str(), value.c_str());
}

ProfileSection FindProfileSection(const std::string& path, const std::string& section,
                                  int* error) {
    std::string contents;
    if (!ReadWholeFile(path, &contents, error)) return ProfileSection::Unreadable;
    return FindSection(ParseText(contents), Trim(section)) ? ProfileSection::Present
                                                           : ProfileSection::Missing;
}
