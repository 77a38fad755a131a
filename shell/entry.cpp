#include "shell/entry.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "infra/clock.h"
#include "infra/in_use_lock.h"
#include "infra/log.h"
#include "infra/logger.h"
#include "infra/number_text.h"
#include "platform/headless_platform.h"
#include "platform/platform.h"
#include "radius/md5.h"
#include "shell/dialogs.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/probe.h"
#include "shell/run_mode.h"
#include "shell/service.h"
#include "shell/shell_state.h"
#include "shell/simulator.h"
#include "shell/window_placement.h"

namespace {

// The value of "--name VALUE" or "--name=VALUE" at argv[i] (i moves past it); null when the
// argument is another one. An empty or missing value is an error.
const char* OptionValue(const char* name, int argc, char** argv, int& i, bool& missing) {
    const char* argument = argv[i];
    const std::size_t length = std::strlen(name);
    if (std::strncmp(argument, name, length) != 0) return nullptr;
    const char* value = nullptr;
    if (argument[length] == '\0') {
        value = i + 1 < argc ? argv[++i] : "";
    } else if (argument[length] == '=') {
        value = argument + length + 1;
    } else {
        return nullptr;  // a longer name
    }
    missing = value[0] == '\0';
    return value;
}

// Set while the interactive program's message loop runs: its shutdown steps are still due.
std::atomic<bool> interactiveLoopRunning{false};

// Qt's X11 back end ends the process with exit(1) when the connection to the display breaks,
// from inside the event loop on the GUI thread; the shutdown steps (the accounting stops, the
// options) and the stop line must still run then, once.
void ShutdownAtExit() {
    if (!interactiveLoopRunning.exchange(false)) return;
    ShutdownSimulator();
    Log(2, "Quorlan Pelvok Stopped");
    DeleteLogger();
}

// A reader that went away (pelvok --run ... | head -1) or a file size limit (ulimit -f) would
// end the process before its accounting stops and its options save; ignored, they make the
// write fail (EPIPE, EFBIG), and a failed write is handled like any other.
void IgnoreWriteSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

// Another process holds the options file: told on standard error, and in a message box when
// the interactive program was asked for.
int RefuseSecondInstance(const CommandLine& commandLine, GuiPlatformFactory gui, int& argc,
                         char** argv, const std::string& reason) {
    const bool interactive = commandLine.runFile.empty() && !commandLine.runLoad && !IsServiceMode() && gui != nullptr;
    const std::unique_ptr<Platform> platform = interactive ? gui(argc, argv) : nullptr;
    std::fprintf(stderr, "pelvok: %s\n", reason.c_str());
    if (platform) platform->MessageBox(kNoWindow, reason, "Init Error", MB_OK);
    return 2;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine& commandLine, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        bool missing = false;
        if (argument == "--help" || argument == "-h") {
            commandLine.help = true;
        } else if (argument == "--version") {
            commandLine.version = true;
        } else if (argument == "--probe") {
            commandLine.probe = true;
        } else if (const char* file = OptionValue("--config", argc, argv, i, missing)) {
            if (missing) {
                error = "pelvok: --config needs a file name";
                return false;
            }
            commandLine.configFile = file;
        } else if (argument == "--run" && i + 1 < argc && std::strncmp(argv[i + 1], "--load", 6) == 0) {
            commandLine.runLoad = true;  // the load's options follow
        } else if (const char* name = LoadPlan::OptionName(argv[i])) {
            const char* value = OptionValue(name, argc, argv, i, missing);
            if (missing) {
                error = std::string("pelvok: ") + name + " needs a value";
                return false;
            }
            if (!commandLine.load.Set(name, value, error)) return false;
        } else if (const char* run = OptionValue("--run", argc, argv, i, missing)) {
            if (missing) {
                error = "pelvok: --run needs a simulation file";
                return false;
            }
            commandLine.runFile = run;
        } else if (const char* report = OptionValue("--report", argc, argv, i, missing)) {
            if (missing) {
                error = "pelvok: --report needs a file name";
                return false;
            }
            commandLine.reportFile = report;
        } else if (const char* timeline = OptionValue("--timeline", argc, argv, i, missing)) {
            if (missing) {
                error = "pelvok: --timeline needs a file name";
                return false;
            }
            commandLine.timelineFile = timeline;
        } else if (const char* wait = OptionValue("--max-wait", argc, argv, i, missing)) {
            std::uint64_t seconds = 0;
            if (missing || !ParseWholeNumber(wait, kMaxWaitLimitSeconds, seconds)) {
                error = "pelvok: --max-wait needs a whole number of seconds from 1 to " +
                        std::to_string(kMaxWaitLimitSeconds);
                return false;
            }
            commandLine.maxWaitSeconds = static_cast<std::uint32_t>(seconds);
        } else if (argument == "--strict") {
            commandLine.strict = true;
        } else if (argument == "--save-session-id") {
            commandLine.saveSessionId = true;
        } else if (const char* server = OptionValue("--server", argc, argv, i, missing)) {
            if (!ParseServerOption(missing ? "" : server, commandLine.overrides, error)) return false;
        } else if (const char* secret = OptionValue("--secret", argc, argv, i, missing)) {
            if (missing) {
                error = "pelvok: --secret needs a value";
                return false;
            }
            if (!ParseSecretOption(secret, commandLine.overrides, error)) return false;
        } else if (const char* dictionary = OptionValue("--dictionary", argc, argv, i, missing)) {
            if (missing) {
                error = "pelvok: --dictionary needs a file name";
                return false;
            }
            if (!ParseDictionaryOption(dictionary, commandLine.overrides, error)) return false;
        } else {
            error = "pelvok: unknown argument: " + argument;
            return false;
        }
    }
    const bool running = !commandLine.runFile.empty() || commandLine.runLoad;
    const OptionOverrides& overrides = commandLine.overrides;
    const bool runOptions = !commandLine.reportFile.empty() || commandLine.maxWaitSeconds ||
                            !commandLine.timelineFile.empty() || commandLine.strict || commandLine.saveSessionId ||
                            overrides.dictionaryFile;
    if (!running && runOptions) {
        error = "pelvok: --report, --max-wait, --timeline, --strict, --save-session-id and --dictionary go with --run";
        return false;
    }
    if (!running && !commandLine.probe && (overrides.serverHost || overrides.secret)) {
        error = "pelvok: --server and --secret go with --run or --probe";
        return false;
    }
    if (commandLine.probe && running) {
        error = "pelvok: --probe goes without --run";
        return false;
    }
    if (!commandLine.runLoad && commandLine.load.Any()) {
        error = commandLine.runFile.empty() ? "pelvok: --load and its options go with --run"
                                            : "pelvok: --run plays a simulation file or a --load, not both";
        return false;
    }
    return !commandLine.runLoad || commandLine.load.Complete(error);
}

int RunInteractive(GuiPlatformFactory gui, int& argc, char** argv) {
    // The factory says why it cannot show a window (no display, most often).
    std::unique_ptr<Platform> platform = gui != nullptr ? gui(argc, argv) : nullptr;
    if (!platform) {
        if (gui == nullptr) std::fprintf(stderr, "pelvok: this build has no window (it was built without Qt)\n");
        std::fprintf(stderr,
                     "pelvok: without a window, play a simulation file with \"pelvok --run SIMFILE\" "
                     "(see pelvok --help),\n"
                     "or run as a service: Service=1 and SimFile in the options file (%s).\n",
                     GetOptionsFile().c_str());
        return 1;
    }
    SetCurrentPlatform(platform.get());

    ShellState& shell = Shell();
    if (CreateMainWindow() != kNoWindow) {
        RestoreWindowPlacement();
        platform->ShowWindow(shell.mainWindow, true);
        // An options file that says nothing usable is told, not silently replaced by defaults.
        if (const std::string problem = OptionsFileProblem(false); !problem.empty())
            platform->MessageBox(shell.mainWindow, problem + ".\nThe defaults are used.", "Options",
                                 MB_OK);
        std::string failureText;
        if (!InitSimulator(failureText)) {
            platform->MessageBox(shell.mainWindow, failureText, "Init Error", MB_OK);
        } else {
            LoadMd5();  // the stops made at exit are signed before OpenSSL cleans up
            static const bool atExitHooked = std::atexit(ShutdownAtExit) == 0;
            (void)atExitHooked;
            interactiveLoopRunning = true;
            Message message;
            while (platform->GetMessage(message)) platform->DispatchMessage(message);
            if (interactiveLoopRunning.exchange(false)) ShutdownSimulator();
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
    if (commandLine.help) {
        std::printf("%s\n%s", kUsage, kHelp);
        return 0;
    }
    if (commandLine.version) {
        std::printf("pelvok %s\n", kVersion);
        return 0;
    }
    IgnoreWriteSignals();
    SetOptionsFile(commandLine.configFile);
    BindShell(engine, simulation, SystemClock::Instance());
    RegisterDialogProcedures(PelvokDialogProcedures());
    if (commandLine.probe) {
        // Only reads the options file: it may be in use by a run being probed.
        Shell().overrides = commandLine.overrides;
        HeadlessPlatform headless(SystemClock::Instance());
        SetCurrentPlatform(&headless);
        const int probeStatus = RunProbe();
        SetCurrentPlatform(nullptr);
        return probeStatus;
    }
    if (!commandLine.runFile.empty() || commandLine.runLoad) {
        // A run leaves its options file as it was, unless asked to keep its session numbers.
        Shell().overrides = commandLine.overrides;
        Shell().optionsSaving = commandLine.saveSessionId ? OptionsSaving::SessionIdOnly : OptionsSaving::Nothing;
    }

    const std::string optionsFile = GetOptionsFile();
    // The Logger keeps the name in 259 characters: cut, it would read another file's settings.
    if (optionsFile.size() >= kLogPathSize) {
        std::fprintf(stderr, "pelvok: the options file name is longer than %zu characters: %s\n",
                     kLogPathSize - 1, optionsFile.c_str());
        return 2;
    }
    // Two processes on one options file would number their sessions alike, and each would
    // write its SessionId over the other's. A run on the defaults reads and writes no options
    // file: nothing to hold, and no lock file is left beside the program.
    const bool running = !commandLine.runFile.empty() || commandLine.runLoad;
    const bool onDefaults = running && !OptionsFileNamed() && !OptionsFileIsPresent();
    InUseLock optionsInUse;
    if (std::string reason; !optionsFile.empty() && !onDefaults && !optionsInUse.Acquire(optionsFile, reason))
        return RefuseSecondInstance(commandLine, gui, argc, argv, reason);

    // The log settings are the section "Logs" of the options file.
    Logger* logger = new (std::nothrow) Logger(optionsFile.c_str(), true, nullptr, 0, true);
    SetLogger(logger);
    if (logger != nullptr) {
        for (const std::string& problem : logger->ConfigurationProblems()) {
            std::fprintf(stderr, "pelvok: %s\n", problem.c_str());
            Log(1, "%s", problem.c_str());
        }
    }
    Log(2, "Quorlan Pelvok Started");

    int exitStatus = 0;
    if (commandLine.runLoad) {
        HeadlessPlatform headless(SystemClock::Instance());
        SetCurrentPlatform(&headless);
        exitStatus = RunLoadPlan(commandLine.load, {{}, commandLine.reportFile, commandLine.maxWaitSeconds, false,
                                                      commandLine.saveSessionId, commandLine.timelineFile});
        SetCurrentPlatform(nullptr);
    } else if (!commandLine.runFile.empty()) {
        // The keys "Service" and "SimFile" are not consulted: the command line says what to play.
        HeadlessPlatform headless(SystemClock::Instance());
        SetCurrentPlatform(&headless);
        exitStatus = RunSimulationFile({commandLine.runFile, commandLine.reportFile, commandLine.maxWaitSeconds,
                                        commandLine.strict, commandLine.saveSessionId, commandLine.timelineFile});
        SetCurrentPlatform(nullptr);
    } else if (IsServiceMode()) {
        HeadlessPlatform headless(SystemClock::Instance());
        SetCurrentPlatform(&headless);
        Shell().echoResultsToStdout = true;
        Service service;
        service.Run();
        exitStatus = service.ServiceExitCode();
        SetCurrentPlatform(nullptr);
    } else {
        exitStatus = RunInteractive(gui, argc, argv);
    }

    Log(2, "Quorlan Pelvok Stopped");
    DeleteLogger();
    return exitStatus;
}
