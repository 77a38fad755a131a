// The operator's result lines (accept, reject, accounting replies, dropped requests) and the
// four-line counter report.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>

#include "radius/session.h"

enum class ResultKind : std::int32_t {
    AuthAccept = 0,
    AuthReject = 1,
    AccountingReply = 2,
    AuthDropped = 3,
    AccountingDropped = 4,
    CounterReport = 5,
};

struct RequestCounters {
    std::int32_t authRequests = 0;
    std::int32_t authResponses = 0;
    std::int32_t acctStartRequests = 0;
    std::int32_t acctStartResponses = 0;
    std::int32_t acctStopRequests = 0;
    std::int32_t acctStopResponses = 0;
    std::int32_t acctInterimRequests = 0;
    std::int32_t acctInterimResponses = 0;
    bool interimsEnabled = false;  // an interim option is set: the reports show the fourth kind
};

// Whether the reports show Interim-Updates: only when some were sent or an option asks for
// them, so that runs without them report as they always did.
inline bool ShowsInterims(const RequestCounters& counters) {
    return counters.interimsEnabled || counters.acctInterimRequests != 0;
}

inline constexpr std::size_t kMaxResultLineLength = 511;

// "<user>: " and the text of the kind (AuthAccept to AccountingDropped). The reply is read for
// the Reject's Reply-Message only, within the received octets.
std::string ComposeResultLine(ResultKind kind, const Session& session, std::span<const std::uint8_t> reply);

// Names of the accept line; values without a name in the tables are shown as their number.
std::string ServiceTypeName(std::int32_t value);
std::string FramedProtocolName(std::int32_t value);
std::string LoginServiceName(std::int32_t value);

// The report's four lines (with Interim-Updates counted after the stops when shown); the times are shown in local time.
std::array<std::string, 4> ComposeCounterReport(const RequestCounters& counters, std::time_t start, std::time_t end);
