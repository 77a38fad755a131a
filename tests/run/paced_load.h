// The load of two thousand sessions a second for ten seconds that pelvok plays against the
// scripted responder and against FreeRADIUS: its options and what its run must show. A test
// of correctness, not of speed (bench/ measures that). Needs PELVOK_DATA_DIR.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "tests/run/program_run.h"

namespace run_test {

constexpr int kLoadRate = 2000;  // sessions a second
constexpr int kLoadSessions = 10 * kLoadRate;

// Sixteen sockets, paced, a line that finds every identifier in use waits for one instead of
// being lost, and time-outs long enough that a busy machine's slow reply brings no drop.
inline std::string PacedLoadOptions(std::uint16_t authPort, int nasPorts) {
    std::ostringstream options;
    options << "[Options]\nRadHost=127.0.0.1\nQuorlanPort=" << authPort
            << "\nSecret=MeadowLantern\nDictDir=" << PELVOK_DATA_DIR << "\nDictName=default.dic\nNumPorts=" << nasPorts
            << "\nAuthTimeout=5\nAcctTimeout=5\nSockets=16\nPacing=1\nWaitForId=1\n";
    return options.str();
}

// Every session started and ended, and each of its requests answered, none dropped.
inline void ExpectEveryLoadRequestAnswered(const Outcome& run, const nlohmann::json& report, int sessions) {
    EXPECT_TRUE(run.Has("Sessions not started: 0, unfinished: 0")) << run.Tail();
    for (const char* kind : {"access", "accountingStart", "accountingStop"}) {
        EXPECT_EQ(report["requests"][kind]["requests"], sessions) << kind;
        EXPECT_EQ(report["requests"][kind]["replies"], sessions) << kind;
        EXPECT_EQ(report["requests"][kind]["drops"], 0) << kind;
    }
}

}  // namespace run_test
