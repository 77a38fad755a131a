// The pieces of a simulation file line: tokenizers, the time and duration fields, the local
// time conversion, section keywords and attribute pair lists. Pure functions over one line;
// the Simulation strings them together when it reads a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

class AttributeList;
class Dictionary;

// A line is read into a buffer of this size, so one line holds at most 511 characters
// including its line end; the rest of a longer line is read as a line of its own.
inline constexpr std::size_t kLineBufferSize = 512;
// A section's pair list is worked on in a copy of at most this many characters.
inline constexpr std::size_t kMaxPairTextLength = 511;
// Longest value text of one name=value pair: the octets of one RADIUS attribute value.
inline constexpr std::size_t kMaxPairValueLength = 253;
// Longest user name and password a line may carry; longer ones are cut to these.
inline constexpr std::size_t kLineUserNameLength = 32;
inline constexpr std::size_t kLinePasswordLength = 128;

// Splits fields and sections: skips separators at the position, returns the token that
// follows (terminated in place) or nullptr when only separators remain. A run of separators
// counts as one, so tokens are never empty. A non-null text starts over at its beginning.
char* NextField(char* text, const char* separators, char*& position);

// Splits pair lists: like NextField, but a separator right at the position gives an empty
// token, and a separator at the very end gives nothing more. A non-null text starts over.
char* NextToken(char* text, const char* separators, char*& position);

// The time field of a line, in one of its two forms.
struct LineTime {
    enum class Form { Offset, TimeOfDay, Invalid };
    Form form = Form::Invalid;
    std::int64_t days = 0;  // Offset only
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    // The milliseconds written after the seconds (".250", ".5" = 500), or -1 for a time in
    // whole seconds.
    int milliseconds = -1;
};

// D:HH:MM:SS (an offset from the simulation start; D of any length) is tried first, then
// HH:MM:SS (a local time of day). Every number but D has at most two digits, may carry a sign
// and may be preceded by white space. Right after the seconds, "." and one to three digits
// give milliseconds (further digits are ignored); other text after the last number is ignored.
// No range checks.
LineTime ReadLineTime(const char* text);

// The offset of an Offset-form time in seconds, kept within the 32-bit range.
std::int32_t OffsetSeconds(const LineTime& time);

// MM:SS as seconds (MM x 60 + SS). False when the text does not give two numbers.
bool ReadDuration(const char* text, std::int32_t& seconds);

// Local broken-down time to calendar time, writing the normalised fields back. The time is
// taken as standard time unless that lands in daylight-saving time, in which case it is
// taken as daylight-saving time; so a wall-clock time means what a clock on the wall shows.
std::time_t MakeLocalTime(std::tm& brokenDown);

// The absolute time of a time of day read at now: one that has passed by less than a minute
// is now; any other is its next occurrence, today or tomorrow; one that would lie more than
// 23 h 59 min ahead (an hour above 23) is now. Never earlier than now.
std::time_t ResolveTimeOfDay(int hours, int minutes, int seconds, std::time_t now);

// Whether the local time at now is that time of day.
bool IsTimeOfDay(std::time_t now, int hours, int minutes, int seconds);

// The section keywords, as a prefix of a section, letter case ignored.
enum class SectionKind { Auth, Acct, AcctStart, AcctStop, Unknown };
struct SectionKeyword {
    SectionKind kind = SectionKind::Unknown;
    std::size_t length = 0;  // characters of the keyword, the ":" included
};
SectionKeyword MatchSectionKeyword(const char* section);

// Converts each name=value item of a comma-separated pair text through the dictionary and
// appends it to the list. False on the first error, after logging it at level 1
// ("No Dictionary." when there is no dictionary, whatever the text). A name may end in ":tag"
// (Tunnel-Type:1, a tag of 0 to 31) when its definition has RFC 2868 tags. An attribute that
// cannot be encoded into its request is an error too, with the reason: too long for one item,
// or a value that travels hidden in an Accounting-Request (forAccessRequest false).
bool ParseAttributePairs(const Dictionary* dictionary, const char* pairText, AttributeList& list,
                         bool forAccessRequest = true);
