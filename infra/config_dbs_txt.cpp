#include "infra/config_dbs_txt.h"

#include <cerrno>
#include <string_view>
#include <vector>

#include "infra/atomic_file.h"
#include "infra/bounded_string.h"
#include "infra/log.h"
#include "infra/text_lines.h"

namespace {

constexpr std::size_t kSectionSize = 256;

bool IsComment(std::string_view line) {
    return !line.empty() && (line.front() == '#' || line.front() == ';');
}

bool IsHeader(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string_view HeaderName(std::string_view line) { return line.substr(1, line.size() - 2); }

// A line is the key's when its first "=" stands right after a key-length prefix that
// matches the key in any letter case.
bool IsLineOfKey(std::string_view line, std::string_view key) {
    return line.find('=') == key.size() && EqualsNoCase(line.substr(0, key.size()), key);
}

bool HasLineEnd(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The section lines are in while a file is read from the top.
class SectionTracker {
public:
    explicit SectionTracker(std::string_view target)
        : target_(target), inside_(target.empty()) {}
    void Enter(std::string_view name) { inside_ = EqualsNoCase(target_, name); }
    bool Inside() const { return inside_; }

private:
    std::string_view target_;
    bool inside_;
};

}  // namespace

ConfigDbsTxt::ConfigDbsTxt(const char* path, const char* sectionPrefix) {
    CopyBounded(path_, path, sizeof path_);
    CopyBounded(sectionPrefix_, sectionPrefix, sizeof sectionPrefix_);
}

ConfigDbsTxt::~ConfigDbsTxt() = default;

std::string ConfigDbsTxt::TargetSection(const char* section) const {
    std::string target(sectionPrefix_);
    if (!target.empty() && target.back() != '/') target += '/';
    target += section != nullptr ? section : "";
    return target.substr(0, kSectionSize - 1);
}

bool ConfigDbsTxt::ReadOption(const char* section, const char* key, const char* defaultValue,
                              char* buffer, unsigned size) {
    if (buffer == nullptr) return false;
    CopyBounded(buffer, defaultValue, size);
    std::string contents;
    if (!ReadWholeFile(path_, &contents)) {
        Log(1, "ConfigDbsTxt::ReadOption: Could'nt open input file = %s", path_);
        return true;
    }
    const std::string target = TargetSection(section);
    const std::string_view keyName(key != nullptr ? key : "");
    SectionTracker tracker(target);
    for (const std::string& text : SplitLines(contents)) {
        const std::string_view line(text);
        if (IsComment(line)) continue;
        if (IsHeader(line)) {
            if (tracker.Inside()) break;  // the first occurrence of the section is over
            tracker.Enter(HeaderName(line));
            continue;
        }
        if (tracker.Inside() && IsLineOfKey(line, keyName)) {
            CopyBounded(buffer, line.substr(keyName.size() + 1), size);
            break;
        }
    }
    return true;
}

bool ConfigDbsTxt::WriteOption(const char* section, const char* key, const char* value) {
    const std::string target = TargetSection(section);
    const std::string keyName(key != nullptr ? key : "");
    const std::string valueText(value != nullptr ? value : "");
    // A line end would split the key line and could forge headers: such values are refused.
    if (HasLineEnd(target) || HasLineEnd(keyName) || HasLineEnd(valueText)) return false;

    std::string contents;
    int readError = 0;
    if (!ReadWholeFile(path_, &contents, &readError)) {
        Log(1, "ConfigDbsTxt::WriteOption: Could'nt open input file = %s", path_);
        // Only a file that is not there is taken as empty; one that cannot be read is kept.
        if (readError != ENOENT) return false;
    }

    const std::string keyLine = keyName + "=" + valueText + "\n";
    std::string out;
    out.reserve(contents.size() + keyLine.size() + target.size() + 4);
    SectionTracker tracker(target);
    bool written = false;
    for (const std::string& text : SplitLines(contents)) {
        const std::string_view line(text);
        if (IsComment(line)) {
            out.append(line).append("\n");
            continue;
        }
        const bool startsBlock = line.empty() || line.front() == ' ' || IsHeader(line);
        if (startsBlock) {
            if (tracker.Inside() && !written) {
                out += keyLine;
                written = true;
            }
            if (IsHeader(line)) tracker.Enter(HeaderName(line));
            out.append(line).append("\n");
            continue;
        }
        if (tracker.Inside() && IsLineOfKey(line, keyName)) {
            out += keyName + "=" + valueText + "\n";  // every line of the key in the section
            written = true;
            continue;
        }
        out.append(line).append("\n");
    }
    if (!written) {
        if (!tracker.Inside()) out += "\n[" + target + "]\n";
        out += keyLine;
    }

    const std::string temporary = std::string(path_) + "_";
    const ReplaceResult result = ReplaceFileContents(path_, out, temporary);
    switch (result.failedAt) {
        case ReplaceStep::Done: return true;
        case ReplaceStep::CreateTemporary:
            Log(1, "ConfigDbsTxt::WriteOption: Could'nt create file = %s", temporary.c_str());
            return false;
        case ReplaceStep::WriteTemporary: return false;
        case ReplaceStep::MoveIntoPlace:
            Log(1, "ConfigDbsTxt::WriteOption: Failure modifying file = %s, Error = %d", path_,
                result.error);
            return false;
    }
    return false;
}
