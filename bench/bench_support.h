// What the benchmarks share: an engine on a hand-moved clock, a fixed random source and an
// in-process socket that keeps only the last datagram (no allocation per packet), replies
// made as a server makes them, attribute lists read through the dictionary, and a
// process-wide allocation counter.
#pragma once

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "infra/clock.h"
#include "protocol/attribute_list.h"
#include "protocol/dictionary.h"
#include "radius/packet_builder.h"
#include "radius/radius_engine.h"
#include "net/datagram_socket.h"
#include "radius/random_source.h"

namespace bench {

inline constexpr const char* kSecret = "MeadowLantern";
inline const std::string kDataDir = std::string(PELVOK_SOURCE_DIR) + "/data/";

// Bytes currently held from the heap, as the allocator counts them (allocation_counter.cpp),
// and the most held since the last ResetHeapPeak.
std::size_t HeapBytesInUse();
std::size_t HeapPeakBytes();
void ResetHeapPeak();

// FreeRADIUS's dictionaries as Debian installs them.
inline constexpr const char* kFreeRadiusTree = "/usr/share/freeradius/";

// The same 16 octets every time: the benchmarks need no unpredictability, only repeatable work.
class FixedRandomSource : public RandomSource {
public:
    void Fill(std::uint8_t* out, std::size_t count) override { std::memset(out, 0x5A, count); }
};

// Keeps the last datagram sent under each identifier (the outstanding requests, since an
// identifier is in use by one request at a time); answers ReceiveFrom from one queued datagram.
class LastDatagramSocket : public DatagramSocket {
public:
    OpenResult Open(const SocketAddress&) override { return {}; }
    int Fd() const override { return 42; }
    bool SendTo(std::span<const std::uint8_t> datagram, const SocketAddress&, int&) override {
        if (datagram.size() < kHeaderLength) return true;
        Slot& slot = byId[datagram[1]];
        slot.length = std::min(datagram.size(), slot.bytes.size());
        std::copy_n(datagram.begin(), slot.length, slot.bytes.begin());
        lastId = datagram[1];
        ++sent;
        return true;
    }
    long ReceiveFrom(std::span<std::uint8_t> buffer, SocketAddress*, int& error) override {
        if (incomingLength == 0) {
            error = EAGAIN;
            return -1;
        }
        const std::size_t count = std::min(incomingLength, buffer.size());
        std::copy_n(incoming.begin(), count, buffer.begin());
        incomingLength = 0;
        return static_cast<long>(count);
    }

    std::span<const std::uint8_t> SentUnder(std::uint8_t id) const { return {byId[id].bytes.data(), byId[id].length}; }
    std::span<const std::uint8_t> Last() const { return SentUnder(lastId); }

    struct Slot {
        std::array<std::uint8_t, kMaxPacketLength> bytes{};
        std::size_t length = 0;
    };
    std::array<Slot, 256> byId{};
    std::uint8_t lastId = 0;
    std::array<std::uint8_t, kMaxPacketLength> incoming{};
    std::size_t incomingLength = 0;
    std::uint64_t sent = 0;
};

// A reply to the request as a server makes it (RFC 2865 section 3): Response Authenticator =
// MD5(Code + Identifier + Length + Request Authenticator + Attributes + Secret).
inline std::size_t MakeReply(std::span<const std::uint8_t> request, std::uint8_t replyCode,
                             std::span<const std::uint8_t> attributes, std::span<std::uint8_t> out) {
    const std::size_t length = kHeaderLength + attributes.size();
    out[0] = replyCode;
    out[1] = request[1];
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length);
    std::copy_n(request.begin() + kAuthenticatorOffset, kAuthenticatorLength, out.begin() + kAuthenticatorOffset);
    std::copy(attributes.begin(), attributes.end(), out.begin() + kHeaderLength);
    unsigned char digest[16];
    unsigned int digestLength = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_md5(), nullptr);
    EVP_DigestUpdate(context, out.data(), length);
    EVP_DigestUpdate(context, kSecret, std::strlen(kSecret));
    EVP_DigestFinal_ex(context, digest, &digestLength);
    EVP_MD_CTX_free(context);
    std::copy_n(digest, 16, out.begin() + kAuthenticatorOffset);
    return length;
}

// An Access-Accept's attributes as FreeRADIUS sends them for the bench users: Service-Type
// Framed-User, Framed-Protocol PPP, Framed-IP-Address 10.0.0.5, Class "pelvok-gold".
inline const std::vector<std::uint8_t> kAcceptAttributes = {
    6, 6, 0, 0, 0, 2,  7, 6, 0, 0, 0, 1,  8, 6, 10, 0, 0, 5,
    25, 13, 'p', 'e', 'l', 'v', 'o', 'k', '-', 'g', 'o', 'l', 'd'};

// "Name=value" pairs read through the dictionary into a list (every name must be defined).
inline AttributeList ListOf(const Dictionary& dictionary, std::initializer_list<std::pair<const char*, const char*>> pairs) {
    AttributeList list;
    for (const auto& [name, value] : pairs) {
        const AttributeDef* definition = dictionary.FindByName(name);
        if (definition == nullptr) {
            std::fprintf(stderr, "bench: %s is not in the dictionary\n", name);
            std::abort();
        }
        const auto attribute = ParseValue(*definition, value, &dictionary);
        if (!attribute) std::abort();
        list.Append(*attribute);
    }
    return list;
}

// The three lists of a simulated session with two attributes each.
struct SessionLists {
    AttributeList auth, acctStart, acctStop;
};
inline SessionLists TwoEach(const Dictionary& dictionary) {
    return {ListOf(dictionary, {{"NAS-IP-Address", "127.0.0.1"}, {"NAS-Port-Type", "5"}}),
            ListOf(dictionary, {{"Acct-Delay-Time", "0"}, {"Connect-Info", "bench"}}),
            ListOf(dictionary, {{"Acct-Input-Octets", "123456"}, {"Acct-Output-Octets", "654321"}})};
}

// Sums the thread's CPU time between Start and Stop (for manually timed benchmarks): other
// processes on the machine do not count. What one empty Start/Stop pair costs is measured
// once and taken off every pair.
class Stopwatch {
public:
    Stopwatch() {
        constexpr int kPairs = 2000;
        for (int i = 0; i < kPairs; ++i) {
            Start();
            Stop();
        }
        pairCost_ = total_ / kPairs;
        total_ = 0;
    }
    void Start() { started_ = Now(); }
    void Stop() { total_ += Now() - started_ - pairCost_; }
    double TakeSeconds() {
        const double seconds = std::max<std::int64_t>(total_, 0) * 1e-9;
        total_ = 0;
        return seconds;
    }

private:
    static std::int64_t Now() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
    }

    std::int64_t started_ = 0;
    std::int64_t total_ = 0;
    std::int64_t pairCost_ = 0;
};

// An engine with the real dictionary and a socket that answers nothing by itself; the
// benchmark plays the server.
class EngineRig {
public:
    // Beyond RadiusEngine::kMaxNasPorts the NAS ports are large ones.
    explicit EngineRig(std::int32_t nasPorts = RadiusEngine::kMaxNasPorts) {
        auto socket = std::make_unique<LastDatagramSocket>();
        socket_ = socket.get();
        engine_ = std::make_unique<RadiusEngine>(&clock_, &random_, std::move(socket));
        engine_->SetLargeNasPorts(nasPorts > RadiusEngine::kMaxNasPorts);
        const bool ok = engine_->Init(kSecret, 1812, 0x7F000001, nasPorts, true, 5, true, 5, false, kDataDir.c_str(),
                                      "default.dic");
        if (!ok || engine_->GetDictionary() == nullptr) {
            std::fprintf(stderr, "bench: engine set-up failed: %s\n", engine_->LastError());
            std::abort();
        }
        lists_ = TwoEach(*engine_->GetDictionary());
        engine_->SetResultCallback([this](const char*) { ++resultLines_; });
    }

    RadiusEngine& Engine() { return *engine_; }
    ManualClock& Clock() { return clock_; }
    LastDatagramSocket& Socket() { return *socket_; }
    const SessionLists& Lists() const { return lists_; }
    // Sessions from now on carry no attributes of their own.
    void UseEmptyLists() { lists_ = {}; }
    std::uint64_t ResultLines() const { return resultLines_; }

    // Starts a session; its Access-Request is the socket's last datagram.
    void Add(int number, std::uint32_t duration) {
        char user[32];
        std::snprintf(user, sizeof user, "bench%05d", number);
        if (!engine_->AddSession(user, "benchpw", duration, lists_.auth, lists_.acctStart, lists_.acctStop)) {
            std::fprintf(stderr, "bench: AddSession failed: %s\n", engine_->LastError());
            std::abort();
        }
    }
    // The server's reply to the request outstanding under the identifier, made aside (not
    // delivered); it stays valid until the next reply is made.
    std::span<const std::uint8_t> ReplyTo(std::uint8_t id, std::uint8_t replyCode) {
        const std::span<const std::uint8_t> attributes =
            replyCode == code::kAccessAccept ? std::span<const std::uint8_t>(kAcceptAttributes)
                                             : std::span<const std::uint8_t>();
        const std::size_t length = MakeReply(socket_->SentUnder(id), replyCode, attributes, reply_);
        return {reply_.data(), length};
    }
    std::span<const std::uint8_t> ReplyToLast(std::uint8_t replyCode) { return ReplyTo(socket_->lastId, replyCode); }
    bool Deliver(std::span<const std::uint8_t> reply) { return engine_->ProcessReply(reply.data(), reply.size()); }

    // A session taken through accept and accounting start: Active, holding no identifier.
    void AddActive(int number, std::uint32_t duration) {
        Add(number, duration);
        Deliver(ReplyToLast(code::kAccessAccept));
        Deliver(ReplyToLast(code::kAccountingResponse));
    }

    // Takes count new sessions (at most 200: each holds an identifier at the end) through their
    // whole life: the Access-Request, Access-Accept, the accounting start and its response,
    // the stop once due (a Tick) and its response. The stopwatch runs over the engine's work
    // only, not over the server's (making replies); over AddSession and the Tick only when
    // timeAll is set (the Tick walks every live session). Returns the replies processed.
    int Churn(int firstNumber, int count, Stopwatch& watch, bool timeAll) {
        std::array<std::uint8_t, 256> ids{};
        for (int i = 0; i < count; ++i) {
            if (timeAll) watch.Start();
            Add(firstNumber + i, 1);
            if (timeAll) watch.Stop();
            const auto accept = ReplyToLast(code::kAccessAccept);
            watch.Start();
            Deliver(accept);
            watch.Stop();
            const auto started = ReplyToLast(code::kAccountingResponse);
            watch.Start();
            Deliver(started);
            watch.Stop();
        }
        clock_.Advance(1100);
        if (timeAll) watch.Start();
        engine_->Tick();  // every churned session is due: its stop goes out
        if (timeAll) watch.Stop();
        int stops = 0;
        for (int id = 1; id <= 255; ++id) {
            const Session* session = engine_->SessionByRequestId(static_cast<std::uint16_t>(id));
            if (session != nullptr && session->state == SessionState::AccountingStop) ids[stops++] = static_cast<std::uint8_t>(id);
        }
        for (int i = 0; i < stops; ++i) {
            const auto stopped = ReplyTo(ids[i], code::kAccountingResponse);
            watch.Start();
            Deliver(stopped);
            watch.Stop();
        }
        return 2 * count + stops;
    }

private:
    ManualClock clock_;
    FixedRandomSource random_;
    LastDatagramSocket* socket_ = nullptr;
    std::unique_ptr<RadiusEngine> engine_;
    SessionLists lists_;
    std::array<std::uint8_t, kMaxPacketLength> reply_{};
    std::uint64_t resultLines_ = 0;
};

}  // namespace bench
