// Putting requests on the wire and moving them through time: retransmissions, requests
// waiting for an identifier, accounting stops that are due, drops, and the stops at shutdown.
#include <algorithm>
#include <cerrno>

#include "infra/clock.h"
#include "infra/log.h"
#include "protocol/packet_log.h"
#include "radius/radius_engine.h"
#include "radius/random_source.h"

namespace {

constexpr std::int32_t kMaxAuthTransmissions = 4;

void CountTransmission(RequestStatistics& statistics, RequestKind kind, bool isRetry) {
    if (isRetry) {
        statistics.CountRetransmission(kind);
    } else {
        statistics.CountRequest(kind);
    }
}

}  // namespace

bool RadiusEngine::HoldRetransmission(Session& session) {
    // A stream delivers what it was given, so its requests are not retransmitted: the channel
    // itself carries one over to a new connection when the old one dropped (RFC 6614 section 2.5).
    // The request written stays the one its reply answers; the time-outs go on as over UDP.
    if (!channels_.Socket(session.channel).Reliable()) return false;
    ++session.transmissions;
    session.lastSendTime = clock_.TickCount();
    return true;
}

bool RadiusEngine::SendAccessRequest(Session& session, bool isRetry) {
    if (isRetry && HoldRetransmission(session)) return true;
    if (!isRetry) ++counters_.authRequests;
    if (session.waitingForFirstId) {
        session.waitingForFirstId = false;
        statistics_.CountIdWait(clock_.TickCount() - session.lastSendTime);
    }
    CountTransmission(statistics_, RequestKind::Access, isRetry);
    // Every transmission, retransmissions included, gets a fresh Request Authenticator.
    Authenticator authenticator;
    random_.Fill(authenticator.data(), authenticator.size());
    const std::size_t length = BuildAccessRequest(requestBuffer_, session, authenticator, secret_, dictionary_,
                                                  messageAuthenticator_, &random_, AdditionsFor(session));
    if (length == 0) {
        // AddSession measured the request, so this cannot happen; the session is then
        // treated like one whose request went unanswered.
        Log(1, "Access-Request of %s does not fit in %zu bytes", session.userName.c_str(), kMaxPacketLength);
        ++session.transmissions;
        session.lastSendTime = clock_.TickCount();
        NoteRetryDeadline(session);
        lastSendError_ = EMSGSIZE;
        return false;
    }
    return SendPacket(std::span<const std::uint8_t>(requestBuffer_.data(), length), session);
}

bool RadiusEngine::SendAccountingRequest(Session& session, bool isRetry) {
    if (isRetry && HoldRetransmission(session)) return true;
    if (!isRetry) {
        if (session.state == SessionState::AccountingStart) {
            ++counters_.acctStartRequests;
        } else if (session.state == SessionState::AccountingInterim) {
            ++counters_.acctInterimRequests;
        } else {
            ++counters_.acctStopRequests;
        }
        // Retransmissions repeat the request's time and counters.
        StampAccountingRequest(session);
    }
    CountTransmission(statistics_, RequestKindOf(session.state), isRetry);
    const std::size_t length =
        BuildAccountingRequest(requestBuffer_, session, secret_, dictionary_, AdditionsFor(session));
    if (length == 0) {
        Log(1, "Accounting-Request of %s does not fit in %zu bytes", session.userName.c_str(), kMaxPacketLength);
        ++session.transmissions;
        session.lastSendTime = clock_.TickCount();
        NoteRetryDeadline(session);
        lastSendError_ = EMSGSIZE;
        return false;
    }
    return SendPacket(std::span<const std::uint8_t>(requestBuffer_.data(), length), session);
}

bool RadiusEngine::SendPacket(std::span<const std::uint8_t> packet, Session& session) {
    // Whether or not the datagram leaves, the request is timed like one that went unanswered.
    ++session.transmissions;
    const std::uint8_t packetCode = packet[0];
    const SocketAddress& destination = packetCode == code::kAccountingRequest ? acctDestination_ : authDestination_;
    std::copy_n(packet.begin() + kAuthenticatorOffset, kAuthenticatorLength, session.lastRequestAuthenticator.begin());
    session.lastSendTime = clock_.TickCount();
    session.lastSendMicroseconds = static_cast<std::uint32_t>(clock_.MonotonicMicroseconds());
    NoteRetryDeadline(session);

    Log(3, "Send(%d). Code=%d, len=%d", packet[1], packetCode, static_cast<int>(packet.size()));
    LogPacket(packet, dictionary_, traceValueNames_);

    // On the channel of the session's identifier: retransmissions leave where the first went.
    int error = 0;
    if (!channels_.Socket(session.channel).SendTo(packet, destination, error)) {
        lastSendError_ = error;
        Log(1, "sendto error = %d", error);
        return false;
    }
    return true;
}

void RadiusEngine::StartAccountingStop(Session& session, TerminateCause cause) {
    sessions_.ClearDue(session);  // stopping: its end time has done its work
    session.state = SessionState::AccountingStop;
    session.nextInterimTime = 0;
    session.terminateCause = cause;
    session.transmissions = 0;
    if (AssignRequestId(session)) SendAccountingRequest(session, false);
}

void RadiusEngine::Tick() {
    // Over TLS, connections reconnect and packets a stream read ahead are taken, as no read
    // event comes for them; UDP sockets have neither, so their ticks skip the walk over them.
    if (transport_.tls) {
        channels_.Service();
        for (const int fd : channels_.Buffered()) OnReadable(fd);
    }
    // Once the earliest time-out noted has come, the walk visits every request outstanding:
    // the earliest is found anew, the requests that leave meanwhile noted as they go. Before
    // then none can have timed out, and the walk leaves them out; the deadline stands while
    // any is outstanding (one answered meanwhile only makes it early, which is harmless).
    const bool timeOutsMayBeDue = TimeOutsMayBeDue();
    if (timeOutsMayBeDue || !sessions_.AnyOutstanding()) retryDeadline_.reset();
    // For every session the walk leaves out (Active and not yet due) TickSession would do
    // nothing; a session added meanwhile (by a callback) has just sent its request.
    TickEach(sessions_.DueAtMillisecond(DueClockMilliseconds(), timeOutsMayBeDue ? SessionTable::Outstanding::Include
                                                                                 : SessionTable::Outstanding::Skip));
}

void RadiusEngine::TickWaiting() { TickEach(sessions_.FirstWaiting()); }

void RadiusEngine::TickEach(SessionTable::Walk walk) {
    const std::int64_t nowMs = DueClockMilliseconds();
    for (Session& session : walk) {
        TickSession(session, SessionSecond(session, nowMs));
        if (session.requestId != 0) NoteRetryDeadline(session);
    }
}

void RadiusEngine::TickSession(Session& session, std::time_t now) {
    const SessionState state = session.state;
    // A session the server disconnected waits for the reply to its outstanding Start or
    // Interim-Update before its Stop; one whose time is up stops at once.
    const bool disconnected = session.terminateCause == TerminateCause::AdminReset;
    const bool awaitingReply = state == SessionState::AccountingStart || state == SessionState::AccountingInterim;
    if (now >= session.endTime && (state == SessionState::Active || (awaitingReply && !disconnected))) {
        const TerminateCause cause = disconnected                  ? TerminateCause::AdminReset
                                     : session.endsBySessionTimeout ? TerminateCause::SessionTimeout
                                                                    : TerminateCause::UserRequest;
        StartAccountingStop(session, cause);
        return;
    }
    if (state == SessionState::Active) {
        if (session.nextInterimTime != 0 && now >= session.nextInterimTime) StartInterim(session);
        return;
    }

    const bool authenticating = state == SessionState::Authenticating;
    const bool resend = authenticating ? resendAuth_ : resendAcct_;
    const std::uint64_t timeoutMs = std::uint64_t{authenticating ? authTimeout_ : acctTimeout_} * 1000u;
    const std::uint32_t waited = clock_.TickCount() - session.lastSendTime;
    const bool expired = waited > timeoutMs;

    const bool mayResend = !(authenticating && session.transmissions >= kMaxAuthTransmissions);
    if (((resend && expired) || session.requestId == 0) && mayResend) {
        const bool isRetry = session.requestId != 0;
        // Tried again on the next tick; a new session waiting for its first identifier waits
        // quietly (its shortage was told when it came).
        if (!isRetry && !(session.waitingForFirstId ? sessions_.AssignRequestId(session) : AssignRequestId(session)))
            return;
        if (authenticating) {
            SendAccessRequest(session, isRetry);
        } else {
            SendAccountingRequest(session, isRetry);
        }
        return;
    }

    if (!expired) return;
    statistics_.CountDrop(RequestKindOf(state));
    if (authenticating) {
        Log(1, "Dropping Session(%s) - No response", session.userName.c_str());
        HintMessageAuthenticator();
        ReportResult(ResultKind::AuthDropped, &session);
    } else {
        Log(1, "Dropping Accounting Request(%s) - No response", session.userName.c_str());
        ReportResult(ResultKind::AccountingDropped, &session);
    }
    if (state == SessionState::AccountingInterim) {
        // An unanswered Interim-Update ends nothing: the session goes on to its next one and its Stop.
        sessions_.ReleaseRequestId(session);
        session.state = SessionState::Active;
        ScheduleInterim(session);
        return;
    }
    RemoveSession(session);
}

void RadiusEngine::StopAllSessions() {
    const std::time_t now = clock_.Now();
    for (Session& session : sessions_.All()) {
        if (session.state == SessionState::Authenticating) continue;
        // With counters the Stop reports the time the session really had, never less than
        // its last report said.
        if (life_.acctCounters && now < session.endTime)
            session.endTime = std::max({now, session.startTime, static_cast<std::time_t>(session.reportTime)});
        const bool disconnected = session.terminateCause == TerminateCause::AdminReset;
        StartAccountingStop(session, disconnected ? TerminateCause::AdminReset : TerminateCause::NasRequest);
    }
}
