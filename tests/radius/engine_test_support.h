// An engine on a hand-moved clock, a fixed random source and an in-process socket, with
// helpers to read what it sent and to answer it.
#pragma once

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "infra/clock.h"
#include "protocol/attribute_list.h"
#include "radius/message_authenticator.h"
#include "radius/radius_engine.h"
#include "net/socket_factory.h"
#include "radius/random_source.h"

namespace radius_test {

using Bytes = std::vector<std::uint8_t>;

// Bytes 0, 1, 2, ... wrapping; every Fill goes on where the last one stopped.
class CountingRandomSource : public RandomSource {
public:
    void Fill(std::uint8_t* out, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) out[i] = next_++;
    }

private:
    std::uint8_t next_ = 0;
};

struct SentDatagram {
    Bytes bytes;
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    SocketAddress to;  // the whole destination, either family
    std::uint8_t Code() const { return bytes.at(0); }
    std::uint8_t Id() const { return bytes.at(1); }
};

// Records what the engine sends; replies are queued for ReceiveFrom.
class FakeSocket : public DatagramSocket {
public:
    explicit FakeSocket(int fd = 42) : fd_(fd) {}
    OpenResult Open(const SocketAddress& local) override {
        if (openFailure.failedAt == OpenStep::Done) open = true;
        boundTo = local;
        return openFailure;
    }
    int Fd() const override { return open ? fd_ : -1; }
    bool SendTo(std::span<const std::uint8_t> datagram, const SocketAddress& to, int& error) override {
        if (sendError != 0) {
            error = sendError;
            ++refused;
            return false;
        }
        sent.push_back({Bytes(datagram.begin(), datagram.end()), to.Ipv4Address(), to.Port(), to});
        return true;
    }
    long ReceiveFrom(std::span<std::uint8_t> buffer, SocketAddress* sender, int& error) override {
        if (incoming.empty()) {
            error = EAGAIN;
            return -1;
        }
        Bytes datagram = std::move(incoming.front());
        incoming.pop_front();
        if (sender != nullptr) *sender = incomingSender;
        const std::size_t count = std::min(datagram.size(), buffer.size());
        if (count > 0) std::memcpy(buffer.data(), datagram.data(), count);
        return static_cast<long>(count);
    }
    std::size_t ReceiveMany(std::span<Received> batch, int& error) override {
        const std::size_t count = DatagramSocket::ReceiveMany(batch, error);
        for (std::size_t i = 0; i < count; ++i) batch[i].waitedMicroseconds = incomingWaitedMicroseconds;
        return count;
    }

    OpenResult openFailure;
    SocketAddress boundTo;
    int sendError = 0;
    int refused = 0;
    bool open = false;
    std::vector<SentDatagram> sent;
    std::deque<Bytes> incoming;
    SocketAddress incomingSender = SocketAddress::Ipv4(0x7F000001, 1812);
    std::uint32_t incomingWaitedMicroseconds = 0;  // what ReceiveMany says each one waited

private:
    int fd_;
};

inline Bytes Md5Of(const Bytes& data) {
    unsigned char digest[16];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
    return Bytes(digest, digest + 16);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// "prefix" followed by the number.
inline std::string Numbered(const char* prefix, int number) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%d", prefix, number);
    return text;
}

inline Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Pairs of hex digits; spaces are skipped.
inline Bytes Hex(std::string_view text) {
    Bytes bytes;
    for (std::size_t at = 0; at + 1 < text.size();) {
        if (text[at] == ' ') { ++at; continue; }
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(at, 2)), nullptr, 16)));
        at += 2;
    }
    return bytes;
}

// first, first + 1, ... first + 15.
inline Authenticator CountingAuthenticator(std::uint8_t first = 0) {
    Authenticator authenticator{};
    for (std::size_t i = 0; i < authenticator.size(); ++i) authenticator[i] = static_cast<std::uint8_t>(first + i);
    return authenticator;
}

inline Bytes Item(std::uint8_t type, const Bytes& value) {
    Bytes item(value.size() + 2);
    item[0] = type;
    item[1] = static_cast<std::uint8_t>(value.size() + 2);
    std::copy(value.begin(), value.end(), item.begin() + 2);
    return item;
}
inline Bytes IntItem(std::uint8_t type, std::uint32_t value) {
    return Item(type, {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                       static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

// What ItemsOf gives for one 4-octet integer item.
inline std::vector<Bytes> IntValue(std::uint32_t value) {
    return {Bytes{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                  static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)}};
}

// A reply as a server makes it (RFC 2865 section 3): the Response Authenticator is
// MD5(Code + Identifier + Length + Request Authenticator + Attributes + Secret).
inline Bytes MakeReply(std::uint8_t replyCode, std::uint8_t id, const Bytes& requestAuthenticator,
                       const std::string& secret, const Bytes& attributes = {}) {
    const auto length = static_cast<std::uint16_t>(20 + attributes.size());
    Bytes packet(length);
    packet[0] = replyCode;
    packet[1] = id;
    packet[2] = static_cast<std::uint8_t>(length >> 8);
    packet[3] = static_cast<std::uint8_t>(length);
    std::copy_n(requestAuthenticator.begin(), std::min<std::size_t>(16, requestAuthenticator.size()), packet.begin() + 4);
    std::copy(attributes.begin(), attributes.end(), packet.begin() + 20);
    const Bytes digest = Md5Of(Concat({packet, Text(secret)}));
    std::copy(digest.begin(), digest.end(), packet.begin() + 4);
    return packet;
}

enum class Carried { Missing, Wrong, Right };

// A reply as a server signs it: the attributes, then a Message-Authenticator (unless Missing;
// a Wrong one has one bit flipped), then the Response Authenticator over all of it.
inline Bytes SignedReply(std::uint8_t replyCode, std::uint8_t id, const Bytes& requestAuthenticator,
                         const std::string& secret, Carried carried, const Bytes& attributes = {}) {
    if (carried == Carried::Missing) return MakeReply(replyCode, id, requestAuthenticator, secret, attributes);
    Bytes packet = Concat({{replyCode, id, 0, 0}, requestAuthenticator, attributes, {80, 18}, Bytes(16, 0)});
    packet[2] = static_cast<std::uint8_t>(packet.size() >> 8);
    packet[3] = static_cast<std::uint8_t>(packet.size());
    unsigned char mac[16];
    unsigned int length = 0;
    HMAC(EVP_md5(), secret.data(), static_cast<int>(secret.size()), packet.data(), packet.size(), mac, &length);
    if (carried == Carried::Wrong) mac[0] ^= 0x01;
    std::copy(mac, mac + 16, packet.end() - 16);
    const Bytes digest = Md5Of(Concat({packet, Text(secret)}));
    std::copy(digest.begin(), digest.end(), packet.begin() + 4);
    return packet;
}

inline Bytes AuthenticatorOf(const Bytes& packet) { return Bytes(packet.begin() + 4, packet.begin() + 20); }

// A request as a server makes it (RFC 5176 section 3.5); with a Message-Authenticator first
// when asked, its HMAC taken over the packet with the Request Authenticator zeroed.
inline Bytes MakeCoaRequest(std::uint8_t requestCode, const Bytes& attributes,
                            const std::string& secret = "testing123", bool messageAuthenticator = false) {
    const Bytes items = messageAuthenticator ? Concat({Item(80, Bytes(16, 0)), attributes}) : attributes;
    Bytes packet = Concat({Bytes{requestCode, 9, 0, 0}, Bytes(16, 0), items});
    packet[2] = static_cast<std::uint8_t>(packet.size() >> 8);
    packet[3] = static_cast<std::uint8_t>(packet.size());
    if (messageAuthenticator) {
        const HmacMd5Digest digest = HmacMd5(secret, {packet});
        std::copy(digest.begin(), digest.end(), packet.begin() + 22);
    }
    const Bytes digest = Md5Of(Concat({packet, Text(secret)}));
    std::copy(digest.begin(), digest.end(), packet.begin() + 4);
    return packet;
}

// The value octets of every item of that type in a packet.
inline std::vector<Bytes> ItemsOf(const Bytes& packet, std::uint8_t type) {
    std::vector<Bytes> found;
    for (std::size_t at = 20; at + 2 <= packet.size();) {
        const std::size_t length = packet[at + 1];
        if (length < 2 || at + length > packet.size()) break;
        if (packet[at] == type) found.emplace_back(packet.begin() + at + 2, packet.begin() + at + length);
        at += length;
    }
    return found;
}

struct EngineOptions {
    std::string secret = "testing123";
    std::uint16_t serverPort = 1812;
    std::uint32_t serverAddress = 0x7F000001;
    std::int32_t nasPorts = 10;
    bool resendAuth = true;
    std::uint32_t authTimeout = 5;
    bool resendAcct = true;
    std::uint32_t acctTimeout = 15;
    bool authOnly = false;
    std::size_t sockets = 1;  // fake sockets with descriptors 42, 43, ...
    bool largeNasPorts = false;
    // With a CoA port, one more fake socket (after the channels') is the CoA listener.
    SessionLifeSettings life;
};

class EngineHarness {
public:
    explicit EngineHarness(const EngineOptions& options = {}) : options_(options) {
        std::vector<std::unique_ptr<DatagramSocket>> sockets;
        const std::size_t listeners = options.life.coaPort != 0 ? 1 : 0;
        for (std::size_t i = 0; i < options.sockets + listeners; ++i) {
            auto socket = std::make_unique<FakeSocket>(42 + static_cast<int>(i));
            sockets_.push_back(socket.get());
            sockets.push_back(std::move(socket));
        }
        socket_ = sockets_.front();
        engine_ = std::make_unique<RadiusEngine>(&clock_, &random_, std::make_unique<GivenSockets>(std::move(sockets)));
        engine_->SetTransport({.sockets = options.sockets});
        engine_->SetLargeNasPorts(options.largeNasPorts);
        engine_->SetSessionLife(options.life);
        initialized_ = engine_->Init(options.secret.c_str(), options.serverPort, options.serverAddress,
                                     options.nasPorts, options.resendAuth, options.authTimeout,
                                     options.resendAcct, options.acctTimeout, options.authOnly, nullptr, nullptr);
        engine_->SetResultCallback([this](const char* line) { lines_.emplace_back(line); });
    }

    RadiusEngine& Engine() { return *engine_; }
    FakeSocket& Socket(std::size_t channel = 0) { return *sockets_.at(channel); }
    FakeSocket& CoaSocket() { return *sockets_.back(); }
    ManualClock& Clock() { return clock_; }
    std::vector<std::string>& Lines() { return lines_; }
    bool Initialized() const { return initialized_; }
    const EngineOptions& Options() const { return options_; }

    bool Add(const char* user, const char* password = "pw", std::uint32_t duration = 60,
             const AttributeList& auth = {}, const AttributeList& start = {}, const AttributeList& stop = {}) {
        return engine_->AddSession(user, password, duration, auth, start, stop);
    }

    const SentDatagram& LastSent() const { return socket_->sent.back(); }
    std::size_t SentCount() const { return socket_->sent.size(); }

    // The reply to the last datagram sent with that identifier.
    Bytes ReplyTo(std::uint8_t id, std::uint8_t replyCode, const Bytes& attributes = {}) const {
        for (auto it = socket_->sent.rbegin(); it != socket_->sent.rend(); ++it)
            if (it->Id() == id) return MakeReply(replyCode, id, AuthenticatorOf(it->bytes), options_.secret, attributes);
        return MakeReply(replyCode, id, Bytes(16, 0), options_.secret, attributes);
    }
    // Answers the last datagram sent.
    bool Answer(std::uint8_t replyCode, const Bytes& attributes = {}) {
        return Deliver(ReplyTo(LastSent().Id(), replyCode, attributes));
    }
    bool Deliver(const Bytes& reply) { return engine_->ProcessReply(reply.data(), reply.size()); }

    // Moves both clocks on and ticks once.
    void AdvanceAndTick(std::uint32_t milliseconds) {
        clock_.Advance(milliseconds);
        engine_->Tick();
    }

    const Session* SessionOf(const std::string& user) const {
        for (const Session& session : engine_->Sessions())
            if (session.userName == user) return &session;
        return nullptr;
    }

private:
    EngineOptions options_;
    ManualClock clock_;
    CountingRandomSource random_;
    FakeSocket* socket_ = nullptr;
    std::vector<FakeSocket*> sockets_;
    std::unique_ptr<RadiusEngine> engine_;
    std::vector<std::string> lines_;
    bool initialized_ = false;
};

}  // namespace radius_test
