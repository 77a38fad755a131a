#include "simulation/simulation_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <strings.h>

#include "infra/log.h"
#include "protocol/attribute_list.h"
#include "protocol/dictionary.h"
#include "protocol/radius_attribute.h"

namespace {

bool IsSeparator(char c, const char* separators) { return c != '\0' && std::strchr(separators, c); }

// A day count beyond this gives an offset past the 32-bit range anyway.
constexpr std::int64_t kDayCountLimit = 1'000'000'000;

// One number the way a "%d" (width 0: unlimited) or "%02d" conversion reads it: blanks are
// skipped, then at most width characters of sign and digits, at least one digit.
bool ScanNumber(const char*& text, int width, std::int64_t& value) {
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    int left = width > 0 ? width : std::numeric_limits<int>::max();
    bool negative = false;
    if ((*p == '+' || *p == '-') && left > 0) {
        negative = *p == '-';
        ++p;
        --left;
    }
    std::int64_t number = 0;
    bool anyDigit = false;
    while (left > 0 && std::isdigit(static_cast<unsigned char>(*p))) {
        number = std::min(number * 10 + (*p - '0'), kDayCountLimit);
        anyDigit = true;
        ++p;
        --left;
    }
    if (!anyDigit) return false;
    value = negative ? -number : number;
    text = p;
    return true;
}

// Reads numbers separated by ":" like sscanf with "%d:%02d:..." (first width first, then 2)
// and returns how many were read; end, when given, is left just after the last one.
int ScanColonNumbers(const char* text, int firstWidth, int count, std::int64_t* values,
                     const char** end = nullptr) {
    const char* p = text;
    int read = 0;
    for (; read < count; ++read) {
        if (read > 0) {
            if (*p != ':') break;
            ++p;
        }
        if (!ScanNumber(p, read == 0 ? firstWidth : 2, values[read])) break;
    }
    if (end != nullptr) *end = p;
    return read;
}

// ".mmm" after the seconds: one to three digits as milliseconds (".5" is 500), the rest
// ignored; -1 when the text does not start so.
int ReadMilliseconds(const char* text) {
    if (text[0] != '.' || !std::isdigit(static_cast<unsigned char>(text[1]))) return -1;
    int milliseconds = 0;
    int scale = 100;
    for (const char* p = text + 1; scale > 0 && std::isdigit(static_cast<unsigned char>(*p)); ++p, scale /= 10)
        milliseconds += (*p - '0') * scale;
    return milliseconds;
}

std::int32_t ClampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::time_t TimeOfDayOn(std::time_t day, int hours, int minutes, int seconds) {
    std::tm local{};
    localtime_r(&day, &local);
    local.tm_hour = hours;
    local.tm_min = minutes;
    local.tm_sec = seconds;
    return MakeLocalTime(local);
}

}  // namespace

char* NextField(char* text, const char* separators, char*& position) {
    if (text) position = text;
    char* p = position;
    while (IsSeparator(*p, separators)) ++p;
    if (*p == '\0') {
        position = p;
        return nullptr;
    }
    char* start = p;
    while (*p != '\0' && !IsSeparator(*p, separators)) ++p;
    if (*p != '\0') *p++ = '\0';
    position = p;
    return start;
}

char* NextToken(char* text, const char* separators, char*& position) {
    if (text) position = text;
    char* start = position;
    if (*start == '\0') return nullptr;
    char* p = start;
    while (*p != '\0' && !IsSeparator(*p, separators)) ++p;
    if (*p != '\0') *p++ = '\0';
    position = p;
    return start;
}

LineTime ReadLineTime(const char* text) {
    LineTime time;
    std::int64_t numbers[4] = {};
    const char* end = nullptr;
    if (ScanColonNumbers(text, 0, 4, numbers, &end) == 4) {
        time.form = LineTime::Form::Offset;
        time.days = numbers[0];
        time.hours = static_cast<int>(numbers[1]);
        time.minutes = static_cast<int>(numbers[2]);
        time.seconds = static_cast<int>(numbers[3]);
    } else if (ScanColonNumbers(text, 2, 3, numbers, &end) == 3) {
        time.form = LineTime::Form::TimeOfDay;
        time.hours = static_cast<int>(numbers[0]);
        time.minutes = static_cast<int>(numbers[1]);
        time.seconds = static_cast<int>(numbers[2]);
    } else {
        return time;
    }
    time.milliseconds = ReadMilliseconds(end);
    return time;
}

std::int32_t OffsetSeconds(const LineTime& time) {
    // |days| <= 1e9 keeps this far inside 64 bits.
    return ClampToInt32(((time.days * 24 + time.hours) * 60 + time.minutes) * 60 + time.seconds);
}

bool ReadDuration(const char* text, std::int32_t& seconds) {
    std::int64_t numbers[3] = {};
    // MM:SS; a time written in the duration's place (1:30:00) is refused rather than cut to
    // its first two numbers, which would silently change the session's length.
    if (ScanColonNumbers(text, 2, 3, numbers) != 2) return false;
    seconds = static_cast<std::int32_t>(numbers[0] * 60 + numbers[1]);
    return true;
}

std::time_t MakeLocalTime(std::tm& brokenDown) {
    std::tm standard = brokenDown;
    standard.tm_isdst = 0;
    std::time_t result = std::mktime(&standard);
    if (standard.tm_isdst > 0) {
        // The wall-clock time falls in daylight-saving time: read it as such. (Asking whether
        // the hour moved would also fire for an hour of 24 or more, which mktime carries over.)
        std::tm daylight = brokenDown;
        daylight.tm_isdst = 1;
        result = std::mktime(&daylight);
        standard = daylight;
    }
    brokenDown = standard;
    return result;
}

std::time_t ResolveTimeOfDay(int hours, int minutes, int seconds, std::time_t now) {
    constexpr std::time_t kDay = 86400;
    constexpr std::time_t kJustPassed = 60;
    constexpr std::time_t kLongestWait = kDay - 60;

    std::time_t t = TimeOfDayOn(now, hours, minutes, seconds);
    if (t < now) t = (now - t < kJustPassed) ? now : TimeOfDayOn(now + kDay, hours, minutes, seconds);
    // On a 25-hour day "now + one day" is still today, so t may still lie behind us.
    if (t - now > kLongestWait || t < now) t = now;
    return t;
}

bool IsTimeOfDay(std::time_t now, int hours, int minutes, int seconds) {
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour == hours && local.tm_min == minutes && local.tm_sec == seconds;
}

SectionKeyword MatchSectionKeyword(const char* section) {
    struct Keyword {
        const char* text;
        SectionKind kind;
    };
    // Tried in this order; "Acct:" cannot swallow the longer two, its ":" is at their "S".
    static constexpr Keyword kKeywords[] = {
        {"Auth:", SectionKind::Auth},
        {"Acct:", SectionKind::Acct},
        {"AcctStart:", SectionKind::AcctStart},
        {"AcctStop:", SectionKind::AcctStop},
    };
    for (const Keyword& keyword : kKeywords) {
        const std::size_t length = std::strlen(keyword.text);
        if (strncasecmp(section, keyword.text, length) == 0) return {keyword.kind, length};
    }
    return {};
}

namespace {

// The definition of name, or of name without a ":tag" suffix when that definition has tags.
const AttributeDef* FindTaggedDefinition(const Dictionary& dictionary, std::string_view name,
                                         std::optional<std::uint8_t>& tag) {
    if (const AttributeDef* definition = dictionary.FindByName(name)) return definition;
    const std::size_t colon = name.rfind(':');
    if (colon == std::string_view::npos) return nullptr;
    const std::string_view digits = name.substr(colon + 1);
    constexpr unsigned kMaxTag = 31;  // RFC 2868 section 3.1: tags 0x01 to 0x1F, 0 for none
    unsigned value = 0;
    if (digits.empty() || digits.size() > 2) return nullptr;
    for (char c : digits) {
        if (c < '0' || c > '9') return nullptr;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    const AttributeDef* definition = dictionary.FindByName(name.substr(0, colon));
    if (definition == nullptr || !definition->hasTag || value > kMaxTag) return nullptr;
    tag = static_cast<std::uint8_t>(value);
    return definition;
}

}  // namespace

bool ParseAttributePairs(const Dictionary* dictionary, const char* pairText, AttributeList& list,
                         bool forAccessRequest) {
    if (!dictionary) {
        Log(1, "No Dictionary.");
        return false;
    }
    std::string copy(pairText ? pairText : "");
    if (copy.size() > kMaxPairTextLength) copy.resize(kMaxPairTextLength);

    char* position = nullptr;
    for (char* item = NextToken(copy.data(), ",", position); item;
         item = NextToken(nullptr, ",", position)) {
        char* equals = std::strchr(item, '=');
        if (!equals) {
            Log(1, "Missing '=' in attribute pair.");
            return false;
        }
        *equals = '\0';
        const char* name = item;
        const std::string_view value(equals + 1);
        if (value.size() > kMaxPairValueLength) {
            Log(1, "Attribute value longer than %zu characters: %s", kMaxPairValueLength, name);
            return false;
        }
        std::optional<std::uint8_t> tag;
        const AttributeDef* definition = FindTaggedDefinition(*dictionary, name, tag);
        if (!definition) {
            Log(1, "Invalid attribute = %s", name);
            return false;
        }
        std::optional<RadiusAttribute> attribute = ParseValue(*definition, value, dictionary, tag);
        if (!attribute) return false;  // ParseValue has said why
        if (const std::optional<std::string> problem = attribute->EncodingProblem(dictionary, forAccessRequest)) {
            Log(1, "%s", problem->c_str());
            return false;
        }
        if (!list.Append(*attribute)) return false;
    }
    return true;
}
