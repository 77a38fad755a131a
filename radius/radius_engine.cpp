#include "radius/radius_engine.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "infra/clock.h"
#include "infra/log.h"
#include "net/bind_address.h"
#include "protocol/dictionary.h"
#include "radius/random_source.h"

namespace {

constexpr std::size_t kMaxSecretLength = 128;
constexpr std::size_t kMaxPathLength = 259;

std::string Bounded(const char* text, std::size_t limit) {
    if (text == nullptr) return {};
    return std::string(text, strnlen(text, limit));
}

}  // namespace

RadiusEngine::RadiusEngine() : RadiusEngine(nullptr, nullptr, std::unique_ptr<SocketFactory>()) {}

RadiusEngine::RadiusEngine(Clock* clock, RandomSource* random, std::unique_ptr<SocketFactory> sockets)
    : clock_(clock ? *clock : SystemClock::Instance()),
      random_(random ? *random : CryptoRandomSource::Instance()),
      channels_(std::move(sockets)) {}

RadiusEngine::RadiusEngine(Clock* clock, RandomSource* random, std::unique_ptr<DatagramSocket> socket)
    : RadiusEngine(clock, random,
                   socket ? std::make_unique<GivenSockets>(std::move(socket)) : std::unique_ptr<SocketFactory>()) {}

RadiusEngine::~RadiusEngine() {
    // No packet is sent here: the shell sends the stops beforehand (StopAllSessions). The
    // sockets close with the channels.
    dictionary_ = nullptr;
    dictionarySet_.reset();
    // The pools and the sessions with their attribute lists go with the members.
}

bool RadiusEngine::Init(const char* secret, std::uint16_t serverPort, std::uint32_t serverAddress,
                        std::int32_t nasPortCount, bool resendAuth, std::uint32_t authTimeout, bool resendAcct,
                        std::uint32_t acctTimeout, bool authOnly, const char* dictionaryDir,
                        const char* dictionaryName) {
    return Init(secret, serverPort, SocketAddress::Ipv4(serverAddress, 0), nasPortCount, resendAuth, authTimeout,
                resendAcct, acctTimeout, authOnly, dictionaryDir, dictionaryName);
}

bool RadiusEngine::Init(const char* secret, std::uint16_t serverPort, const SocketAddress& server,
                        std::int32_t nasPortCount, bool resendAuth, std::uint32_t authTimeout, bool resendAcct,
                        std::uint32_t acctTimeout, bool authOnly, const char* dictionaryDir,
                        const char* dictionaryName) {
    udpSecret_ = Bounded(secret, kMaxSecretLength);
    secret_ = transport_.tls ? kRadiusTlsSecret : udpSecret_;
    serverPort_ = serverPort == 0 && transport_.tls ? kRadiusTlsPort : serverPort;
    server_ = server.Family() == AddressFamily::None ? SocketAddress::Ipv4(0, 0) : server.WithPort(0);
    resendAuth_ = resendAuth;
    authTimeout_ = authTimeout;
    resendAcct_ = resendAcct;
    acctTimeout_ = acctTimeout;
    authOnly_ = authOnly;
    // Until the counters are first reset, the report's period starts with the engine.
    countersStart_ = clock_.Now();

    if (dictionaryDir != nullptr) {
        std::string folder = Bounded(dictionaryDir, kMaxPathLength);
        if (!folder.empty() && folder.back() != '/') {
            if (folder.size() == kMaxPathLength) folder.pop_back();  // keep room for the separator
            folder += '/';
        }
        if (!dictionarySet_) dictionarySet_ = std::make_unique<DictionarySet>(folder.c_str());
        if (DictionarySet::Instance() == nullptr) {
            Log(0, "Failure initialized the DictionarySet");
        } else {
            dictionary_ = DictionarySet::Instance()->Load(dictionaryName);
        }
        Log(2, "Dictionary = %s", dictionaryName ? dictionaryName : "");
    } else {
        Log(2, "No Dictionary");
    }

    FillNasPorts(nasPortCount);
    if (!OpenChannels()) return false;
    if (life_.coaPort != 0 && !OpenCoaListener()) return false;

    if (serverPort_ == 0) {
        serverPort_ = LookupServicePort("radius", "udp");
        if (serverPort_ == 0) {
            SetError("No such service: radius/udp");
            return false;
        }
    }
    SetDestinations();
    Log(2, "Radius port = %d", static_cast<int>(serverPort_));  // above 32767 too, never negative
    return true;
}

void RadiusEngine::FillNasPorts(std::int32_t nasPortCount) {
    Log(2, "Number of NAS ports = %d", nasPortCount);
    const std::int32_t limit = largeNasPorts_ ? kMaxLargeNasPorts : kMaxNasPorts;
    if (nasPortCount > limit) {
        Log(1, "Number of NAS ports limited to %d", limit);
        nasPortCount = limit;
    }
    sessions_.FillNasPorts(nasPortCount);
}

bool RadiusEngine::OpenChannels() {
    std::size_t count = std::max<std::size_t>(transport_.sockets, 1);
    if (count > TransportSettings::kMaxSockets) {
        Log(1, "Number of sockets limited to %zu", TransportSettings::kMaxSockets);
        count = TransportSettings::kMaxSockets;
    }
    if (count > 1) Log(2, "Number of sockets = %zu", count);

    if (const std::string problem = SourceAddressProblem(transport_.source, server_); !problem.empty()) {
        SetError("%s", problem.c_str());
        return false;
    }
    std::optional<TlsSettings> tls = transport_.tls;
    if (tls) {
        tls->server = server_.WithPort(serverPort_);
        tls->clock = &clock_;
    }
    const ChannelSet::OpenResult opened = channels_.Open(count, BindAddress(), tls ? &*tls : nullptr);
    if (opened.failedAt != DatagramSocket::OpenStep::Done && !opened.problem.empty()) {
        SetError("%s", opened.problem.c_str());
        return false;
    }
    if (opened.failedAt != DatagramSocket::OpenStep::Done) {
        // Which of several, and why: a limit of open files is the likely reason.
        char which[96] = "";
        if (count > 1)
            std::snprintf(which, sizeof which, " (socket %zu of %zu: %s)", opened.channel + 1, count,
                          std::strerror(opened.error));
        if (opened.failedAt == DatagramSocket::OpenStep::Create) {
            SetError("socket() failed%s", which);
        } else {
            SetError("Bind error  = %d%s", opened.error, which);
        }
        return false;
    }
    sessions_.SetChannelCount(count);
    return true;
}

SocketAddress RadiusEngine::BindAddress() const { return BindAddressFor(transport_.source, server_); }

std::vector<int> RadiusEngine::Descriptors() const {
    std::vector<int> descriptors = channels_.Descriptors();
    if (CoaFd() >= 0) descriptors.push_back(CoaFd());
    return descriptors;
}

void RadiusEngine::SetDestinations() {
    authDestination_ = server_.WithPort(serverPort_);
    acctDestination_ = authDestination_.WithPort(static_cast<std::uint16_t>(serverPort_ + 1));
}

void RadiusEngine::SetServerAddress(std::uint32_t address) { SetServerAddress(SocketAddress::Ipv4(address, 0)); }

bool RadiusEngine::SetServerAddress(const SocketAddress& address) {
    // Before Init no channel is open, and Init opens them in the server's family.
    const bool open = channels_.Count() > 0;
    if (open && transport_.tls) {
        Log(1, "Radius host %s: the TLS connections stay with their server: kept for the next start",
            address.FormatAddress().c_str());
        return false;
    }
    if (address.Family() == AddressFamily::None || (open && address.Family() != BindAddress().Family())) {
        Log(1, "Radius host %s is not reachable from the open sockets: kept for the next start",
            address.FormatAddress().c_str());
        return false;
    }
    server_ = address.WithPort(0);
    SetDestinations();
    if (server_.Family() == AddressFamily::Ipv4)
        Log(2, "Radius host = %x", server_.Ipv4Address());
    else
        Log(2, "Radius host = %s", server_.FormatAddress().c_str());
    return true;
}

void RadiusEngine::SetSecret(const char* secret) {
    udpSecret_ = Bounded(secret, kMaxSecretLength);
    if (!transport_.tls) secret_ = udpSecret_;
}

void RadiusEngine::SetError(const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    lastError_ = text;
}

// ---- Sessions and pools -------------------------------------------------------------------

bool RadiusEngine::AssignRequestId(Session& session) {
    if (sessions_.AssignRequestId(session)) return true;
    SetError("Out of free Reuquest Ids");
    Log(1, "%s", lastError_.c_str());
    return false;
}

bool RadiusEngine::AddSession(const char* userName, const char* password, std::uint32_t duration,
                              const AttributeList& authAttributes, const AttributeList& acctStartAttributes,
                              const AttributeList& acctStopAttributes) {
    // Everything is prepared aside and measured before anything is taken from the engine,
    // so a session that cannot be made changes nothing.
    Session prepared;
    if (millisecondEnds_) {
        const std::int64_t nowMs = clock_.NowMilliseconds();
        prepared.startTime = static_cast<std::time_t>(nowMs / 1000);
        prepared.dueOffsetMs = static_cast<std::uint16_t>(nowMs % 1000);
    } else {
        prepared.startTime = clock_.Now();
    }
    prepared.endTime = prepared.startTime + duration;
    prepared.sessionNumber = lastSessionId_ + 1;
    prepared.userName = Bounded(userName, kMaxUserNameLength);
    prepared.password = Bounded(password, kMaxPasswordLength);
    prepared.authAttributes = authAttributes;
    prepared.acctStartAttributes = acctStartAttributes;
    prepared.acctStopAttributes = acctStopAttributes;
    PrepareSessionLife(prepared);
    if (!SessionRequestsFit(prepared, dictionary_, messageAuthenticator_, AdditionsFor(prepared))) {
        SetError("Request too large: the attributes of %s do not fit in a %zu-byte packet",
                 prepared.userName.c_str(), kMaxPacketLength);
        Log(0, "%s", lastError_.c_str());
        return false;
    }

    const SessionTable::Added added = sessions_.Add(std::move(prepared), waitForId_);
    if (added.session == nullptr) {
        // The pool's line, then the session's.
        const bool noPort = added.shortage == SessionTable::Shortage::NasPort;
        SetError(noPort ? "Out of free Nas ports" : "Out of free Reuquest Ids");
        Log(1, "%s", lastError_.c_str());
        SetError(noPort ? "No available NAS Ports" : "No available Request Id");
        Log(0, "%s", lastError_.c_str());
        return false;
    }

    Session& session = *added.session;
    lastSessionId_ = session.sessionNumber;
    sessions_.SetDue(session, session.endTime);
    if (session.requestId == 0) {
        // Every identifier is in use: the Access-Request leaves from Tick once one is free.
        Log(3, "Waiting for a free Request Id: %s", session.userName.c_str());
        session.waitingForFirstId = true;
        session.lastSendTime = clock_.TickCount();
        return true;
    }

    if (!SendAccessRequest(session, false)) {
        SetError("Failure sending the Access-Request: %s", std::strerror(lastSendError_));
        return false;
    }
    return true;
}

void RadiusEngine::RemoveSession(Session& session) {
    // A session whose challenge is open is finished by its reply handling when the callback
    // returns.
    if (sessions_.Remove(session)) CheckSimulationDone();
}
