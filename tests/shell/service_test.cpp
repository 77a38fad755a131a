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

TEST_F(ServiceTest, StopWaitingInTheQueueEndsTheLoopWithTheShutdownSteps) {
    Options("SessionId=41\nSimFile=" + SimulationFile("run.sim", "0:00:00:00,alice,pw,00:10\n"
                                                                  "0:01:00:00,bob,pw,00:10\n") + "\n");
    // A stop that comes before the loop starts is not lost.
    platform.PostThreadMessage(platform.CurrentThreadId(), WM_CLOSE, 0, 0);
    ServiceMain(0, nullptr);
    EXPECT_EQ(LastServiceStatus().currentState, kServiceStopped);
    EXPECT_EQ(LastServiceStatus().win32ExitCode, 0u);
    EXPECT_EQ(ServiceExitCode(), 0);
    EXPECT_EQ(socket->sent.size(), 1u);     // alice, sent when the file was loaded
    EXPECT_EQ(Option("SessionId"), "42");  // the shutdown saved the options
    EXPECT_FALSE(platform.IsWindow(Shell().mainWindow));
}

TEST_F(ServiceTest, ControlsOtherThanStopAreAnsweredWithRunning) {
    for (std::uint32_t control : {kServiceControlPause, kServiceControlContinue,
                                  kServiceControlInterrogate, 77u}) {
        ReportServiceStatus(kServiceStartPending, 0, 0);
        ServiceCtrlHandler(control);
        EXPECT_EQ(LastServiceStatus().currentState, kServiceRunning);
        EXPECT_EQ(LastServiceStatus().controlsAccepted, kServiceAcceptStop);
    }
    EXPECT_TRUE(log.Contains("ServiceCtrlHandler: Unrecognized opcode 77"));
    ReportServiceStatus(kServiceStopPending, 0, 0);
    EXPECT_EQ(LastServiceStatus().controlsAccepted, 0u);
}

}  // namespace
}  // namespace shell_test
