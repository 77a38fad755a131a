#include "radius/radius_engine.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "infra/clock.h"
#include "infra/log.h"
#include "protocol/dictionary.h"
#include "radius/random_source.h"
#include "radius/udp_socket.h"

namespace {

constexpr std::size_t kMaxSecretLength = 128;
constexpr std::size_t kMaxPathLength = 259;

std::string Bounded(const char* text, std::size_t limit) {
    if (text == nullptr) return {};
    return std::string(text, strnlen(text, limit));
}

}  // namespace

RadiusEngine::RadiusEngine() : RadiusEngine(nullptr, nullptr, nullptr) {}

RadiusEngine::RadiusEngine(Clock* clock, RandomSource* random, std::unique_ptr<DatagramSocket> socket)
    : clock_(clock ? *clock : SystemClock::Instance()),
      random_(random ? *random : CryptoRandomSource::Instance()),
      socket_(socket ? std::move(socket) : std::make_unique<UdpSocket>()) {}

RadiusEngine::~RadiusEngine() {
    // No packet is sent here: the shell sends the stops beforehand (StopAllSessions).
    socket_.reset();
    dictionary_ = nullptr;
    dictionarySet_.reset();
    // The pools and the sessions with their attribute lists go with the members.
}

bool RadiusEngine::Init(const char* secret, std::uint16_t serverPort, std::uint32_t serverAddress,
                        std::int32_t nasPortCount, bool resendAuth, std::uint32_t authTimeout, bool resendAcct,
                        std::uint32_t acctTimeout, bool authOnly, const char* dictionaryDir,
                        const char* dictionaryName) {
    secret_ = Bounded(secret, kMaxSecretLength);
    serverPort_ = serverPort;
    serverAddress_ = serverAddress;
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

    Log(2, "Number of NAS ports = %d", nasPortCount);
    if (nasPortCount > kMaxNasPorts) {
        Log(1, "Number of NAS ports limited to %d", kMaxNasPorts);
        nasPortCount = kMaxNasPorts;
    }
    sessions_.FillNasPorts(nasPortCount);

    const DatagramSocket::OpenResult opened = socket_->Open();
    if (opened.failedAt == DatagramSocket::OpenStep::Create) {
        SetError("socket() failed");
        return false;
    }
    if (opened.failedAt == DatagramSocket::OpenStep::Bind) {
        SetError("Bind error  = %d", opened.error);
        return false;
    }

    if (serverPort_ == 0) {
        serverPort_ = socket_->LookupServicePort("radius", "udp");
        if (serverPort_ == 0) {
            SetError("No such service: radius/udp");
            return false;
        }
    }
    Log(2, "Radius port = %d", static_cast<std::int16_t>(serverPort_));
    return true;
}

void RadiusEngine::SetServerAddress(std::uint32_t address) {
    serverAddress_ = address;
    Log(2, "Radius host = %x", address);
}

void RadiusEngine::SetSecret(const char* secret) { secret_ = Bounded(secret, kMaxSecretLength); }

int RadiusEngine::SocketFd() const { return socket_->Fd(); }

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
    prepared.startTime = clock_.Now();
    prepared.endTime = prepared.startTime + duration;
    prepared.sessionNumber = lastSessionId_ + 1;
    prepared.userName = Bounded(userName, kMaxUserNameLength);
    prepared.password = Bounded(password, kMaxPasswordLength);
    prepared.authAttributes = authAttributes;
    prepared.acctStartAttributes = acctStartAttributes;
    prepared.acctStopAttributes = acctStopAttributes;
    if (!SessionRequestsFit(prepared, dictionary_, messageAuthenticator_)) {
        SetError("Request too large: the attributes of %s do not fit in a %zu-byte packet",
                 prepared.userName.c_str(), kMaxPacketLength);
        Log(0, "%s", lastError_.c_str());
        return false;
    }

    const SessionTable::Added added = sessions_.Add(std::move(prepared));
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
