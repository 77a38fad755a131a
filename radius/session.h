// One simulated user: its NAS port, its outstanding request and what its Access-Accept said.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

#include "protocol/attribute_list.h"

enum class SessionState : std::int32_t {
    Authenticating = 0,   // the Access-Request is outstanding
    AccountingStart = 1,  // accepted; the Accounting-Request Start is outstanding
    Active = 2,           // the start was acknowledged; runs until endTime, holds no identifier
    AccountingStop = 3,   // the Accounting-Request Stop is outstanding
    AccountingInterim = 4,  // an Interim-Update is outstanding; Active again on its reply
};

// RFC 2866 section 5.10, Acct-Terminate-Cause; none is sent unless counters are on.
enum class TerminateCause : std::uint8_t {
    None = 0,
    UserRequest = 1,
    SessionTimeout = 5,
    AdminReset = 6,
    NasRequest = 10,
};

// What the session moved, as its Stop and Interim-Updates report it: each counter grows by its
// rate every second and never goes back, whatever the clock does.
struct SessionUsage {
    std::array<std::uint32_t, 4> ratePerSecond{};  // input octets, output octets, input packets, output packets
    std::array<std::uint64_t, 4> reported{};       // the values last sent
};

inline constexpr std::size_t kMaxUserNameLength = 63;
inline constexpr std::size_t kMaxPasswordLength = 64;
inline constexpr std::size_t kMaxClassLength = 31;

// What an Access-Accept said that the session's accounting echoes; -1 (or 0 for addresses)
// when absent.
struct AcceptValues {
    std::int32_t serviceType = -1;
    std::int32_t framedProtocol = -1;
    std::int32_t framedCompression = -1;
    std::uint32_t framedIpAddress = 0;
    std::int32_t loginService = -1;
    std::uint32_t loginIpHost = 0;
    std::string className;  // at most 31 characters
};

// A million of them may be live at once: the small fields are laid out in pairs that fill
// eight octets, so no padding comes between them.
struct Session {
    SessionState state = SessionState::Authenticating;
    std::uint32_t sessionNumber = 0;
    std::time_t startTime = 0;
    std::time_t endTime = 0;  // startTime + duration: when the accounting stop is due
    std::uint32_t nasPort = 0;    // 0 once given back; NAS-Port is 32 bits wide
    std::uint16_t requestId = 0;  // 1 to 255 while a request is outstanding, else 0
    std::uint16_t channel = 0;    // the channel (source socket) requestId belongs to
    std::string userName;         // at most 63 characters
    std::string password;         // at most 64 characters

    AcceptValues accept;  // remembered from the Access-Accept

    std::array<std::uint8_t, 16> lastRequestAuthenticator{};
    std::uint32_t lastSendTime = 0;  // millisecond tick of the last transmission
    std::int32_t transmissions = 0;  // transmissions of the current request
    std::uint32_t lastSendMicroseconds = 0;  // the same on the microsecond clock, wrapping
    // Made while every identifier was in use ("WaitForId"): lastSendTime holds when, until
    // the Access-Request leaves.
    bool waitingForFirstId = false;
    // With millisecond ends ("Pacing"): the millisecond within a second at which the session's
    // end and Interim-Updates fall due, that of its start, so that the stops of the sessions
    // started in one second spread over the next as their starts did. 0: at the second's
    // start, as without it. (Fills padding: the session does not grow.)
    std::uint16_t dueOffsetMs = 0;

    // The session's life beyond Start and Stop; all zero unless their options are set.
    std::time_t nextInterimTime = 0;       // when the next Interim-Update is due, 0: none
    std::uint32_t interimInterval = 0;     // seconds between Interim-Updates, 0: none
    std::uint32_t reportTime = 0;          // when the outstanding accounting request was made
    TerminateCause terminateCause = TerminateCause::None;
    bool endsBySessionTimeout = false;     // endTime was set by a Session-Timeout (an Accept's or a CoA's)
    SessionUsage usage;

    AttributeList authAttributes;
    AttributeList acctStartAttributes;
    AttributeList acctStopAttributes;

    std::uint32_t Duration() const { return static_cast<std::uint32_t>(endTime - startTime); }
};
