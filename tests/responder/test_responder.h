// A scripted RADIUS server on 127.0.0.1 for the tests: authentication on one UDP port,
// accounting on the next. It answers each user as its Rule says, records every request it
// receives (with the User-Password decoded and the Accounting-Request authenticator checked)
// and every datagram it sends. It runs on its own thread between Start and Stop; tests wait
// for what they expect with WaitUntil and a bounded timeout.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/responder/radius_wire.h"
#include "tests/responder/responder_rule.h"

namespace responder {

using SteadyTime = std::chrono::steady_clock::time_point;

struct ReceivedRequest {
    SteadyTime time;
    bool onAccountingPort = false;
    std::uint16_t fromPort = 0;
    Bytes datagram;
    // Decoded view; when wellFormed is false, problem says why and the rest is empty.
    bool wellFormed = false;
    std::string problem;
    std::uint8_t code = 0;
    std::uint8_t identifier = 0;
    Authenticator authenticator{};
    std::vector<WireAttribute> attributes;
    std::string userName;
    // The User-Password decoded with the responder's secret, padding removed.
    std::optional<std::string> password;
    // Accounting-Request: whether the Request Authenticator is right (RFC 2866 section 3).
    std::optional<bool> accountingAuthenticatorValid;
    // Whether a Message-Authenticator (RFC 3579) is right; nullopt when there is none.
    std::optional<bool> messageAuthenticatorValid;
    // Acct-Status-Type, 0 when absent.
    std::uint32_t acctStatusType = 0;

    const WireAttribute* Find(std::uint8_t type) const;
    std::optional<std::uint32_t> Integer(std::uint8_t type) const;
    std::optional<std::string> Text(std::uint8_t type) const;
    int Count(std::uint8_t type) const;
};

struct SentReply {
    SteadyTime time;
    bool onAccountingPort = false;
    std::uint8_t code = 0;  // octet 0 of what was sent (0 for a datagram shorter than that)
    std::uint8_t identifier = 0;
    std::string userName;
    Bytes datagram;
};

struct Traffic {
    std::vector<ReceivedRequest> received;
    std::vector<SentReply> sent;
};

class TestResponder {
public:
    explicit TestResponder(std::string secret = "MeadowLantern");
    ~TestResponder();
    TestResponder(const TestResponder&) = delete;
    TestResponder& operator=(const TestResponder&) = delete;

    // Rules may be changed while running; they apply to requests received afterwards.
    void SetDefaultRule(Rule rule);
    void SetRule(const std::string& userName, Rule rule);
    // An Accounting-Request with a wrong authenticator is recorded and, unless this is turned
    // off, not answered (as RFC 2866 section 3 asks of a server).
    void SetDropBadAccounting(bool drop);

    // Binds 127.0.0.1:authPort and authPort+1; with 0 a free pair is found. Then starts the
    // thread. False, with the reason in LastError(), when the ports cannot be had.
    bool Start(std::uint16_t authPort = 0);
    // Ends the thread and closes the sockets; held replies are not sent. Safe to call twice.
    void Stop();

    std::uint16_t AuthPort() const { return authPort_; }
    std::uint16_t AcctPort() const { return static_cast<std::uint16_t>(authPort_ + 1); }
    const std::string& LastError() const { return lastError_; }

    Traffic Snapshot() const;
    std::vector<ReceivedRequest> Received() const { return Snapshot().received; }
    std::vector<SentReply> Sent() const { return Snapshot().sent; }
    // Requests of the code (and user, when given) received so far.
    std::size_t CountReceived(std::uint8_t code, const std::string& userName = {}) const;
    // Forgets what was received and sent (and the per-user transmission counts).
    void Clear();

    // Waits until the condition holds for the traffic so far, re-checking at every packet;
    // false when the timeout passes first.
    bool WaitUntil(const std::function<bool(const Traffic&)>& condition, std::chrono::milliseconds timeout) const;

    // What was received, by code and by user, as text lines (the CLI prints it at exit).
    std::string Summary() const;

private:
    struct HeldReply {
        SteadyTime due;
        bool byTime = true;
        std::uint64_t releaseAtRequest = 0;
        bool toAccountingPort = false;
        std::uint32_t address = 0;
        std::uint16_t port = 0;
        SentReply reply;
        int copies = 1;
    };

    bool BindPair(std::uint16_t authPort);
    void Run();
    void ReceiveFrom(int socket, bool accountingPort);
    void Answer(ReceivedRequest& request, std::uint32_t address, std::uint16_t port);
    std::optional<WirePacket> Decide(const ReceivedRequest& request, const Rule& rule) const;
    void SendHeldReplies();
    void Transmit(int socket, std::uint32_t address, std::uint16_t port, const SentReply& reply);
    std::chrono::milliseconds TimeToNextHeldReply() const;

    const std::string secret_;
    std::string lastError_;
    std::uint16_t authPort_ = 0;
    int authSocket_ = -1;
    int acctSocket_ = -1;
    int wakeFd_ = -1;
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Rule defaultRule_;
    std::map<std::string, Rule> rules_;
    bool dropBadAccounting_ = true;
    Traffic traffic_;
    std::map<std::string, int> transmissionsSeen_;
    std::uint64_t requestCount_ = 0;
    std::vector<HeldReply> held_;  // touched by the thread only
};

}  // namespace responder
