// Why simulation lines were skipped, counted per file played.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

enum class InvalidLineReason : std::uint8_t {
    Time,          // the time field is missing or not D:HH:MM:SS / HH:MM:SS
    MissingField,  // no user name, password or duration
    Duration,      // the duration is not MM:SS, or negative
    Section,       // a section that is not Auth:, Acct:, AcctStart: or AcctStop:
    Attribute,     // a name=value pair the dictionary cannot make an attribute of
};
inline constexpr std::size_t kInvalidLineReasons = 5;

// The reason's name in reports: "time", "missingField", "duration", "section", "attribute".
const char* InvalidLineReasonName(InvalidLineReason reason);

class InvalidLineCounts {
public:
    void Add(InvalidLineReason reason) { ++counts_[static_cast<std::size_t>(reason)]; }
    std::uint64_t Of(InvalidLineReason reason) const { return counts_[static_cast<std::size_t>(reason)]; }
    std::uint64_t Total() const {
        std::uint64_t total = 0;
        for (const std::uint64_t count : counts_) total += count;
        return total;
    }
    void Clear() { counts_ = {}; }

private:
    std::array<std::uint64_t, kInvalidLineReasons> counts_{};
};

inline constexpr InvalidLineReason kAllInvalidLineReasons[kInvalidLineReasons] = {
    InvalidLineReason::Time, InvalidLineReason::MissingField, InvalidLineReason::Duration,
    InvalidLineReason::Section, InvalidLineReason::Attribute};

// "3 (time 1, attribute 2)": the total, then each reason that occurred.
std::string DescribeInvalidLines(const InvalidLineCounts& counts);
