// The service frame in-process: ServiceMain on the test's thread, with the headless platform.
#include "shell/service.h"

#include <gtest/gtest.h>

#include "radius/radius_engine.h"
#include "shell/main_window.h"
#include "tests/shell/shell_fixture.h"

namespace shell_test {
namespace {

class ServiceTest : public ShellTest {
protected:
    // The first line of a key counts: extra lines stand before the usual ones.
    void Options(const std::string& extra) {
        WriteOptions("[Options]\n" + extra + "Service=1\nQuorlanPort=1812\nRadHost=127.0.0.1\nDictDir=" +
                     folder.Root() + "/\n");
        ASSERT_TRUE(IsServiceMode());
    }
};

TEST_F(ServiceTest, StartFailuresStopWithTheirCodeAndText) {
    const std::string tooLong(260, 'x');
    const struct {
        const char* name;
        std::uint32_t code;
        std::string text;
        std::string extra;
    } cases[] = {
        {"window", kNoEventWindow, "Error creating event window.", ""},
        {"engine", kInitFailed, "Bind error  = 98", ""},
        {"no file", kNoSimulationFile, "Missing Simulation file option.", ""},
        {"bad file", kNoSimulationFile, "Invalid Simulation file.", "SimFile=" + folder.Root() + "/none.sim\n"},
        // Nobody could correct it, and 0.0.0.0 would be this very host.
        {"unknown host", kInitFailed, "no usable RADIUS server address (RadHost) in " + optionsFile,
         "RadHost=no-such-host\n"},
        // Cut to fit, these would name other files.
        {"long folder", kInitFailed, "DictDir in the options file is longer than 259 characters",
         "DictDir=" + tooLong + "\n"},
        {"long file name", kNoSimulationFile, "Invalid Simulation file.", "SimFile=" + tooLong + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetShell();
        auto fake = std::make_unique<WatchableFakeSocket>();
        if (std::string(c.name) == "engine") fake->openFailure = {DatagramSocket::OpenStep::Bind, 98};
        engine = std::make_unique<RadiusEngine>(&clock, &random, std::move(fake));
        BindShell(*engine, *simulation, clock);
        platform.SetWindowCreationAllowed(std::string(c.name) != "window");
        Options(c.extra);
        log.Clear();

        ServiceMain(0, nullptr);
        const ServiceStatus status = LastServiceStatus();
        EXPECT_EQ(status.currentState, kServiceStopped);
        EXPECT_EQ(status.win32ExitCode, kServiceSpecificError);
        EXPECT_EQ(status.serviceSpecificExitCode, c.code);
        EXPECT_EQ(ServiceExitCode(), static_cast<int>(c.code));
        EXPECT_TRUE(log.Contains("Service Init failure: " + c.text));
        EXPECT_FALSE(folder.Read("pelvok.ini").find("SessionId") != std::string::npos)
            << "a failed start writes no options";
    }
}

}  // namespace
}  // namespace shell_test
