#include "tests/responder/test_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <sstream>

namespace responder {
namespace {

constexpr std::chrono::milliseconds kIdlePoll{100};
constexpr int kReceiveBufferBytes = 4 << 20;

int OpenBound(std::uint16_t port, std::uint16_t& boundPort) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    // A deep receive queue, as a server under load has, so a burst of requests from many source
    // ports is not lost before the thread comes round to it (beyond the system's maximum where
    // the tests run as root; the usual maximum otherwise).
    int size = kReceiveBufferBytes;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    boundPort = ntohs(address.sin_port);
    return fd;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

unsigned KindOf(const ReceivedRequest& request) {
    if (request.code == kAccessRequest) return kAccessPackets;
    if (request.acctStatusType == 1) return kAccountingStartPackets;
    if (request.acctStatusType == 2) return kAccountingStopPackets;
    return kOtherAccountingPackets;
}

const Fault* FindFault(const std::vector<Fault>& faults, FaultKind kind, unsigned packetKind) {
    for (const auto& fault : faults)
        if (fault.kind == kind && (fault.on & packetKind) != 0) return &fault;
    return nullptr;
}

void SetLength(Bytes& packet, std::size_t length) {
    packet[2] = static_cast<std::uint8_t>(length >> 8);
    packet[3] = static_cast<std::uint8_t>(length);
}

// The malformed datagrams of the Garbage fault, made from the reply that was due.
Bytes MakeGarbage(GarbageStyle style, const WirePacket& reply, const Authenticator& requestAuthenticator,
                  const std::string& secret) {
    switch (style) {
        case GarbageStyle::Short:
            return Bytes{reply.code, reply.identifier, 0, static_cast<std::uint8_t>(kHeaderLength)};
        case GarbageStyle::LengthBeyondData: {
            Bytes packet = EncodePacket(reply);
            PutAuthenticator(packet, ResponseAuthenticator(packet, requestAuthenticator, secret));
            SetLength(packet, packet.size() + 16);
            return packet;
        }
        case GarbageStyle::BrokenAttribute: {
            WirePacket header = reply;
            header.attributes.clear();
            Bytes packet = EncodePacket(header);
            // A Reply-Message of length 0, then a Class that claims 200 octets but has 1.
            const std::uint8_t broken[] = {kReplyMessage, 0, kClass, 200, 'x'};
            packet.insert(packet.end(), std::begin(broken), std::end(broken));
            SetLength(packet, packet.size());
            PutAuthenticator(packet, ResponseAuthenticator(packet, requestAuthenticator, secret));
            return packet;
        }
    }
    return {};
}

}  // namespace

const WireAttribute* ReceivedRequest::Find(std::uint8_t type) const {
    for (const auto& attribute : attributes)
        if (attribute.type == type) return &attribute;
    return nullptr;
}

std::optional<std::uint32_t> ReceivedRequest::Integer(std::uint8_t type) const {
    const WireAttribute* attribute = Find(type);
    return attribute ? attribute->AsInteger() : std::nullopt;
}

std::optional<std::string> ReceivedRequest::Text(std::uint8_t type) const {
    const WireAttribute* attribute = Find(type);
    return attribute ? std::optional<std::string>(attribute->AsText()) : std::nullopt;
}

int ReceivedRequest::Count(std::uint8_t type) const {
    return static_cast<int>(std::count_if(attributes.begin(), attributes.end(),
                                          [type](const WireAttribute& attribute) { return attribute.type == type; }));
}

TestResponder::TestResponder(std::string secret) : secret_(std::move(secret)) {}

TestResponder::~TestResponder() { Stop(); }

void TestResponder::SetDefaultRule(Rule rule) {
    std::lock_guard<std::mutex> lock(mutex_);
    defaultRule_ = std::move(rule);
}

void TestResponder::SetRule(const std::string& userName, Rule rule) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_[userName] = std::move(rule);
}

void TestResponder::SetDropBadAccounting(bool drop) {
    std::lock_guard<std::mutex> lock(mutex_);
    dropBadAccounting_ = drop;
}

bool TestResponder::BindPair(std::uint16_t authPort) {
    // A port of the system's choosing whose successor is free too; a few tries suffice.
    const int attempts = authPort == 0 ? 64 : 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::uint16_t bound = 0;
        authSocket_ = OpenBound(authPort, bound);
        if (authSocket_ < 0) break;
        if (bound < 65535) {
            std::uint16_t acctBound = 0;
            acctSocket_ = OpenBound(static_cast<std::uint16_t>(bound + 1), acctBound);
            if (acctSocket_ >= 0) {
                authPort_ = bound;
                return true;
            }
        }
        CloseFd(authSocket_);
    }
    lastError_ = authPort == 0 ? "no free pair of UDP ports on 127.0.0.1"
                               : "cannot bind 127.0.0.1:" + std::to_string(authPort) + " and the port after it: " +
                                     std::strerror(errno);
    return false;
}

bool TestResponder::Start(std::uint16_t authPort) {
    if (thread_.joinable()) {
        lastError_ = "already running";
        return false;
    }
    if (!BindPair(authPort)) return false;
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        lastError_ = std::string("eventfd: ") + std::strerror(errno);
        CloseFd(authSocket_);
        CloseFd(acctSocket_);
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void TestResponder::Stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        // The thread also ends on its own whenever the write fails: it polls this descriptor.
        [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    CloseFd(authSocket_);
    CloseFd(acctSocket_);
    CloseFd(wakeFd_);
    held_.clear();
}

void TestResponder::Run() {
    for (;;) {
        std::array<pollfd, 3> fds{{{authSocket_, POLLIN, 0}, {acctSocket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}}};
        const int timeout = static_cast<int>(std::min(TimeToNextHeldReply(), kIdlePoll).count());
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) return;
        if (fds[2].revents != 0) return;
        if (fds[0].revents & POLLIN) ReceiveFrom(authSocket_, false);
        if (fds[1].revents & POLLIN) ReceiveFrom(acctSocket_, true);
        SendHeldReplies();
    }
}

void TestResponder::ReceiveFrom(int socket, bool accountingPort) {
    // Bigger than any RADIUS packet, so that an oversized datagram is seen whole.
    std::array<std::uint8_t, 65536> buffer;
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received =
            ::recvfrom(socket, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) return;  // EAGAIN: drained

        ReceivedRequest request;
        request.time = std::chrono::steady_clock::now();
        request.onAccountingPort = accountingPort;
        request.fromPort = ntohs(from.sin_port);
        request.datagram.assign(buffer.begin(), buffer.begin() + received);
        if (auto packet = DecodePacket(request.datagram, &request.problem)) {
            request.wellFormed = true;
            request.code = packet->code;
            request.identifier = packet->identifier;
            request.authenticator = packet->authenticator;
            request.attributes = std::move(packet->attributes);
            if (auto name = request.Text(kUserName)) request.userName = *name;
            if (const WireAttribute* hidden = request.Find(kUserPassword))
                request.password = RevealPassword(hidden->value, secret_, request.authenticator);
            request.acctStatusType = request.Integer(kAcctStatusType).value_or(0);
            if (request.code == kAccountingRequest)
                request.accountingAuthenticatorValid =
                    AccountingRequestAuthenticator(request.datagram, secret_) == request.authenticator;
            request.messageAuthenticatorValid = VerifyMessageAuthenticator(request.datagram, secret_);
        }
        Answer(request, ntohl(from.sin_addr.s_addr), request.fromPort);
    }
}

std::optional<WirePacket> TestResponder::Decide(const ReceivedRequest& request, const Rule& rule) const {
    WirePacket reply;
    reply.identifier = request.identifier;
    if (request.code == kAccountingRequest) {
        reply.code = kAccountingResponse;
        return reply;
    }
    auto accept = [&] {
        reply.code = kAccessAccept;
        reply.attributes = rule.attributes;
    };
    auto reject = [&](const std::string& message) {
        reply.code = kAccessReject;
        if (!message.empty()) reply.attributes.push_back(WireAttribute::Text(kReplyMessage, message));
    };
    switch (rule.answer) {
        case Answer::Accept:
            if (rule.password && request.password != rule.password) {
                reject("");
            } else {
                accept();
                if (!rule.replyMessage.empty())
                    reply.attributes.push_back(WireAttribute::Text(kReplyMessage, rule.replyMessage));
            }
            break;
        case Answer::Reject:
            reject(rule.replyMessage);
            break;
        case Answer::Challenge:
            if (request.Text(kState) == rule.state) {
                // The answer to our challenge.
                if (request.password == rule.challengeResponse)
                    accept();
                else
                    reject("");
            } else {
                reply.code = kAccessChallenge;
                if (!rule.replyMessage.empty())
                    reply.attributes.push_back(WireAttribute::Text(kReplyMessage, rule.replyMessage));
                reply.attributes.push_back(WireAttribute::Text(kState, rule.state));
            }
            break;
    }
    return reply;
}

void TestResponder::Answer(ReceivedRequest& request, std::uint32_t address, std::uint16_t port) {
    Rule rule;
    int transmission = 0;
    bool drop = !request.wellFormed;
    std::uint64_t requestNumber = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        traffic_.received.push_back(request);
        requestNumber = ++requestCount_;
        const auto found = rules_.find(request.userName);
        rule = found != rules_.end() ? found->second : defaultRule_;
        // A server listens for each kind of request on its own port only.
        const bool rightPort = request.onAccountingPort ? request.code == kAccountingRequest
                                                        : request.code == kAccessRequest;
        if (!rightPort) drop = true;
        if (request.code == kAccountingRequest && request.accountingAuthenticatorValid == false && dropBadAccounting_)
            drop = true;
        if (!drop) transmission = ++transmissionsSeen_[request.userName + '\n' + std::to_string(KindOf(request))];
    }
    changed_.notify_all();
    if (drop) return;

    const unsigned kind = KindOf(request);
    if (const Fault* silent = FindFault(rule.faults, FaultKind::Silent, kind))
        if (silent->count < 0 || transmission <= silent->count) return;

    std::optional<WirePacket> reply = Decide(request, rule);
    if (!reply) return;

    SentReply sent;
    sent.onAccountingPort = request.onAccountingPort;
    sent.userName = request.userName;
    if (FindFault(rule.faults, FaultKind::Echo, kind)) {
        sent.datagram = request.datagram;
        sent.datagram[0] = kAccountingRequest;
    } else if (const Fault* garbage = FindFault(rule.faults, FaultKind::Garbage, kind)) {
        sent.datagram = MakeGarbage(garbage->garbage, *reply, request.authenticator, secret_);
    } else {
        sent.datagram = EncodePacket(*reply);
        if (sent.datagram.empty()) return;
        const bool wrongSecret = FindFault(rule.faults, FaultKind::WrongSecret, kind) != nullptr;
        PutAuthenticator(sent.datagram, ResponseAuthenticator(sent.datagram, request.authenticator,
                                                              wrongSecret ? secret_ + "-not" : secret_));
    }
    if (const Fault* padding = FindFault(rule.faults, FaultKind::Padding, kind))
        sent.datagram.insert(sent.datagram.end(), padding->paddingBytes, 0);
    sent.code = sent.datagram.empty() ? 0 : sent.datagram[0];
    sent.identifier = sent.datagram.size() > 1 ? sent.datagram[1] : 0;

    HeldReply out;
    out.toAccountingPort = request.onAccountingPort;
    out.address = address;
    out.port = port;
    out.reply = std::move(sent);
    out.copies = FindFault(rule.faults, FaultKind::Twice, kind) ? 2 : 1;
    if (const Fault* late = FindFault(rule.faults, FaultKind::Late, kind)) {
        out.byTime = late->afterRequests <= 0;
        out.due = request.time + std::chrono::milliseconds(late->delayMs);
        out.releaseAtRequest = requestNumber + static_cast<std::uint64_t>(std::max(late->afterRequests, 0));
        held_.push_back(std::move(out));
        return;
    }
    for (int copy = 0; copy < out.copies; ++copy)
        Transmit(out.toAccountingPort ? acctSocket_ : authSocket_, out.address, out.port, out.reply);
}

std::chrono::milliseconds TestResponder::TimeToNextHeldReply() const {
    auto wait = kIdlePoll;
    const auto now = std::chrono::steady_clock::now();
    for (const auto& held : held_) {
        if (!held.byTime) continue;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(held.due - now);
        wait = std::min(wait, std::max(left, std::chrono::milliseconds(0)));
    }
    return wait;
}

void TestResponder::SendHeldReplies() {
    std::uint64_t requests = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests = requestCount_;
    }
    const auto now = std::chrono::steady_clock::now();
    for (auto it = held_.begin(); it != held_.end();) {
        const bool due = it->byTime ? now >= it->due : requests >= it->releaseAtRequest;
        if (!due) {
            ++it;
            continue;
        }
        for (int copy = 0; copy < it->copies; ++copy)
            Transmit(it->toAccountingPort ? acctSocket_ : authSocket_, it->address, it->port, it->reply);
        it = held_.erase(it);
    }
}

void TestResponder::Transmit(int socket, std::uint32_t address, std::uint16_t port, const SentReply& reply) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    // Recorded before it leaves, so a client that has the reply always finds it recorded.
    std::size_t index;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        index = traffic_.sent.size();
        traffic_.sent.push_back(reply);
        traffic_.sent.back().time = std::chrono::steady_clock::now();
    }
    if (::sendto(socket, reply.datagram.data(), reply.datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (index < traffic_.sent.size())  // unless a Clear() came in between
            traffic_.sent.erase(traffic_.sent.begin() + static_cast<std::ptrdiff_t>(index));
        return;
    }
    changed_.notify_all();
}

Traffic TestResponder::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return traffic_;
}

std::size_t TestResponder::CountReceived(std::uint8_t code, const std::string& userName) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(traffic_.received.begin(), traffic_.received.end(), [&](const ReceivedRequest& request) {
            return request.wellFormed && request.code == code && (userName.empty() || request.userName == userName);
        }));
}

void TestResponder::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    traffic_ = {};
    transmissionsSeen_.clear();
}

bool TestResponder::WaitUntil(const std::function<bool(const Traffic&)>& condition,
                              std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(traffic_); });
}

std::string TestResponder::Summary() const {
    const Traffic traffic = Snapshot();
    std::map<std::uint8_t, int> byCode;
    std::map<std::string, std::map<std::string, int>> byUser;
    int malformed = 0;
    int badAccounting = 0;
    for (const auto& request : traffic.received) {
        if (!request.wellFormed) {
            ++malformed;
            continue;
        }
        ++byCode[request.code];
        std::string what = CodeName(request.code);
        if (request.code == kAccountingRequest)
            what = request.acctStatusType == 1 ? "Accounting-Start"
                   : request.acctStatusType == 2 ? "Accounting-Stop"
                                                 : "Accounting-Other";
        ++byUser[request.userName][what];
        if (request.accountingAuthenticatorValid == false) ++badAccounting;
    }
    std::ostringstream out;
    out << "received " << traffic.received.size() << " requests, " << malformed << " malformed, " << badAccounting
        << " with a wrong accounting authenticator\n";
    for (const auto& [code, count] : byCode) out << "code " << CodeName(code) << ": " << count << "\n";
    for (const auto& [user, counts] : byUser) {
        out << "user " << (user.empty() ? "(none)" : user) << ":";
        for (const auto& [what, count] : counts) out << " " << what << "=" << count;
        out << "\n";
    }
    out << "sent " << traffic.sent.size() << " datagrams\n";
    return out.str();
}

}  // namespace responder
