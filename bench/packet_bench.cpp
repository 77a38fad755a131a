// Building and checking packets: what every request and reply costs before any system call.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/bench_support.h"
#include "radius/md5.h"

namespace {

using namespace bench;

// A dictionary for the lists; the set is process-wide, so each benchmark holds its own briefly.
struct LoadedDictionary {
    LoadedDictionary() : set(kDataDir.c_str()), dictionary(set.Load("default.dic")) {
        if (dictionary == nullptr) std::abort();
    }
    DictionarySet set;
    const Dictionary* dictionary;
};

Session SessionWithLists(const Dictionary& dictionary) {
    Session session;
    session.state = SessionState::Authenticating;
    session.userName = "bench00001";
    session.password = "benchpw";
    session.requestId = 17;
    session.nasPort = 3;
    session.sessionNumber = 1234;
    session.startTime = 1767225600;
    session.endTime = session.startTime + 30;
    session.authAttributes = ListOf(dictionary, {{"NAS-IP-Address", "127.0.0.1"},
                                                 {"NAS-Port-Type", "5"},
                                                 {"Called-Station-Id", "00-11-22-33-44-55"},
                                                 {"Calling-Station-Id", "66-77-88-99-AA-BB"},
                                                 {"NAS-Identifier", "pelvok-bench"}});
    const SessionLists two = TwoEach(dictionary);
    session.acctStartAttributes = two.acctStart;
    session.acctStopAttributes = two.acctStop;
    return session;
}

void BM_Md5_100Bytes(benchmark::State& state) {
    std::array<std::uint8_t, 100> data{};
    for (auto _ : state) {
        Md5Digest digest = Md5({data});
        benchmark::DoNotOptimize(digest);
    }
}
BENCHMARK(BM_Md5_100Bytes);

void BM_HidePassword(benchmark::State& state) {
    const Authenticator authenticator{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::array<std::uint8_t, kMaxHiddenPasswordLength> out{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(HidePassword("benchpw", kSecret, authenticator, out));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_HidePassword);

// User-Name, the hidden User-Password and five list attributes encoded through the dictionary.
void BM_BuildAccessRequest_FiveAttributes(benchmark::State& state) {
    LoadedDictionary loaded;
    const Session session = SessionWithLists(*loaded.dictionary);
    const Authenticator authenticator{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    std::size_t length = 0;
    for (auto _ : state) {
        length = BuildAccessRequest(buffer, session, authenticator, kSecret, loaded.dictionary);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(length);
}
BENCHMARK(BM_BuildAccessRequest_FiveAttributes);

// Three vendor attributes of three vendor formats, found by name among the whole FreeRADIUS
// tree's definitions as every Access-Request finds them.
void BM_BuildAccessRequest_FreeRadiusVendorAttributes(benchmark::State& state) {
    DictionarySet set(kFreeRadiusTree);
    const Dictionary* dictionary = set.Load("dictionary");
    if (dictionary == nullptr) {
        state.SkipWithError("FreeRADIUS's dictionaries are not installed");
        return;
    }
    Session session = SessionWithLists(*dictionary);
    session.authAttributes = ListOf(*dictionary, {{"Cisco-AVPair", "shell:priv-lvl=15"},
                                                  {"Lucent-Max-Shared-Users", "3"},
                                                  {"USR-Last-Number-Dialed-Out", "123"}});
    const Authenticator authenticator{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    std::size_t length = 0;
    for (auto _ : state) {
        length = BuildAccessRequest(buffer, session, authenticator, kSecret, dictionary);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(length);
}
BENCHMARK(BM_BuildAccessRequest_FreeRadiusVendorAttributes);

// A Stop with the echoed accept values and two list attributes, signed.
void BM_BuildAccountingRequest(benchmark::State& state) {
    LoadedDictionary loaded;
    Session session = SessionWithLists(*loaded.dictionary);
    session.state = SessionState::AccountingStop;
    session.accept.serviceType = 2;
    session.accept.framedProtocol = 1;
    session.accept.framedIpAddress = 0x0A000005;
    session.accept.className = "pelvok-gold";
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    std::size_t length = 0;
    for (auto _ : state) {
        length = BuildAccountingRequest(buffer, session, kSecret, loaded.dictionary);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(length);
}
BENCHMARK(BM_BuildAccountingRequest);

void BM_VerifyResponse(benchmark::State& state) {
    std::array<std::uint8_t, kMaxPacketLength> request{};
    request[0] = code::kAccessRequest;
    request[1] = 9;
    const Authenticator authenticator{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::copy(authenticator.begin(), authenticator.end(), request.begin() + kAuthenticatorOffset);
    std::array<std::uint8_t, kMaxPacketLength> reply{};
    const std::size_t length = MakeReply(request, code::kAccessAccept, kAcceptAttributes, reply);
    const std::span<const std::uint8_t> received(reply.data(), length);
    bool verified = false;
    for (auto _ : state) {
        verified = VerifyResponse(received, authenticator, kSecret);
        benchmark::DoNotOptimize(verified);
    }
    if (!verified) state.SkipWithError("the reply did not verify");
}
BENCHMARK(BM_VerifyResponse);

}  // namespace
