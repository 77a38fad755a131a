// Reading the program's input: the dictionary at start-up, simulation lines while it plays.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

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
