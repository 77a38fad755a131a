// The engine with many live sessions: the cost of a reply and of a tick per session must not
// grow with the number of sessions, and a session must stay small.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "bench/bench_support.h"

namespace {

using namespace bench;

constexpr std::uint32_t kLongDuration = 1'000'000'000;  // never due while the benchmark runs
constexpr int kChurnBatch = 100;

// Replies (accept, accounting start, accounting stop) for sessions that come and go while
// state.range(0) other sessions stay Active. Only ProcessReply is timed.
void BM_ProcessReply(benchmark::State& state) {
    EngineRig rig;
    const int live = static_cast<int>(state.range(0));
    for (int i = 0; i < live; ++i) rig.AddActive(i, kLongDuration);
    Stopwatch watch;
    int next = live;
    std::int64_t replies = 0;
    for (auto _ : state) {
        replies += rig.Churn(next, kChurnBatch, watch, false);
        next += kChurnBatch;
        state.SetIterationTime(watch.TakeSeconds());
    }
    if (rig.Engine().SessionCount() != static_cast<std::size_t>(live)) state.SkipWithError("sessions were lost");
    state.counters["per_reply"] =
        benchmark::Counter(static_cast<double>(replies), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["live"] = live;
}
BENCHMARK(BM_ProcessReply)->Arg(100)->Arg(1000)->Arg(30000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A tick over state.range(0) Active sessions of which none is due.
void BM_Tick_Idle(benchmark::State& state) {
    EngineRig rig;
    const int live = static_cast<int>(state.range(0));
    for (int i = 0; i < live; ++i) rig.AddActive(i, kLongDuration);
    for (auto _ : state) {
        rig.Clock().Advance(100);
        rig.Engine().Tick();
    }
    state.counters["per_session"] = benchmark::Counter(static_cast<double>(live) * state.iterations(),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["live"] = live;
}
BENCHMARK(BM_Tick_Idle)->Arg(100)->Arg(1000)->Arg(30000)->Unit(benchmark::kMicrosecond);

// A tick that finds 200 requests outstanding (waiting, not yet expired) among the Active ones.
void BM_Tick_WithOutstanding(benchmark::State& state) {
    EngineRig rig;
    const int live = static_cast<int>(state.range(0));
    for (int i = 0; i < live; ++i) rig.AddActive(i, kLongDuration);
    for (int i = 0; i < 200; ++i) rig.Add(live + i, kLongDuration);
    for (auto _ : state) {
        rig.Engine().Tick();  // the clock stands still: nothing expires
    }
    state.counters["per_session"] = benchmark::Counter(static_cast<double>(live + 200) * state.iterations(),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["live"] = live + 200;
}
BENCHMARK(BM_Tick_WithOutstanding)->Arg(100)->Arg(1000)->Arg(30000)->Unit(benchmark::kMicrosecond);

// Resident memory of the process (what the kernel charges it for), in bytes.
std::size_t ResidentBytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    unsigned long resident = 0;
    if (statm != nullptr) {
        if (std::fscanf(statm, "%lu %lu", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Heap bytes per live session: state.range(0) Active sessions whose three lists hold two
// attributes each (state.range(1) 1) or none (0: a session as a plain user name and password
// make it), with the accept's values remembered. Counted by the allocation counter and, where
// the C library's allocator is the one in use (not under a sanitizer), by mallinfo2; the
// resident size of the process as well.
void BM_MemoryPerSession(benchmark::State& state) {
    const int live = static_cast<int>(state.range(0));
    const bool withLists = state.range(1) != 0;
    for (auto _ : state) {
        EngineRig rig(std::max(live + 1, static_cast<int>(RadiusEngine::kMaxNasPorts)));
        if (!withLists) rig.UseEmptyLists();
        rig.AddActive(0, kLongDuration);  // first-use allocations of the engine and the list
        const std::size_t before = HeapBytesInUse();
        const std::size_t mallocBefore = mallinfo2().uordblks;
        const std::size_t residentBefore = ResidentBytes();
        for (int i = 1; i <= live; ++i) rig.AddActive(i, kLongDuration);
        const std::size_t after = HeapBytesInUse();
        const std::size_t mallocAfter = mallinfo2().uordblks;
        const std::size_t residentAfter = ResidentBytes();
        state.counters["bytes_per_session"] = static_cast<double>(after - before) / live;
        state.counters["malloc_bytes_per_session"] =
            mallocAfter > mallocBefore ? static_cast<double>(mallocAfter - mallocBefore) / live : 0.0;
        state.counters["resident_bytes_per_session"] =
            residentAfter > residentBefore ? static_cast<double>(residentAfter - residentBefore) / live : 0.0;
        state.counters["sizeof_Session"] = sizeof(Session);
        state.counters["sizeof_RadiusAttribute"] = sizeof(RadiusAttribute);
        if (rig.Engine().SessionCount() != static_cast<std::size_t>(live + 1)) state.SkipWithError("sessions were lost");
    }
}
BENCHMARK(BM_MemoryPerSession)
    ->Args({30000, 1})
    ->Args({1000000, 1})
    ->Args({1000000, 0})
    ->ArgNames({"live", "lists"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
