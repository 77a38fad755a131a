// The RADIUS engine: its UDP sockets (one, or as many as "Sockets" asks for), the sessions
// with their NAS ports and request identifiers, the timing of requests, the handling of
// replies, result lines and counters. Moved only by calls on one thread: Tick() every 100 ms,
// OnReadable() when a socket has data, AddSession() from the session sources.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <span>
#include <string>
#include <vector>

#include "net/channel_set.h"
#include "net/socket_address.h"
#include "net/tls_settings.h"
#include "radius/packet_builder.h"
#include "radius/result_lines.h"
#include "radius/session.h"
#include "radius/session_life.h"
#include "radius/session_starter.h"
#include "radius/session_table.h"
#include "radius/statistics.h"

class Clock;
struct CoaRequest;
class Dictionary;
class DictionarySet;
class RandomSource;

// Receives each result line and the counter report's lines (at most 511 characters each).
using ResultCallback = std::function<void(const char* line)>;
// Asked on Access-Challenge with the user name, the Reply-Message text and the State value
// (each may be null). True when the challenge was taken up (a new session carries the answer).
// It may run a nested event loop that calls back into the engine.
// The State goes over as its octets, whatever they hold: servers use binary State values,
// and a copy cut at a zero octet would make the answer fail. Null when the reply has none.
using ChallengeCallback =
    std::function<bool(const char* userName, const char* replyMessage, const std::string* state)>;

// How the engine reaches its server, given before Init.
struct TransportSettings {
    static constexpr std::size_t kMaxSockets = 1024;  // 261,120 requests in flight
    // Source sockets, each with its own 255 identifiers: requests in flight at once are at most
    // 255 times this.
    std::size_t sockets = 1;
    // Where the channels bind ("SourceAddress"); family None: the wildcard of the server's
    // family. Its family must be the server's.
    SocketAddress source;
    // RADIUS over TLS ("Transport" tls): each channel is one connection to the server, carrying
    // authentication and accounting alike. Its server is the engine's, on the server port
    // (kRadiusTlsPort when none is given).
    std::optional<TlsSettings> tls;
};

class RadiusEngine : public SessionStarter {
public:
    // RFC 6614 section 2.1: "The default destination port number for RADIUS over TLS is TCP/2083."
    static constexpr std::uint16_t kRadiusTlsPort = 2083;
    // RFC 6614 section 2.3: "The shared secret to compute the (obsolete) MD5 integrity checks
    // and attribute encryption MUST be "radsec"".
    static constexpr const char* kRadiusTlsSecret = "radsec";
    static constexpr std::int32_t kMaxNasPorts = 32766;  // ports are positive 16-bit numbers
    // With large NAS ports: NAS-Port is a 32-bit attribute, NumPorts a signed 32-bit number.
    static constexpr std::int32_t kMaxLargeNasPorts = 2147483647;

    // The real clock, random source and sockets.
    RadiusEngine();
    // Injected seams (tests, benchmarks). Null arguments take the real ones.
    RadiusEngine(Clock* clock, RandomSource* random, std::unique_ptr<SocketFactory> sockets);
    // The one socket given; the engine can have no second one.
    RadiusEngine(Clock* clock, RandomSource* random, std::unique_ptr<DatagramSocket> socket);
    ~RadiusEngine() override;
    RadiusEngine(const RadiusEngine&) = delete;
    RadiusEngine& operator=(const RadiusEngine&) = delete;

    // Before Init: the sockets to open (at most kMaxSockets; more are limited, with a line at
    // level 1).
    void SetTransport(const TransportSettings& transport) { transport_ = transport; }
    // Over TLS ("Transport" tls): a channel may hold data it read ahead, which its descriptor
    // does not show.
    bool OverTls() const { return transport_.tls.has_value(); }
    // Told when a channel's descriptor changes (a TLS connection made anew): (fd, -1) while fd
    // is still open, before it closes, and (-1, fd) for the new one, so the watcher follows.
    void SetDescriptorChanged(DatagramSocket::DescriptorChanged changed) {
        channels_.SetDescriptorChanged(std::move(changed));
    }
    // Before Init: NumPorts may go beyond kMaxNasPorts, up to kMaxLargeNasPorts.
    void SetLargeNasPorts(bool on) { largeNasPorts_ = on; }
    // Before the first session: NAS identity, Session-Timeout, Interim-Updates, counters.
    void SetSessionLife(const SessionLifeSettings& settings);
    const SessionLifeSettings& SessionLife() const { return life_; }
    // On, a new session that finds every identifier in use is made all the same and its
    // Access-Request waits for one (Tick sends it when one is free) instead of being lost; how
    // long it waited goes into the statistics.
    void SetWaitForId(bool on) { waitForId_ = on; }
    // On, a reply whose Response Authenticator does not answer its request is discarded and
    // the request stays outstanding; off, it is logged and handled all the same, as always.
    void SetDiscardUnauthenticated(bool on) { discardUnauthenticated_ = on; }
    // On ("Pacing"), a session ends, and its Interim-Updates fall due, at the millisecond of its
    // start within their second instead of when the second begins; before the first session.
    void SetMillisecondEnds(bool on) { millisecondEnds_ = on; }

    // Keeps the settings, loads the dictionary (dictionaryDir null: none), fills the NAS port
    // pool, opens the sockets and finds the server port (0: the "radius"/"udp" service).
    // False with the reason in LastError().
    bool Init(const char* secret, std::uint16_t serverPort, std::uint32_t serverAddress, std::int32_t nasPortCount,
              bool resendAuth, std::uint32_t authTimeout, bool resendAcct, std::uint32_t acctTimeout, bool authOnly,
              const char* dictionaryDir, const char* dictionaryName);
    // The same with a server of either family (its port is not used): the channels open in its
    // family.
    bool Init(const char* secret, std::uint16_t serverPort, const SocketAddress& server, std::int32_t nasPortCount,
              bool resendAuth, std::uint32_t authTimeout, bool resendAcct, std::uint32_t acctTimeout, bool authOnly,
              const char* dictionaryDir, const char* dictionaryName);

    void SetServerAddress(std::uint32_t address);
    // A server of either family. False, and the server unchanged, when the open channels are of
    // another family (they cannot reach it); the caller keeps it for the next start.
    bool SetServerAddress(const SocketAddress& address);
    void SetSecret(const char* secret);
    // Message-Authenticator (RFC 3579 section 3.2): on, every Access-Request carries one as its
    // first attribute. required: 0 nothing is required of replies; 1 a reply to an
    // Access-Request without a right one is logged and handled all the same; 2 it is
    // discarded, so the request goes on to its retransmission or drop. A wrong one is always
    // logged. Accounting is not affected.
    void SetMessageAuthenticator(bool on) { messageAuthenticator_ = on; }
    void SetRequireMessageAuthenticator(int required);
    bool MessageAuthenticator() const { return messageAuthenticator_; }
    int RequireMessageAuthenticator() const { return requireMessageAuthenticator_; }
    // On, the packet trace shows numbers by the names the dictionary's VALUE lines give them.
    void SetTraceValueNames(bool on) { traceValueNames_ = on; }

    // SessionStarter: takes a port and an identifier, records the session and sends its
    // Access-Request. A failed first transmission returns false but keeps the session.
    bool AddSession(const char* userName, const char* password, std::uint32_t duration,
                    const AttributeList& authAttributes, const AttributeList& acctStartAttributes,
                    const AttributeList& acctStopAttributes) override;
    const char* LastError() const override { return lastError_.c_str(); }

    // Every 100 ms (or, paced, when MillisecondsUntilDue says): accounting stops that are due,
    // retransmissions, waiting requests, drops.
    void Tick();
    // Tick's work when only sessions waiting for an identifier have any (OnlyWaitingAreDue):
    // the first of them, in the order they came, take the identifiers free, without a walk
    // over the requests in flight.
    void TickWaiting();
    // Some session waits for an identifier while one is free, and no retransmission, drop,
    // stop or Interim-Update is due yet (over UDP: a TLS channel's tick has more to do).
    bool OnlyWaitingAreDue() const;
    // How long until Tick has something to do: the earliest accounting stop, retransmission or
    // drop, or 0 when a session waiting for an identifier could now have one. None when
    // nothing is pending. Never late; it may be early after a reply came (Tick then finds
    // nothing to do and the next answer is exact again).
    std::optional<std::uint32_t> MillisecondsUntilDue() const;
    // At shutdown: an Accounting-Request Stop for every session past authentication
    // (Acct-Terminate-Cause NAS-Request).
    void StopAllSessions();
    // The datagrams waiting on the socket with that descriptor (one of Descriptors()), at most
    // kMaxRepliesPerWakeUp of them, each handled by ProcessReply. False when a receive failed
    // (reading stops there), a datagram was empty, a reply was not handled, or the descriptor
    // is none of the engine's.
    bool OnReadable(int fd);
    static constexpr std::size_t kMaxRepliesPerWakeUp = 64;
    // One datagram (receivedLength octets) received on the channel: matched to the session
    // holding its identifier there.
    bool ProcessReply(const std::uint8_t* reply, std::size_t receivedLength, std::size_t channel = 0);
    // One datagram received on the CoA port (coa_listener.cpp): a Disconnect-Request or
    // CoA-Request from the server or a listed client is answered; anything else is logged and
    // dropped. False when it was not answered.
    bool ProcessCoaRequest(const std::uint8_t* request, std::size_t receivedLength, const SocketAddress& sender);
    // The CoA listener's descriptor, -1 without one.
    int CoaFd() const { return coaSocket_ ? coaSocket_->Fd() : -1; }

    void SetResultCallback(ResultCallback callback) { resultCallback_ = std::move(callback); }
    void SetChallengeCallback(ChallengeCallback callback) { challengeCallback_ = std::move(callback); }
    void SetIncomingNotify(bool on) { incomingNotify_ = on; }
    bool IncomingNotify() const { return incomingNotify_; }

    std::uint32_t LastSessionId() const { return lastSessionId_; }
    void SetLastSessionId(std::uint32_t id) { lastSessionId_ = id; }

    // Counters and report.
    void ResetCounters();
    // The simulation file is exhausted: the report follows when no session is left (at once
    // when there is none now).
    void SetSimulationDone();
    bool SimulationDone() const { return simulationDone_; }
    const RequestCounters& Counters() const { return counters_; }
    std::time_t CountersStart() const { return countersStart_; }
    // Requests, retransmissions, drops, reply latencies and Access outcomes since the counters
    // were last reset.
    const RequestStatistics& Statistics() const { return statistics_; }
    // The counter report now, whether or not sessions are left (a run cut short).
    void ReportCounters();

    // Read access for the shell, tests and benchmarks.
    // The descriptor of the first socket, and those of every socket, to watch for replies.
    int SocketFd() const { return channels_.Fd(0); }
    std::vector<int> Descriptors() const;
    std::size_t ChannelCount() const { return sessions_.ChannelCount(); }
    std::uint16_t ServerPort() const { return serverPort_; }
    // The server's IPv4 address in host byte order; 0 for an IPv6 server.
    std::uint32_t ServerAddress() const { return server_.Ipv4Address(); }
    // The server's address (port 0).
    const SocketAddress& Server() const { return server_; }
    // Where the channels bind (port 0): the source address, or the wildcard of the server's
    // family. Whatever else talks with the server (a CoA listener) binds there too.
    SocketAddress BindAddress() const;
    const std::string& Secret() const { return secret_; }
    // The Secret option as given. The CoA listener and the Status-Server watch talk UDP with
    // the server whatever the transport, so they sign with it; only requests over TLS use "radsec".
    const std::string& UdpSecret() const { return udpSecret_; }
    const Dictionary* GetDictionary() const { return dictionary_; }
    std::size_t SessionCount() const { return sessions_.Count(); }
    // The live sessions (iterable in creation order) with their pools and indexes.
    const SessionTable& Sessions() const { return sessions_; }
    const NasPortPool& NasPorts() const { return sessions_.NasPorts(); }
    const RequestIdPool& RequestIds(std::size_t channel = 0) const { return sessions_.RequestIds(channel); }
    // The session that holds the identifier on the channel, or null.
    const Session* SessionByRequestId(std::uint16_t id, std::size_t channel = 0) const {
        return sessions_.FindByRequestId(id, channel);
    }

private:
    enum Outcome { kHandled = 0, kNotHandled = 1, kFinished = 2 };

    // Gives the session a fresh identifier (releasing any it holds); false, with lastError and
    // the log line, when none is free.
    bool AssignRequestId(Session& session);
    // Takes the session out of the engine; the counter report may follow.
    void RemoveSession(Session& session);

    // Requests.
    bool SendAccessRequest(Session& session, bool isRetry);
    bool SendAccountingRequest(Session& session, bool isRetry);
    bool SendPacket(std::span<const std::uint8_t> packet, Session& session);
    // On a stream channel a retransmission is timed but not sent: true then.
    bool HoldRetransmission(Session& session);
    void StartAccountingStop(Session& session, TerminateCause cause);
    // Inline: Tick runs it for every session it visits.
    inline void TickSession(Session& session, std::time_t now);
    // TickSession for each session of the walk, noting the time-outs of those left outstanding.
    void TickEach(SessionTable::Walk walk);
    // The session's outstanding request goes into the earliest retransmission or drop time.
    void NoteRetryDeadline(const Session& session);
    bool TimeOutsMayBeDue() const;

    // Replies.
    Outcome HandleAccessReply(std::span<const std::uint8_t> reply, Session& session, bool accepted);
    Outcome HandleAccountingReply(std::span<const std::uint8_t> reply, Session& session);
    Outcome HandleAccessChallenge(std::span<const std::uint8_t> reply, Session& session);

    // Session life (session_life.cpp).
    // What the session's requests carry beyond the base packets.
    RequestAdditions AdditionsFor(const Session& session) const;
    // A new session: its interim interval and usage rates (taken out of its accounting lists).
    void PrepareSessionLife(Session& session) const;
    // Session-Timeout and Acct-Interim-Interval of an Access-Accept, as the settings honour them.
    void ApplyAcceptTimers(std::span<const std::uint8_t> reply, Session& session);
    // The first transmission of an accounting request: its time and the usage up to it.
    void StampAccountingRequest(Session& session);
    // The session is Active: its next Interim-Update, if any, and its due time.
    void ScheduleInterim(Session& session);
    void StartInterim(Session& session);
    // The time Tick next has something to do for an Active session.
    std::time_t NextDueTime(const Session& session) const;
    // The calendar millisecond Tick and the session's times go by: the clock's with
    // millisecond ends, otherwise the last of the current second (a whole-second due time has
    // come once its second has begun).
    std::int64_t DueClockMilliseconds() const;
    // The second on the session's own calendar, whose seconds begin dueOffsetMs into the
    // clock's: its end and Interim-Updates are due once this reaches them.
    static std::time_t SessionSecond(const Session& session, std::int64_t nowMs) {
        return static_cast<std::time_t>((nowMs - session.dueOffsetMs) / 1000);
    }
    std::time_t SessionNow(const Session& session) const { return SessionSecond(session, DueClockMilliseconds()); }

    // Results.
    void ReportResult(ResultKind kind, const Session* session, std::span<const std::uint8_t> reply = {});
    void CheckSimulationDone();

    // Message-Authenticator (message_authenticator_checks.cpp).
    // False when the reply to the session's Access-Request is to be discarded unhandled.
    bool AcceptReplyMessageAuthenticator(std::span<const std::uint8_t> reply, const Session& session);
    // An Access-Request went unanswered: once per engine, the hint that the server may want one.
    void HintMessageAuthenticator();

    // Init's steps.
    void FillNasPorts(std::int32_t nasPortCount);
    bool OpenChannels();
    bool OpenCoaListener();

    // Dynamic authorization (coa_listener.cpp).
    bool OnCoaReadable();
    bool CoaSenderAllowed(const SocketAddress& sender) const;
    // The live sessions past their Access-Accept and before their Stop that the request names.
    std::vector<Session*> SessionsNamedBy(const CoaRequest& request);
    void ApplyCoa(const CoaRequest& request, Session& session);
    void ReportCoa(const std::string& line);
    // Where Access-Requests and Accounting-Requests go, from the server's address and port.
    void SetDestinations();

    void SetError(const char* format, ...) __attribute__((format(printf, 2, 3)));

    Clock& clock_;
    RandomSource& random_;
    ChannelSet channels_;
    TransportSettings transport_;
    bool largeNasPorts_ = false;
    SessionLifeSettings life_;
    bool waitForId_ = false;
    bool discardUnauthenticated_ = false;
    bool millisecondEnds_ = false;
    std::unique_ptr<DictionarySet> dictionarySet_;
    const Dictionary* dictionary_ = nullptr;

    std::string secret_;
    std::string udpSecret_;
    std::uint16_t serverPort_ = 0;
    SocketAddress server_ = SocketAddress::Ipv4(0, 0);
    SocketAddress authDestination_;
    SocketAddress acctDestination_;
    bool resendAuth_ = false;
    std::uint32_t authTimeout_ = 0;
    bool resendAcct_ = false;
    std::uint32_t acctTimeout_ = 0;
    bool authOnly_ = false;
    bool messageAuthenticator_ = false;
    int requireMessageAuthenticator_ = 0;
    bool messageAuthenticatorHinted_ = false;
    bool traceValueNames_ = false;

    // The live sessions, each due at its end time until its accounting stop begins.
    SessionTable sessions_;
    std::uint32_t lastSessionId_ = 0;

    std::string lastError_;
    int lastSendError_ = 0;
    ResultCallback resultCallback_;
    ChallengeCallback challengeCallback_;
    bool incomingNotify_ = true;
    bool simulationDone_ = false;
    std::time_t countersStart_ = 0;
    RequestCounters counters_;
    RequestStatistics statistics_;

    // The millisecond tick at which the earliest outstanding request times out, if any.
    std::optional<std::uint32_t> retryDeadline_;

    std::array<std::uint8_t, kMaxPacketLength> requestBuffer_{};
    // The datagrams one OnReadable receives, made on first use; one set for each OnReadable
    // running at once (a challenge's nested event loop reads more while the outer one's are
    // still being handled).
    struct ReceiveBatch {
        ReceiveBatch();
        std::array<std::array<std::uint8_t, kMaxPacketLength>, kMaxRepliesPerWakeUp> buffers{};
        std::array<DatagramSocket::Received, kMaxRepliesPerWakeUp> datagrams{};
    };
    std::vector<std::unique_ptr<ReceiveBatch>> receiveBatches_;
    std::unique_ptr<DatagramSocket> coaSocket_;
    std::size_t readsRunning_ = 0;
    // While a received datagram is handled: when it arrived, on the low 32 bits of the
    // monotonic microsecond clock (its kernel receive time, else when it was read).
    std::optional<std::uint32_t> replyReceivedMicroseconds_;
};
