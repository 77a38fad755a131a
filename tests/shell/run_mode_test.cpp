// A headless run in-process, on the shell's fixture: the runs that cannot start, and what
// they leave behind.
#include "shell/run_mode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "radius/radius_engine.h"
#include "shell/run_report.h"
#include "shell/shell_state.h"
#include "tests/shell/shell_fixture.h"

namespace shell_test {
namespace {

class RunModeTest : public ShellTest {
protected:
    // A dictionary with nothing in it will do for these lines.
    std::string UsableOptions(const std::string& dictDir = "") const {
        folder.Write("default.dic", "");
        const std::string folderOfDictionary = dictDir.empty() ? folder.Root() + "/" : dictDir;
        return "[Options]\nQuorlanPort=1812\nRadHost=127.0.0.1\nDictDir=" + folderOfDictionary + "\n";
    }
    bool Logged(const std::string& start) const {
        for (const std::string& line : log.Lines())
            if (line.rfind(start, 0) == 0) return true;
        return false;
    }
};

// Exit 2 with the reason, and whatever the run had set up is gone again: no window, no timer,
// no socket registration, no options written.
TEST_F(RunModeTest, RunsThatCannotStartLeaveNothingBehind) {
    const std::string valid = SimulationFile("valid.sim", "0:00:00:00,alice,pw,00:01\n");
    const std::string invalid = SimulationFile("invalid.sim", "not a simulation line\n");
    const struct {
        const char* name;
        bool optionsFile;
        std::string dictDir;
        std::string simulationFile;
        std::string report;
        int bindError;
        bool windows;
        std::string reason;
    } cases[] = {
        {"no options file", false, "", valid, "", 0, true, "cannot read the options file " + optionsFile},
        {"no simulation file", true, "", folder.Path("none.sim"), "", 0, true,
         "cannot read the simulation file " + folder.Path("none.sim")},
        {"report into a folder", true, "", valid, folder.Root(), 0, true, "cannot write the report " + folder.Root()},
        {"no window", true, "", valid, "", 0, false, "Error creating event window."},
        {"engine set-up", true, "", valid, "", 98, true, "Bind error  = 98"},
        {"no dictionary", true, folder.Path("none/"), valid, "", 0, true,
         "cannot read the dictionary " + folder.Path("none/default.dic") + ": No such file or directory"},
        {"invalid file", true, "", invalid, "", 0, true,
         "Invalid Simulation file: " + invalid + " (its first line is invalid: time)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(optionsFile.c_str());
        if (c.optionsFile) WriteOptions(UsableOptions(c.dictDir));
        auto fake = std::make_unique<WatchableFakeSocket>();
        if (c.bindError != 0) fake->openFailure = {DatagramSocket::OpenStep::Bind, c.bindError};
        socket = fake.get();
        engine = std::make_unique<RadiusEngine>(&clock, &random, std::move(fake));
        BindShell(*engine, *simulation, clock);
        platform.SetWindowCreationAllowed(c.windows);
        log.Clear();

        EXPECT_EQ(RunSimulationFile({c.simulationFile, c.report, std::nullopt}), kRunNotStarted);
        EXPECT_TRUE(Logged("Run failure: " + c.reason));
        EXPECT_EQ(Shell().mainWindow, kNoWindow);
        EXPECT_EQ(Shell().timerId, 0u);
        EXPECT_EQ(platform.SocketWindow(socket->Fd()), kNoWindow);
        EXPECT_EQ(Option("SessionId"), "<missing>");
        EXPECT_TRUE(socket->sent.empty());
    }
}

// The tally the run puts between the simulation and the engine goes with the run.
TEST_F(RunModeTest, AFileThatDoesNotLoadGivesTheSimulationBackToTheEngine) {
    WriteOptions(UsableOptions());
    ASSERT_EQ(RunSimulationFile({SimulationFile("invalid.sim", "not a simulation line\n"), "", std::nullopt}),
              kRunNotStarted);

    ASSERT_TRUE(simulation->LoadFile(SimulationFile("valid.sim", "0:00:00:00,alice,pw,00:01\n").c_str()));
    EXPECT_EQ(engine->SessionCount(), 1u);
    EXPECT_EQ(socket->sent.size(), 1u);
}

}  // namespace
}  // namespace shell_test
