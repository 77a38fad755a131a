#include "shell/run_mode.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iterator>

#include "infra/clock.h"
#include "infra/log.h"
#include "infra/regular_file.h"
#include "platform/platform.h"
#include "radius/radius_engine.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/progress.h"
#include "shell/run_report.h"
#include "shell/shell_state.h"
#include "shell/simulator.h"
#include "simulation/simulation.h"

namespace {

constexpr std::uint32_t kGraceTimerId = 2;
constexpr std::uint32_t kGraceTickMs = 100;

volatile sig_atomic_t stopSignals = 0;

void OnStopSignal(int) { stopSignals = stopSignals + 1; }

// SIGINT, SIGTERM and SIGHUP (the terminal went away) end the run (checked at every message;
// the 100 ms timer bounds the wait).
class StopSignals {
public:
    StopSignals() {
        stopSignals = 0;
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: poll() returns at once
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &action, &previous_[i]);
    }
    ~StopSignals() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    int Count() const { return stopSignals; }

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[std::size(kSignals)] {};
};

// Stands between the simulation and the engine to count the lines the engine refused: a
// session that was not even recorded (no NAS port, no identifier, too large). One whose first
// transmission failed is recorded and retried like an unanswered one.
class SessionTally : public SessionStarter {
public:
    explicit SessionTally(RadiusEngine& engine) : engine_(engine) {}
    bool AddSession(const char* userName, const char* password, std::uint32_t duration,
                    const AttributeList& authAttributes, const AttributeList& acctStartAttributes,
                    const AttributeList& acctStopAttributes) override {
        const std::size_t before = engine_.SessionCount();
        const bool added = engine_.AddSession(userName, password, duration, authAttributes, acctStartAttributes,
                                              acctStopAttributes);
        if (!added && engine_.SessionCount() == before) ++notStarted_;
        return added;
    }
    const char* LastError() const override { return engine_.LastError(); }
    std::uint64_t NotStarted() const { return notStarted_; }

private:
    RadiusEngine& engine_;
    std::uint64_t notStarted_ = 0;
};

ProgressFigures CurrentFigures(const RadiusEngine& engine, const Simulation& simulation) {
    ProgressFigures figures;
    figures.linesRead = simulation.LinesRead();
    figures.sessionsLive = engine.SessionCount();
    for (const Session& session : engine.Sessions())
        if (session.state != SessionState::Active) ++figures.outstanding;
    const RequestStatistics& statistics = engine.Statistics();
    figures.accepted = statistics.Outcomes(AccessOutcome::Accept);
    figures.rejected = statistics.Outcomes(AccessOutcome::Reject);
    figures.dropped = statistics.TotalDrops();
    return figures;
}

bool PumpOneMessage(Platform& platform) {
    Message message;
    if (!platform.GetMessage(message)) return false;
    platform.DispatchMessage(message);
    return true;
}

int NotStarted(const std::string& text) {
    std::fprintf(stderr, "pelvok: %s\n", text.c_str());
    Log(0, "Run failure: %s", text.c_str());
    return kRunNotStarted;
}

void CloseMainWindow(ShellState& shell) {
    if (shell.mainWindow != kNoWindow) CurrentPlatform().DestroyWindow(shell.mainWindow);
    shell.mainWindow = kNoWindow;
}

// Undoes what InitSimulator set up when the run cannot go on (no options are saved).
void AbandonStart(ShellState& shell) {
    if (shell.timerId != 0) CurrentPlatform().KillTimer(shell.mainWindow, shell.timerId);
    shell.timerId = 0;
    CloseMainWindow(shell);
}

}  // namespace

int RunSimulationFile(const RunRequest& request) {
    ShellState& shell = Shell();
    Platform& platform = CurrentPlatform();
    const Clock& clock = shell.clock != nullptr ? *shell.clock : SystemClock::Instance();
    RadiusEngine& engine = *shell.engine;
    Simulation& simulation = *shell.simulation;

    // A run takes its settings from an options file that is there and says something: no
    // silent defaults.
    if (const std::string problem = OptionsFileProblem(true); !problem.empty()) return NotStarted(problem);
    // A file that cannot be read is told apart from one that is not a simulation.
    int error = 0;
    const int simulationFd = OpenRegularFileForReading(request.simulationFile, &error);
    if (simulationFd < 0)
        return NotStarted("cannot read the simulation file " + request.simulationFile + ": " + FileErrorText(error));
    close(simulationFd);
    // A report that cannot be written is found now, not after the whole run.
    if (std::string reportError; !request.reportFile.empty() && !CheckRunReportPath(request.reportFile, reportError))
        return NotStarted(reportError);

    if (CreateMainWindow() == kNoWindow) return NotStarted("Error creating event window.");
    std::string failureText;
    if (!InitSimulator(failureText, ServerAddress::Required)) {
        AbandonStart(shell);
        return NotStarted(failureText);
    }

    StopSignals signals;
    RunResult result;
    result.simulationFile = request.simulationFile;
    result.start = clock.Now();
    const std::uint32_t startMs = clock.TickCount();
    engine.ResetCounters();

    ProgressDisplay progress(stderr, StandardErrorIsTerminal(), startMs);
    shell.echoResultsToStdout = true;
    engine.SetResultCallback([&progress](const char* line) {
        progress.Clear();
        ShowOutputLine(line);
    });
    SessionTally tally(engine);
    simulation.Attach(&tally, shell.options.dictName.c_str());

    if (!simulation.LoadFile(request.simulationFile.c_str())) {
        AbandonStart(shell);
        engine.SetResultCallback(ShowOutputLine);
        simulation.Attach(&engine, shell.options.dictName.c_str());
        return NotStarted("Invalid Simulation file: " + request.simulationFile);
    }
    shell.simulationRunning = true;
    UpdateTitle();

    const std::uint64_t maxWaitMs = request.maxWaitSeconds ? std::uint64_t{*request.maxWaitSeconds} * 1000u : 0;
    for (;;) {
        if (signals.Count() > 0) {
            result.how = RunEnd::Interrupted;
            break;
        }
        if (!shell.simulationRunning && engine.SessionCount() == 0) break;
        if (request.maxWaitSeconds && clock.TickCount() - startMs >= maxWaitMs) {
            result.how = RunEnd::WaitRanOut;
            break;
        }
        if (progress.Due(clock.TickCount())) progress.Update(clock.TickCount(), CurrentFigures(engine, simulation));
        if (!PumpOneMessage(platform)) {  // the window went away
            result.how = RunEnd::Interrupted;
            break;
        }
    }
    progress.Clear();

    if (result.how != RunEnd::Completed) {
        // No further line starts; the counter report follows once the last session has ended.
        shell.simulationRunning = false;
        engine.SetSimulationDone();
    }
    // The stops of live sessions (none when the run completed), the timer, the options.
    result.optionsSaved = ShutdownSimulator();
    if (result.how != RunEnd::Completed && engine.SessionCount() > 0 &&
        platform.SetTimer(shell.mainWindow, kGraceTimerId, kGraceTickMs) != 0) {
        const int signalsSoFar = signals.Count();
        const std::uint32_t graceStart = clock.TickCount();
        while (engine.SessionCount() > 0 && signals.Count() == signalsSoFar &&
               clock.TickCount() - graceStart < kStopGraceMs && PumpOneMessage(platform)) {
        }
        platform.KillTimer(shell.mainWindow, kGraceTimerId);
    }
    if (engine.SimulationDone()) engine.ReportCounters();  // sessions are left: report anyway

    result.end = clock.Now();
    result.counters = engine.Counters();
    result.statistics = engine.Statistics();
    result.sessionsNotStarted = tally.NotStarted();
    result.sessionsUnfinished = engine.SessionCount();
    engine.SetResultCallback(ShowOutputLine);
    simulation.Attach(&engine, shell.options.dictName.c_str());
    CloseMainWindow(shell);

    for (const std::string& line : RunSummaryLines(result)) std::printf("%s\n", line.c_str());
    std::fflush(stdout);

    int status = RunExitStatus(result);
    if (!request.reportFile.empty()) {
        std::string error;
        if (!WriteRunReport(request.reportFile, result, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            status = kRunFailed;
        }
    }
    return status;
}
