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
    void Options(const std::string& extra) {
        WriteOptions("[Options]\nService=1\nQuorlanPort=1812\nRadHost=127.0.0.1\nDictDir=" +
                     folder.Root() + "/\n" + extra);
        ASSERT_TRUE(IsServiceMode());
    }
};

TEST_F(ServiceTest, StartFailuresStopWithTheirCodeAndText) {
    const struct {
        const char* name;
        std::uint32_t code;
        const char* text;
    } cases[] = {
        {"window", kNoEventWindow, "Error creating event window."},
        {"engine", kInitFailed, "Bind error  = 98"},
        {"no file", kNoSimulationFile, "Missing Simulation file option."},
        {"bad file", kNoSimulationFile, "Invalid Simulation file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetShell();
        auto fake = std::make_unique<WatchableFakeSocket>();
        if (std::string(c.name) == "engine") fake->openFailure = {DatagramSocket::OpenStep::Bind, 98};
        engine = std::make_unique<RadiusEngine>(&clock, &random, std::move(fake));
        BindShell(*engine, *simulation, clock);
        platform.SetWindowCreationAllowed(std::string(c.name) != "window");
        Options(std::string(c.name) == "bad file" ? "SimFile=" + folder.Root() + "/none.sim\n" : "");
        log.Clear();

        ServiceMain(0, nullptr);
        const ServiceStatus status = LastServiceStatus();
        EXPECT_EQ(status.currentState, kServiceStopped);
        EXPECT_EQ(status.win32ExitCode, kServiceSpecificError);
        EXPECT_EQ(status.serviceSpecificExitCode, c.code);
        EXPECT_EQ(ServiceExitCode(), static_cast<int>(c.code));
        EXPECT_TRUE(log.Contains(std::string("Service Init failure: ") + c.text));
        EXPECT_FALSE(folder.Read("pelvok.ini").find("SessionId") != std::string::npos)
            << "a failed start writes no options";
    }
}

}  // namespace
}  // namespace shell_test
