// The packet trace: what level 3 costs when it writes to a file, against when it is off.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bench/bench_support.h"
#include "infra/log.h"
#include "infra/logger.h"
#include "protocol/packet_log.h"

namespace {

using namespace bench;

constexpr int kChurnBatchForLog = 100;

// A Logger configured the way the program configures it: from the section "Logs" of an INI
// file. With trace set, level 3 (key File4) writes to a file in a fresh folder; without it
// every level is off. Removed with its folder when the scope ends.
class InstalledLogger {
public:
    explicit InstalledLogger(bool trace) {
        char folder[] = "/tmp/pelvok-bench-XXXXXX";
        if (mkdtemp(folder) == nullptr) std::abort();
        folder_ = folder;
        const std::string ini = folder_ + "/bench.ini";
        std::ofstream(ini) << "[Logs]\n" << (trace ? "File4=ON,ERASE,NAME=" + folder_ + "/packets.log\n" : "");
        SetLogger(new Logger(ini.c_str(), true, nullptr, 0, true));
    }
    ~InstalledLogger() {
        DeleteLogger();
        std::filesystem::remove_all(folder_);
    }
    InstalledLogger(const InstalledLogger&) = delete;
    InstalledLogger& operator=(const InstalledLogger&) = delete;

private:
    std::string folder_;
};

// An Access-Accept with four attributes, listed through the dictionary.
void BM_LogPacket(benchmark::State& state) {
    const bool trace = state.range(0) != 0;
    InstalledLogger logger(trace);
    if (IsLogEnabled(3) != trace) state.SkipWithError("the Logger did not take the settings");
    DictionarySet set(kDataDir.c_str());
    const Dictionary* dictionary = set.Load("default.dic");
    std::array<std::uint8_t, kMaxPacketLength> request{};
    request[0] = code::kAccessRequest;
    request[1] = 9;
    std::array<std::uint8_t, kMaxPacketLength> reply{};
    const std::size_t length = MakeReply(request, code::kAccessAccept, kAcceptAttributes, reply);
    for (auto _ : state) LogPacket(std::span<const std::uint8_t>(reply.data(), length), dictionary);
}
BENCHMARK(BM_LogPacket)->ArgName("trace")->Arg(0)->Arg(1)->MinTime(0.3);

// Whole sessions (three requests, three replies each) with the packet trace off or on: the
// engine's own work per request, the server's excluded.
void BM_SessionCycle(benchmark::State& state) {
    const bool trace = state.range(0) != 0;
    InstalledLogger logger(trace);
    EngineRig rig;
    Stopwatch watch;
    int next = 0;
    std::int64_t requests = 0;
    for (auto _ : state) {
        requests += rig.Churn(next, kChurnBatchForLog, watch, true);
        next += kChurnBatchForLog;
        state.SetIterationTime(watch.TakeSeconds());
    }
    state.counters["per_request"] =
        benchmark::Counter(static_cast<double>(requests), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SessionCycle)->ArgName("trace")->Arg(0)->Arg(1)->UseManualTime()->MinTime(0.3)->Unit(benchmark::kMicrosecond);

}  // namespace
