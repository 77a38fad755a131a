// Reading the program's input: the dictionary at start-up, simulation lines while it plays.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "bench/bench_support.h"
#include "radius/session_starter.h"
#include "simulation/simulation.h"

namespace {

using namespace bench;

void BM_LoadDefaultDictionary(benchmark::State& state) {
    for (auto _ : state) {
        DictionarySet set(kDataDir.c_str());
        benchmark::DoNotOptimize(set.Load("default.dic"));
    }
}
BENCHMARK(BM_LoadDefaultDictionary)->Unit(benchmark::kMicrosecond);

// FreeRADIUS's whole tree (DictDir=/usr/share/freeradius/, DictName=dictionary): one load, and
// the heap it peaks at and keeps.
void BM_LoadFreeRadiusTree(benchmark::State& state) {
    if (access((std::string(kFreeRadiusTree) + "dictionary").c_str(), R_OK) != 0) {
        state.SkipWithError("FreeRADIUS's dictionaries are not installed");
        return;
    }
    std::size_t held = 0;
    std::size_t peak = 0;
    for (auto _ : state) {
        const std::size_t before = HeapBytesInUse();
        ResetHeapPeak();
        auto set = std::make_unique<DictionarySet>(kFreeRadiusTree);
        if (set->Load("dictionary") == nullptr) {
            state.SkipWithError("the tree did not load");
            return;
        }
        state.PauseTiming();
        held = HeapBytesInUse() - before;
        peak = HeapPeakBytes() - before;
        set.reset();
        state.ResumeTiming();
    }
    constexpr double kMiB = 1024.0 * 1024.0;
    state.counters["heap_held_MiB"] = static_cast<double>(held) / kMiB;
    state.counters["heap_peak_MiB"] = static_cast<double>(peak) / kMiB;
}
BENCHMARK(BM_LoadFreeRadiusTree)->Unit(benchmark::kMillisecond);

// Takes nothing: the lines are read, never started.
class NoEngine : public SessionStarter {
public:
    bool AddSession(const char*, const char*, std::uint32_t, const AttributeList&, const AttributeList&,
                    const AttributeList&) override {
        return true;
    }
    const char* LastError() const override { return ""; }
};

// One line with an Auth, an AcctStart and an AcctStop section (two pairs each), due far in
// the future, so LoadFile starts nothing.
void BM_ReadNextLine_ThreeSections(benchmark::State& state) {
    constexpr int kLines = 20000;
    char path[] = "/tmp/pelvok-bench-sim-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) std::abort();
    close(fd);
    {
        std::ofstream file(path);
        for (int i = 0; i < kLines; ++i)
            file << "9:00:00:00,bench" << i << ",benchpw,00:30"
                 << ",Auth:NAS-IP-Address=127.0.0.1,NAS-Port-Type=Virtual"
                 << ";AcctStart:Acct-Delay-Time=0,Connect-Info=bench"
                 << ";AcctStop:Acct-Input-Octets=123456,Acct-Output-Octets=654321\n";
    }
    DictionarySet set(kDataDir.c_str());
    NoEngine engine;
    Simulation simulation;
    if (!simulation.Attach(&engine, "default.dic") || !simulation.LoadFile(path)) {
        state.SkipWithError("the simulation file did not load");
        std::remove(path);
        return;
    }
    for (auto _ : state) {
        if (simulation.ReadNextLine() != Simulation::kLineReady) {
            state.PauseTiming();
            simulation.LoadFile(path);
            state.ResumeTiming();
        }
    }
    if (simulation.AuthAttributes().Size() != 2 || simulation.AcctStopAttributes().Size() != 2)
        state.SkipWithError("the sections were not read");
    std::remove(path);
}
BENCHMARK(BM_ReadNextLine_ThreeSections);

}  // namespace
