// pelvok --run --load as a process against a FreeRADIUS of its own, made for high rates
// (scripts/freeradius.sh --high-rate, started by a ctest fixture): the rate, options and checks
// of the load against the scripted responder, every request answered by a real server.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/infra/temp_folder.h"
#include "tests/integration/engine_driver.h"
#include "tests/run/paced_load.h"
#include "tests/run/program_run.h"

namespace {

using namespace std::chrono_literals;

class FreeRadiusLoadTest : public integration::FreeRadiusTest {
protected:
    FreeRadiusLoadTest() : FreeRadiusTest(PELVOK_FREERADIUS_LOAD_DIR, PELVOK_FREERADIUS_LOAD_PORT) {}

    TempFolder folder;
};

// Two thousand sessions a second for ten seconds of the users the server accepts (bench1,
// bench2 ...): no session lost, every request answered and accepted. Ten seconds each: on a
// busy machine the server's queue holds a request for a second or more and a new session may
// wait seconds for an identifier, and a session whose end came first would cut its own
// Access-Request or Start short.
TEST_F(FreeRadiusLoadTest, TwoThousandSessionsASecondLoseNothing) {
    constexpr int kSessions = run_test::kLoadSessions;
    folder.Write("load.ini", run_test::PacedLoadOptions(PELVOK_FREERADIUS_LOAD_PORT, kSessions));

    const run_test::Outcome run = run_test::RunProgram(
        {PELVOK_PROGRAM, "--run", "--load", "bench{n},benchpw", "--rate", std::to_string(run_test::kLoadRate),
         "--sessions", std::to_string(kSessions), "--session-time", "10", "--config", folder.Path("load.ini"),
         "--report", folder.Path("out.json"), "--max-wait", "100"},
        110s);
    ASSERT_EQ(run.status, 0) << run.Tail();
    const nlohmann::json report = nlohmann::json::parse(folder.Read("out.json"));
    run_test::ExpectEveryLoadRequestAnswered(run, report, kSessions);
    EXPECT_EQ(report["outcomes"]["accept"], kSessions);
    RecordProperty("retransmissions", report["requests"]["access"]["retransmissions"].get<int>() +
                                          report["requests"]["accountingStart"]["retransmissions"].get<int>() +
                                          report["requests"]["accountingStop"]["retransmissions"].get<int>());
}

}  // namespace
