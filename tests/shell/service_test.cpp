// The service frame in-process: ServiceMain, or the whole service with its own thread, with
// the headless platform.
#include "shell/service.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <thread>

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

        Service service;
        service.ServiceMain();
        const ServiceStatus status = service.LastServiceStatus();
        EXPECT_EQ(status.currentState, kServiceStopped);
        EXPECT_EQ(status.win32ExitCode, kServiceSpecificError);
        EXPECT_EQ(status.serviceSpecificExitCode, c.code);
        EXPECT_EQ(service.ServiceExitCode(), static_cast<int>(c.code));
        EXPECT_TRUE(log.Contains("Service Init failure: " + c.text));
        EXPECT_FALSE(folder.Read("pelvok.ini").find("SessionId") != std::string::npos)
            << "a failed start writes no options";
    }
}

// What systemd reads: READY=1 once the file plays, STOPPING=1 at a stop, a failed start's code.
TEST(ServiceNotification, SaysReadyStoppingAndAFailedStartsCode) {
    const struct {
        std::uint32_t state;
        std::uint32_t win32ExitCode;
        std::uint32_t code;
        const char* text;
    } cases[] = {
        {kServiceStartPending, 0, 0, "STATUS=Starting"},
        {kServiceRunning, 0, 0, "READY=1\nSTATUS=Playing the simulation file"},
        {kServiceStopPending, 0, 0, "STOPPING=1\nSTATUS=Stopping"},
        {kServiceStopped, 0, 0, "STATUS=Stopped"},
        {kServiceStopped, kServiceSpecificError, kNoSimulationFile, "STATUS=Start failed with code 3"},
    };
    for (const auto& c : cases) {
        ServiceStatus status;
        status.currentState = c.state;
        status.win32ExitCode = c.win32ExitCode;
        status.serviceSpecificExitCode = c.code;
        EXPECT_EQ(ServiceNotification(status), c.text);
    }
}

// Run on the test's thread: the service thread ends by itself (a failed start), or a stop
// control (SIGTERM to the waiting thread) ends it; either way its steps are over, the stop
// said once and the thread joined when Run returns.
TEST_F(ServiceTest, RunReturnsOnceTheServiceThreadHasEnded) {
    const struct {
        const char* name;
        std::string simFile;
        bool stop;
        int exitCode;
        std::size_t stopLines;
    } cases[] = {
        {"failed start", folder.Root() + "/none.sim", false, static_cast<int>(kNoSimulationFile), 0},
        {"stop control", SimulationFile("later.sim", "0:01:00:00,zed,pw,00:01\n"), true, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetShell();
        BindShell(*engine, *simulation, clock);
        Options("SimFile=" + c.simFile + "\n");
        log.Clear();

        Service service;
        const pthread_t dispatcher = pthread_self();
        std::thread stopper([&] {
            if (!c.stop) return;
            // Running is reported after Run has blocked the signal for the thread that waits.
            for (int i = 0; i < 10000 && service.LastServiceStatus().currentState != kServiceRunning; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (service.LastServiceStatus().currentState == kServiceRunning) pthread_kill(dispatcher, SIGTERM);
        });
        EXPECT_TRUE(service.Run());
        stopper.join();

        EXPECT_EQ(service.LastServiceStatus().currentState, kServiceStopped);
        EXPECT_EQ(service.ServiceExitCode(), c.exitCode);
        std::size_t stopLines = 0;
        for (const std::string& line : log.Lines()) stopLines += line == "Service stopped";
        EXPECT_EQ(stopLines, c.stopLines);
        // The shutdown steps ran on the service thread before the stop was reported.
        EXPECT_EQ(Option("SessionId") != "<missing>", c.stop);
    }
}

}  // namespace
}  // namespace shell_test
