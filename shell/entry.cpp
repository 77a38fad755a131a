#include "shell/entry.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "infra/clock.h"
#include "infra/log.h"
#include "infra/logger.h"
#include "platform/headless_platform.h"
#include "platform/platform.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/service.h"
#include "shell/shell_state.h"
#include "shell/simulator.h"

bool ParseCommandLine(int argc, char** argv, CommandLine& commandLine, std::string& error) {
    constexpr const char* kConfig = "--config";
    constexpr std::size_t kConfigLength = 8;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, kConfig) == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = "pelvok: --config needs a file name";
                return false;
            }
            commandLine.configFile = argv[++i];
        } else if (std::strncmp(argument, kConfig, kConfigLength) == 0 &&
                   argument[kConfigLength] == '=' && argument[kConfigLength + 1] != '\0') {
            commandLine.configFile = argument + kConfigLength + 1;
        } else {
            error = std::string("pelvok: unknown argument: ") + argument;
            return false;
        }
    }
    return true;
}

int RunInteractive(GuiPlatformFactory gui, int& argc, char** argv) {
    std::unique_ptr<Platform> platform = gui != nullptr ? gui(argc, argv) : nullptr;
    if (!platform) {
        std::fprintf(stderr,
                     "pelvok: no window can be shown: this build has no interactive front end "
                     "(or it could not start).\n"
                     "Set Service=1 and SimFile in the options file (%s) to play a simulation "
                     "file without a window.\n",
                     GetOptionsFile().c_str());
        return 1;
    }
    SetCurrentPlatform(platform.get());

    ShellState& shell = Shell();
    if (CreateMainWindow() != kNoWindow) {
        platform->ShowWindow(shell.mainWindow, true);
        std::string failureText;
        if (!InitSimulator(failureText)) {
            platform->MessageBox(shell.mainWindow, failureText, "Init Error", MB_OK);
        } else {
            Message message;
            while (platform->GetMessage(message)) platform->DispatchMessage(message);
            ShutdownSimulator();
        }
    }
    SetCurrentPlatform(nullptr);
    return 0;
}

int PelvokMain(int argc, char** argv, RadiusEngine& engine, Simulation& simulation,
               GuiPlatformFactory gui) {
    CommandLine commandLine;
    std::string error;
    if (!ParseCommandLine(argc, argv, commandLine, error)) {
        std::fprintf(stderr, "%s\n%s", error.c_str(), kUsage);
        return 2;
    }
    SetOptionsFile(commandLine.configFile);
    BindShell(engine, simulation, SystemClock::Instance());

    // The log settings are the section "Logs" of the options file.
    const std::string optionsFile = GetOptionsFile();
    SetLogger(new (std::nothrow) Logger(optionsFile.c_str(), true, nullptr, 0, true));
    Log(2, "Quorlan Pelvok Started");

    int exitStatus = 0;
    if (IsServiceMode()) {
        HeadlessPlatform headless(SystemClock::Instance());
        SetCurrentPlatform(&headless);
        Shell().echoResultsToStdout = true;
        RunService();
        exitStatus = ServiceExitCode();
        SetCurrentPlatform(nullptr);
    } else {
        exitStatus = RunInteractive(gui, argc, argv);
    }

    Log(2, "Quorlan Pelvok Stopped");
    DeleteLogger();
    return exitStatus;
}
