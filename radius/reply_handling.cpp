// Replies from the server: find the session by identifier, verify, and move it on.
#include <array>
#include <cerrno>
#include <optional>
#include <vector>

#include "infra/clock.h"
#include "infra/log.h"
#include "protocol/packet_attribute.h"
#include "protocol/packet_log.h"
#include "radius/radius_engine.h"

namespace {

// The latency of the answer to the session's outstanding request and, for an Access reply
// to an Access-Request, its outcome.
void CountReply(RequestStatistics& statistics, SessionState state, std::uint8_t replyCode,
                std::uint32_t latencyMicroseconds) {
    const RequestKind kind = RequestKindOf(state);
    statistics.CountReplyMicroseconds(kind, latencyMicroseconds);
    if (kind != RequestKind::Access) return;
    switch (replyCode) {
        case code::kAccessAccept: statistics.CountOutcome(AccessOutcome::Accept); break;
        case code::kAccessReject: statistics.CountOutcome(AccessOutcome::Reject); break;
        case code::kAccessChallenge: statistics.CountOutcome(AccessOutcome::Challenge); break;
        default: break;
    }
}

}  // namespace

RadiusEngine::ReceiveBatch::ReceiveBatch() {
    for (std::size_t i = 0; i < kMaxRepliesPerWakeUp; ++i) datagrams[i].buffer = buffers[i];
}

bool RadiusEngine::OnReadable(int fd) {
    const std::optional<std::size_t> channel = channels_.ChannelOf(fd);
    if (!channel && fd >= 0 && fd == CoaFd()) return OnCoaReadable();
    if (!channel) {
        Log(1, "Read event on socket %d, which is not the engine's", fd);
        return false;
    }
    // Replies that arrive together are read in one go: a wake-up per datagram costs more than
    // the datagram's handling. The bound lets the timer in between during a flood. A challenge
    // handler may read more (through a nested event loop) while this batch is being handled:
    // that read gets a batch of its own.
    if (receiveBatches_.size() == readsRunning_) receiveBatches_.push_back(std::make_unique<ReceiveBatch>());
    ReceiveBatch& batch = *receiveBatches_[readsRunning_];
    ++readsRunning_;
    int error = 0;
    const std::size_t received = channels_.Socket(*channel).ReceiveMany(batch.datagrams, error);
    // The batch's replies are timed to when each arrived, not to when its turn came in the
    // batch: the handling of those before it (a Start sent for each Accept) is the process's.
    const auto readAt = static_cast<std::uint32_t>(clock_.MonotonicMicroseconds());
    bool allHandled = true;
    for (std::size_t i = 0; i < received; ++i) {
        const DatagramSocket::Received& datagram = batch.datagrams[i];
        if (datagram.length == 0) {
            Log(1, "recvfrom error (%ld) in socket %d", 0L, fd);
            allHandled = false;
            continue;
        }
        replyReceivedMicroseconds_ = readAt - datagram.waitedMicroseconds;
        if (!ProcessReply(datagram.buffer.data(), datagram.length, *channel)) allHandled = false;
        replyReceivedMicroseconds_.reset();
    }
    --readsRunning_;
    if (received == 0 && error != EINTR && error != EAGAIN && error != EWOULDBLOCK) {
        // Left to the next notification, which comes at once while the socket is readable.
        Log(1, "recvfrom error (%ld) in socket %d", -1L, fd);
        return false;
    }
    return allHandled;
}

bool RadiusEngine::ProcessReply(const std::uint8_t* data, std::size_t receivedLength, std::size_t channel) {
    const std::span<const std::uint8_t> reply(data, data ? receivedLength : 0);
    // RFC 2865 section 3: a packet shorter than its Length field is discarded; so is one
    // too short to be a RADIUS packet at all. The session keeps waiting for a proper reply.
    switch (CheckReplyFraming(reply)) {
        case ReplyFraming::Ok:
            break;
        case ReplyFraming::ShorterThanHeader:
            SetError("Malformed reply: %zu bytes received", reply.size());
            Log(1, "%s", lastError_.c_str());
            return false;
        case ReplyFraming::LengthBelowHeader:
        case ReplyFraming::LengthBeyondReceived:
            SetError("Malformed reply: Length=%d, %zu bytes received", (reply[2] << 8) | reply[3], reply.size());
            Log(1, "%s", lastError_.c_str());
            return false;
    }

    // The session stays in memory through callbacks that re-enter the engine and remove it.
    SessionTable::Guard guard(sessions_);
    const std::uint8_t id = reply[1];
    const std::uint8_t replyCode = reply[0];
    Session* session = sessions_.FindByRequestId(id, channel);
    if (session == nullptr) {
        SetError("Unrecognized request: %d", id);
        Log(1, "%s", lastError_.c_str());
        LogPacket(reply, dictionary_, traceValueNames_);
        return false;
    }

    const auto duration = static_cast<std::int32_t>(clock_.TickCount() - session->lastSendTime);
    Log(3, "Recv(%d). Code=%d, len=%d, Duration=%d", id, replyCode, static_cast<int>(reply.size()), duration);
    LogPacket(reply, dictionary_, traceValueNames_);
    // Before anything is handled: a discarded reply leaves the request outstanding.
    if (!AcceptReplyMessageAuthenticator(reply, *session)) return false;
    if (!VerifyResponse(reply, session->lastRequestAuthenticator, secret_)) {
        Log(1, "Response not authenticated.");
        // RFC 2865 section 4.2: "Invalid packets are silently discarded." Under load this is a
        // late reply to an abandoned request whose identifier a newer request has taken.
        if (discardUnauthenticated_) {
            Log(1, "Reply %d discarded: %s's request stays outstanding", id, session->userName.c_str());
            return false;
        }
    }
    // From here on a duplicate of this reply is an unrecognised request.
    sessions_.ReleaseRequestId(*session);

    // The microsecond clock's low 32 bits wrap: the difference is taken unsigned and read
    // signed. The time the reply lay in the socket before it was read is the process's, not
    // the server's; a receive time before the send (clocks apart by a hair) counts as 0.
    const std::uint32_t receivedAt =
        replyReceivedMicroseconds_.value_or(static_cast<std::uint32_t>(clock_.MonotonicMicroseconds()));
    const auto sinceSent = static_cast<std::int32_t>(receivedAt - session->lastSendMicroseconds);
    const auto latency = static_cast<std::uint32_t>(std::max<std::int32_t>(sinceSent, 0));
    CountReply(statistics_, session->state, replyCode, latency);

    Outcome outcome;
    switch (replyCode) {
        case code::kAccessAccept: outcome = HandleAccessReply(reply, *session, true); break;
        case code::kAccessReject: outcome = HandleAccessReply(reply, *session, false); break;
        case code::kAccountingResponse: outcome = HandleAccountingReply(reply, *session); break;
        case code::kAccessChallenge: outcome = HandleAccessChallenge(reply, *session); break;
        default:
            // The session keeps no identifier, so the next Tick sends its request again.
            SetError("Unrecognized request code: %d", replyCode);
            Log(1, "%s", lastError_.c_str());
            return false;
    }
    if (outcome == kNotHandled) return false;
    if (outcome == kFinished) RemoveSession(*session);
    return true;
}

RadiusEngine::Outcome RadiusEngine::HandleAccessReply(std::span<const std::uint8_t> reply, Session& session,
                                                      bool accepted) {
    ++counters_.authResponses;
    if (session.state != SessionState::Authenticating) {
        SetError("Inconsistent Authentication reply: State=%d", static_cast<int>(session.state));
        Log(1, "%s", lastError_.c_str());
        return kNotHandled;
    }
    if (!accepted) {
        Log(2, "Rejecting logon for user: %s", session.userName.c_str());
        ReportResult(ResultKind::AuthReject, &session, reply);
        return kFinished;
    }
    ReadAcceptAttributes(reply, session);
    ApplyAcceptTimers(reply, session);
    ReportResult(ResultKind::AuthAccept, &session, reply);
    if (authOnly_) return kFinished;

    session.state = SessionState::AccountingStart;
    session.transmissions = 0;
    if (!AssignRequestId(session)) return kNotHandled;  // Tick sends the start once one is free
    return SendAccountingRequest(session, false) ? kHandled : kNotHandled;
}

RadiusEngine::Outcome RadiusEngine::HandleAccountingReply(std::span<const std::uint8_t> reply, Session& session) {
    if (session.state == SessionState::AccountingStart) {
        ++counters_.acctStartResponses;
    } else if (session.state == SessionState::AccountingStop) {
        ++counters_.acctStopResponses;
    } else if (session.state == SessionState::AccountingInterim) {
        ++counters_.acctInterimResponses;
    } else {
        SetError("Inconsistent Accounting reply: State=%d", static_cast<int>(session.state));
        Log(1, "%s", lastError_.c_str());
        return kNotHandled;
    }
    ReportResult(ResultKind::AccountingReply, &session, reply);
    if (session.state == SessionState::AccountingStart || session.state == SessionState::AccountingInterim) {
        session.state = SessionState::Active;
        ScheduleInterim(session);
        return kHandled;
    }
    return kFinished;
}

RadiusEngine::Outcome RadiusEngine::HandleAccessChallenge(std::span<const std::uint8_t> reply, Session& session) {
    if (!challengeCallback_) return HandleAccessReply(reply, session, false);

    const auto message = FindPacketAttribute(reply, attr::kReplyMessage);
    const auto state = FindPacketAttribute(reply, attr::kState);
    // The callback may run an event loop that handles further datagrams meanwhile; the reply
    // is kept aside for what follows it, whoever owns the buffer it came in.
    const std::vector<std::uint8_t> kept(reply.begin(), reply.end());
    ChallengeCallback callback = challengeCallback_;  // the callback may replace itself
    std::string stateOctets;
    if (state) stateOctets = state->data;
    bool taken = false;
    bool removalAsked = false;
    {
        // Tick, StopAllSessions and RemoveSession keep away from the session meanwhile.
        SessionTable::Hold hold(sessions_, session);
        taken = callback(session.userName.c_str(), message ? message->data.c_str() : nullptr,
                         state ? &stateOctets : nullptr);
        removalAsked = hold.RemovalAsked();
    }

    if (taken) {
        ++counters_.authResponses;
        return kFinished;
    }
    const Outcome outcome = HandleAccessReply(kept, session, false);
    return removalAsked ? kFinished : outcome;
}
