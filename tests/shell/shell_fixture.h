// The shell around a real engine and simulation on a hand-moved clock, an in-process socket
// and the scripted headless platform, with its options file in a fresh folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "infra/clock.h"
#include "infra/profile_file.h"
#include "shell/dialogs.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/resources.h"
#include "shell/shell_state.h"
#include "shell/simulator.h"
#include "simulation/simulation.h"
#include "tests/infra/temp_folder.h"
#include "tests/platform/scripted_platform.h"
#include "tests/radius/engine_test_support.h"
#include "tests/support/capturing_logger.h"

namespace shell_test {

// The engine's fake socket with a real descriptor, so the platform can register it.
class WatchableFakeSocket : public radius_test::FakeSocket {
public:
    WatchableFakeSocket() : fd_(eventfd(0, EFD_CLOEXEC)) {}
    ~WatchableFakeSocket() override {
        if (fd_ >= 0) close(fd_);
    }
    // A descriptor number that is not open when brokenFd is set.
    int Fd() const override { return !open ? -1 : brokenFd ? 1 << 20 : fd_; }
    bool brokenFd = false;

private:
    int fd_;
};

inline bool ResolveLocalhostOnly(const char* name, SocketAddress& address) {
    if (std::string(name) != "localhost") return false;
    address = SocketAddress::Ipv4(0x7F000001, 0);
    return true;
}

class ShellTest : public testing::Test {
protected:
    ShellTest() : platform(clock) {
        auto fake = std::make_unique<WatchableFakeSocket>();
        socket = fake.get();
        engine = std::make_unique<RadiusEngine>(&clock, &random, std::move(fake));
        simulation = std::make_unique<Simulation>(clock);
        SetCurrentPlatform(&platform);
        SetHostResolver(ResolveLocalhostOnly);
        optionsFile = folder.Path("pelvok.ini");
        SetOptionsFile(optionsFile);
        BindShell(*engine, *simulation, clock);
    }
    ~ShellTest() override {
        ResetShell();
        RegisterDialogProcedures({});
        SetOptionsFile("");
        SetHostResolver(nullptr);
        SetCurrentPlatform(nullptr);
    }

    void WriteOptions(const std::string& text) { folder.Write("pelvok.ini", text); }
    // The program as it starts: options for a server on 127.0.0.1:1812 with the dictionary
    // folder of the test (and the lines given), the main window, the set-up, the dialogs.
    void StartProgram(const std::string& options = "") {
        WriteOptions("[Options]\nQuorlanPort=1812\nRadHost=127.0.0.1\nSessionId=1000\nDictDir=" +
                     folder.Root() + "/\n" + options);
        ASSERT_NE(CreateMainWindow(), kNoWindow);
        std::string failure;
        ASSERT_TRUE(InitSimulator(failure)) << failure;
        RegisterDialogProcedures(PelvokDialogProcedures());
    }
    std::string Option(const char* key) {
        return ReadProfileString(optionsFile, "Options", key, "<missing>");
    }
    // A simulation file in the temporary folder.
    std::string SimulationFile(const std::string& name, const std::string& lines) {
        folder.Write(name, lines);
        return folder.Path(name);
    }

    CapturingLogger log;
    TempFolder folder;
    std::string optionsFile;
    ManualClock clock;
    radius_test::CountingRandomSource random;
    WatchableFakeSocket* socket = nullptr;
    std::unique_ptr<RadiusEngine> engine;
    std::unique_ptr<Simulation> simulation;
    ScriptedPlatform platform;
};

}  // namespace shell_test
