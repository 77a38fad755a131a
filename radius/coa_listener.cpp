// Dynamic authorization (RFC 5176): the server, or a client the options list, asks this NAS to
// end a session (Disconnect-Request) or to change it (CoA-Request); the NAS answers with an ACK
// or a NAK, and a disconnected session sends its Stop with Acct-Terminate-Cause Admin-Reset.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "infra/clock.h"
#include "infra/log.h"
#include "protocol/packet_log.h"
#include "radius/coa_request.h"
#include "radius/radius_engine.h"

namespace {

// The session's Acct-Session-Id as its accounting sends it: its list's own, or its number.
std::string AcctSessionIdOf(const Session& session) {
    if (const RadiusAttribute* own = session.acctStartAttributes.Find(attr::kAcctSessionId)) return own->data;
    return std::to_string(static_cast<std::int32_t>(session.sessionNumber));
}

bool Names(const CoaRequest& request, const Session& session) {
    return (!request.acctSessionId || *request.acctSessionId == AcctSessionIdOf(session)) &&
           (!request.userName || *request.userName == session.userName) &&
           (!request.nasPort || *request.nasPort == session.nasPort) &&
           (!request.framedIpAddress || *request.framedIpAddress == session.accept.framedIpAddress);
}

}  // namespace

bool RadiusEngine::OpenCoaListener() {
    coaSocket_ = channels_.MakeSocket();
    if (!coaSocket_) {
        SetError("socket() failed (CoA port %u)", life_.coaPort);
        return false;
    }
    const DatagramSocket::OpenResult opened = coaSocket_->Open(BindAddress().WithPort(life_.coaPort));
    if (opened.failedAt != DatagramSocket::OpenStep::Done) {
        SetError("Cannot listen on the CoA port %u: %s", life_.coaPort, std::strerror(opened.error));
        coaSocket_.reset();
        return false;
    }
    Log(2, "CoA port = %u", life_.coaPort);
    return true;
}

bool RadiusEngine::OnCoaReadable() {
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    bool allAnswered = true;
    // Bounded like the replies: the timer gets its turn during a flood.
    for (std::size_t i = 0; i < kMaxRepliesPerWakeUp; ++i) {
        SocketAddress sender;
        int error = 0;
        const long received = coaSocket_->ReceiveFrom(buffer, &sender, error);
        if (received < 0) {
            if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) break;
            Log(1, "recvfrom error (%d) on the CoA port", error);
            return false;
        }
        if (!ProcessCoaRequest(buffer.data(), static_cast<std::size_t>(received), sender)) allAnswered = false;
    }
    return allAnswered;
}

bool RadiusEngine::CoaSenderAllowed(const SocketAddress& sender) const {
    if (sender.WithPort(0) == server_) return true;
    if (sender.Family() != AddressFamily::Ipv4) return false;
    const std::uint32_t address = sender.Ipv4Address();
    return std::find(life_.coaClients.begin(), life_.coaClients.end(), address) != life_.coaClients.end();
}

std::vector<Session*> RadiusEngine::SessionsNamedBy(const CoaRequest& request) {
    std::vector<Session*> named;
    for (Session& session : sessions_.All()) {
        const bool between = session.state != SessionState::Authenticating &&
                             session.state != SessionState::AccountingStop;
        if (between && Names(request, session)) named.push_back(&session);
    }
    return named;
}

void RadiusEngine::ApplyCoa(const CoaRequest& request, Session& session) {
    if (request.code == code::kDisconnectRequest) {
        // The Stop reports the time the session had up to now, and comes now: on the second
        // the clock is in, whatever millisecond the session's times fell on.
        session.dueOffsetMs = 0;
        const std::time_t now = clock_.Now();
        session.endTime = std::max({now, session.startTime, static_cast<std::time_t>(session.reportTime)});
        if (session.state == SessionState::Active) {
            StartAccountingStop(session, TerminateCause::AdminReset);
        } else {
            // Its Start or Interim-Update is outstanding: the reply still finds the session and
            // the Stop follows it, so the server sees the session's accounting in order.
            session.terminateCause = TerminateCause::AdminReset;
            sessions_.SetDue(session, session.endTime);
        }
        return;
    }
    if (request.sessionTimeout) {
        session.endTime = SessionNow(session) + static_cast<std::time_t>(*request.sessionTimeout);
        session.endsBySessionTimeout = true;
    }
    if (request.interimInterval) {
        std::uint32_t interval = *request.interimInterval;
        if (life_.honourInterimInterval != 2 && interval != 0) interval = std::max(interval, kMinInterimInterval);
        session.interimInterval = interval;
        session.nextInterimTime = 0;
        if (session.state == SessionState::Active) ScheduleInterim(session);
    }
    sessions_.SetDue(session, session.state == SessionState::Active ? NextDueTime(session) : session.endTime);
}

void RadiusEngine::ReportCoa(const std::string& line) {
    if (resultCallback_) resultCallback_(line.substr(0, kMaxResultLineLength).c_str());
}

bool RadiusEngine::ProcessCoaRequest(const std::uint8_t* data, std::size_t receivedLength,
                                     const SocketAddress& sender) {
    const std::span<const std::uint8_t> datagram(data, data ? receivedLength : 0);
    const std::string from = sender.Format();
    Log(3, "CoA Recv from %s, len=%zu", from.c_str(), datagram.size());
    LogPacket(datagram.size() >= kHeaderLength ? datagram : std::span<const std::uint8_t>{}, dictionary_,
              traceValueNames_);
    if (!CoaSenderAllowed(sender)) {
        Log(1, "CoA request from %s ignored: neither the server nor one of CoaClients", from.c_str());
        return false;
    }
    CoaRequest request;
    switch (ReadCoaRequest(datagram, udpSecret_, request)) {
        case CoaReading::Ok: break;
        case CoaReading::NotARequest:
            Log(1, "Malformed CoA request from %s: %zu bytes", from.c_str(), datagram.size());
            return false;
        case CoaReading::NotAuthenticated:
            // RFC 5176 section 3.5: a request that does not authenticate is silently discarded.
            Log(1, "CoA request from %s not authenticated: discarded", from.c_str());
            return false;
    }

    SessionTable::Guard guard(sessions_);
    ErrorCause cause = request.problem;
    std::vector<Session*> named;
    if (cause == ErrorCause::None) {
        named = SessionsNamedBy(request);
        if (named.empty()) cause = ErrorCause::SessionContextNotFound;
    }
    // The answer first: the Stop of a disconnected session follows it.
    std::array<std::uint8_t, kMaxPacketLength> response{};
    const std::size_t length = BuildCoaResponse(response, datagram, cause, udpSecret_);
    const std::span<const std::uint8_t> answer(response.data(), length);
    if (length != 0) {
        Log(3, "CoA Send(%d) to %s. Code=%d, len=%zu", request.id, from.c_str(), response[0], length);
        LogPacket(answer, dictionary_, traceValueNames_);
        int error = 0;
        if (!coaSocket_ || !coaSocket_->SendTo(answer, sender, error)) Log(1, "sendto error = %d", error);
    }

    const char* name = CoaRequestName(request.code);
    if (cause != ErrorCause::None) {
        char line[160];
        std::snprintf(line, sizeof line, "%s from %s: NAK, Error-Cause=%u (%s)", name, from.c_str(),
                      static_cast<unsigned>(cause), ErrorCauseName(cause));
        ReportCoa(line);
        if (cause == ErrorCause::UnsupportedAttribute)
            Log(1, "%s from %s: attribute %u not supported", name, from.c_str(), request.unsupportedType);
        return length != 0;
    }
    for (Session* session : named) {
        ReportCoa(session->userName + ": " + name + " ACK");
        ApplyCoa(request, *session);
    }
    return length != 0;
}
