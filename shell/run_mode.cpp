#include "shell/run_mode.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "infra/clock.h"
#include "infra/log.h"
#include "infra/output_file.h"
#include "infra/regular_file.h"
#include "platform/platform.h"
#include "radius/radius_engine.h"
#include "shell/file_search.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/pacing.h"
#include "shell/progress.h"
#include "shell/run_report.h"
#include "shell/run_timeline.h"
#include "shell/session_tally.h"
#include "shell/shell_state.h"
#include "shell/simulation_check.h"
#include "shell/simulator.h"
#include "shell/stop_signal_count.h"
#include "simulation/simulation.h"

namespace {

constexpr std::uint32_t kGraceTimerId = 2;
constexpr std::uint32_t kGraceTickMs = 100;
constexpr unsigned kStopSignalMessage = WM_USER + 2;  // the stop signals' pipe is readable

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

// One message handled; a stop signal's wake-up only ends the wait (the caller counts signals).
bool PumpOneMessage(Platform& platform, const StopSignalCount& signals) {
    Message message;
    if (!platform.GetMessage(message)) return false;
    if (message.message == kStopSignalMessage) {
        signals.TakeWake();
    } else {
        platform.DispatchMessage(message);
    }
    return true;
}

std::string JoinedPaths(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) text += (text.empty() ? "" : ", ") + path;
    return text;
}

// Why the dictionary the set-up asked for did not load: the file, and where it was looked for.
std::string DictionaryProblem(const ShellState& shell) {
    const std::string path = JoinPath(shell.options.dictDir, shell.options.dictName);
    int error = 0;
    const int fd = OpenRegularFileForReading(path, &error);
    if (fd < 0) {
        std::string text = "cannot read the dictionary " + path + ": " + FileErrorText(error);
        if (shell.dictionaryPathsTried.size() > 1)
            text += " (looked for " + JoinedPaths(shell.dictionaryPathsTried) + ")";
        return text + "; DictDir and DictName in the options file, or --dictionary FILE, name it";
    }
    close(fd);
    return "the dictionary " + path +
           " cannot be used: a line in it or in a file it includes is in error (logged at level 0)";
}

// Why a simulation file that could be opened was refused as a whole.
std::string RefusalReason(const InvalidLineCounts& invalid, std::uint64_t linesRead) {
    for (InvalidLineReason reason : kAllInvalidLineReasons)
        if (invalid.Of(reason) > 0)
            return std::string(" (its first line is invalid: ") + InvalidLineReasonName(reason) + ")";
    return linesRead == 0 ? " (it is empty)" : "";
}

int NotStarted(const std::string& text) {
    std::fprintf(stderr, "pelvok: %s\n", text.c_str());
    Log(0, "Run failure: %s", text.c_str());
    return kRunNotStarted;
}

// The hidden main window and the timer InitSimulator started on it go when the run is over,
// however it ends (the shutdown step has killed the timer already when the run got that far).
// No options are saved here.
class RunWindow {
public:
    RunWindow() = default;
    ~RunWindow() { Close(); }
    RunWindow(const RunWindow&) = delete;
    RunWindow& operator=(const RunWindow&) = delete;

    void Close() {
        ShellState& shell = Shell();
        if (shell.timerId != 0) CurrentPlatform().KillTimer(shell.mainWindow, shell.timerId);
        shell.timerId = 0;
        DestroyMainWindow();
    }
};

// For the length of a run, a result line first wipes the progress line, and the simulation
// starts its sessions through the tally; the shell's own wiring (InitSimulator's) comes back
// however the run ends.
class RunCallbacks {
public:
    RunCallbacks(ShellState& shell, ProgressDisplay& progress, SessionTally& tally) : shell_(shell) {
        shell.engine->SetResultCallback([&progress](const char* line) {
            progress.Clear();
            ShowOutputLine(line);
        });
        shell.simulation->Attach(&tally, shell.options.dictName.c_str());
    }
    ~RunCallbacks() {
        shell_.engine->SetResultCallback(ShowOutputLine);
        shell_.simulation->Attach(shell_.engine, shell_.options.dictName.c_str());
    }
    RunCallbacks(const RunCallbacks&) = delete;
    RunCallbacks& operator=(const RunCallbacks&) = delete;

private:
    ShellState& shell_;
};

// One run, step by step: pre-flight, start, play, drain, report.
class HeadlessRun {
public:
    explicit HeadlessRun(const RunRequest& request)
        : request_(request),
          shell_(Shell()),
          platform_(CurrentPlatform()),
          clock_(shell_.clock != nullptr ? *shell_.clock : SystemClock::Instance()),
          engine_(*shell_.engine),
          simulation_(*shell_.simulation),
          tally_(engine_) {}

    int Run();

private:
    bool PreFlight(std::string& problem) const;
    bool OptionsFileInUse(std::string& problem) const;
    bool Start(std::string& problem);
    bool EveryLineValid(std::string& problem) const;
    bool PlayFile(const StopSignalCount& signals, bool signalsWake, RunResult& result);
    RunEnd Play(const StopSignalCount& signals, ProgressDisplay& progress);
    std::optional<RunEnd> PlayEndsNow(const StopSignalCount& signals) const;
    bool Drain(RunEnd how, const StopSignalCount& signals);
    void AwaitLastReplies(const StopSignalCount& signals);
    void Collect(RunResult& result);
    int Report(const RunResult& result) const;

    const RunRequest& request_;
    ShellState& shell_;
    Platform& platform_;
    const Clock& clock_;
    RadiusEngine& engine_;
    Simulation& simulation_;
    SessionTally tally_;
    std::uint32_t startMs_ = 0;
    RunTimeline timeline_;
};

int HeadlessRun::Run() {
    std::string problem;
    if (!PreFlight(problem)) return NotStarted(problem);
    RunWindow window;
    if (!Start(problem)) return NotStarted(problem);
    // From here on a stop signal ends the run, not the process.
    StopSignalCount signals;
    const bool signalsWake = signals.WakeFd() >= 0 &&
                             platform_.AsyncSelect(signals.WakeFd(), shell_.mainWindow, kStopSignalMessage, FD_READ) == 0;
    RunResult result;
    const bool played = PlayFile(signals, signalsWake, result);
    if (signalsWake) platform_.AsyncSelect(signals.WakeFd(), shell_.mainWindow, 0, 0);
    if (!played)
        return NotStarted("Invalid Simulation file: " + request_.simulationFile +
                          RefusalReason(simulation_.InvalidLines(), simulation_.LinesRead()));
    window.Close();
    return Report(result);
}

// What would keep the run from starting is found before a window or a socket exists.
bool HeadlessRun::PreFlight(std::string& problem) const {
    if (!OptionsFileInUse(problem)) return false;
    // A file that cannot be read is told apart from one that is not a simulation.
    int error = 0;
    const int simulationFd = OpenRegularFileForReading(request_.simulationFile, &error);
    if (simulationFd < 0) {
        problem = "cannot read the simulation file " + request_.simulationFile + ": " + FileErrorText(error);
        return false;
    }
    close(simulationFd);
    // A report that cannot be written is found now, not after the whole run.
    if (!request_.reportFile.empty() && !CheckRunReportPath(request_.reportFile, problem)) return false;
    OutputRoute route;
    if (std::string reason; !request_.timelineFile.empty() && !CheckOutputPath(request_.timelineFile, route, reason)) {
        problem = "cannot write the timeline " + request_.timelineFile + ": " + reason;
        return false;
    }
    return true;
}

// An options file named with --config, or found, must be there and say something; with none
// found the run goes on the defaults, and says so.
bool HeadlessRun::OptionsFileInUse(std::string& problem) const {
    if (OptionsFileNamed() || OptionsFileIsPresent()) {
        problem = OptionsFileProblem(true);
        if (!problem.empty()) return false;
        Log(1, "Options file: %s", GetOptionsFile().c_str());
        return true;
    }
    const std::string places = JoinedPaths(OptionsFilePlaces());
    if (request_.saveSessionId) {
        problem = "--save-session-id needs an options file to write SessionId to, and none was found (looked for " +
                  places + "); name one with --config FILE";
        return false;
    }
    std::fprintf(stderr, "pelvok: no options file (looked for %s): the defaults are used\n", places.c_str());
    Log(1, "No options file (looked for %s): the defaults are used", places.c_str());
    return true;
}

// The hidden main window, the set-up step and the dictionary; with strict, every line.
bool HeadlessRun::Start(std::string& problem) {
    if (CreateMainWindow() == kNoWindow) {
        problem = "Error creating event window.";
        return false;
    }
    if (!InitSimulator(problem, ServerAddress::Required)) return false;
    // Without its dictionary every line with attributes would be refused, and the file blamed.
    if (simulation_.GetDictionary() == nullptr) {
        problem = DictionaryProblem(shell_);
        return false;
    }
    return !request_.strict || EveryLineValid(problem);
}

// The whole file read before the first packet: a strict run plays all of it or nothing.
bool HeadlessRun::EveryLineValid(std::string& problem) const {
    const SimulationCheck check = CheckSimulationFile(request_.simulationFile, shell_.options.dictName, clock_);
    if (!check.loads) {
        problem = "Invalid Simulation file: " + request_.simulationFile + RefusalReason(check.invalid, check.lines);
        return false;
    }
    if (check.invalid.Total() == 0) return true;
    problem = "--strict: " + DescribeInvalidLines(check.invalid) + " of the " + std::to_string(check.lines) +
              " lines of " + request_.simulationFile +
              " are invalid (each logged at level 1 as \"Invalid Line\"); nothing was sent";
    return false;
}

// The file played with the run's own callbacks in place, then drained; false when it does not
// load.
bool HeadlessRun::PlayFile(const StopSignalCount& signals, bool signalsWake, RunResult& result) {
    result.simulationFile = request_.simulationFile;
    result.start = clock_.Now();
    startMs_ = clock_.TickCount();
    engine_.ResetCounters();
    const bool showsProgress = StandardErrorIsTerminal();
    ProgressDisplay progress(stderr, showsProgress, startMs_);
    // Woken by its stop signals, with nothing to look at each second, a paced run sleeps
    // until its next packet is due.
    if (signalsWake && !showsProgress && request_.timelineFile.empty() && !request_.maxWaitSeconds)
        shell_.pacedSleepLimitMs = kLongestQuietPacedSleepMs;
    shell_.echoResultsToStdout = true;
    RunCallbacks callbacks(shell_, progress, tally_);
    if (!simulation_.LoadFile(request_.simulationFile.c_str())) return false;
    shell_.simulationRunning = true;
    UpdateTitle();
    RearmPacedTimer();

    result.how = Play(signals, progress);
    progress.Clear();
    result.optionsSaved = Drain(result.how, signals);
    Collect(result);
    return true;
}

// Until the file is played out and every session has ended, a stop signal comes, the wait
// runs out or the window goes away.
RunEnd HeadlessRun::Play(const StopSignalCount& signals, ProgressDisplay& progress) {
    for (;;) {
        if (const std::optional<RunEnd> end = PlayEndsNow(signals)) return *end;
        if (progress.Due(clock_.TickCount())) progress.Update(clock_.TickCount(), CurrentFigures(engine_, simulation_));
        // The row of each second that has ended (the loop wakes at least once a second).
        if (const std::uint64_t second = (clock_.TickCount() - startMs_) / 1000;
            !request_.timelineFile.empty() && second > timeline_.Rows())
            timeline_.Sample(second - 1, engine_.Statistics(), CurrentFigures(engine_, simulation_).outstanding);
        if (!PumpOneMessage(platform_, signals)) return RunEnd::Interrupted;  // the window went away
    }
}

std::optional<RunEnd> HeadlessRun::PlayEndsNow(const StopSignalCount& signals) const {
    if (signals.Count() > 0) return RunEnd::Interrupted;
    if (!shell_.simulationRunning && engine_.SessionCount() == 0) return RunEnd::Completed;
    const std::uint64_t maxWaitMs = request_.maxWaitSeconds ? std::uint64_t{*request_.maxWaitSeconds} * 1000u : 0;
    if (request_.maxWaitSeconds && clock_.TickCount() - startMs_ >= maxWaitMs) return RunEnd::WaitRanOut;
    return std::nullopt;
}

// The shutdown step: the stops of live sessions (none when the run completed), the timer, the
// options; a run cut short then gives the last replies a moment. True when the options were
// saved.
bool HeadlessRun::Drain(RunEnd how, const StopSignalCount& signals) {
    if (how != RunEnd::Completed) {
        // No further line starts; the counter report follows once the last session has ended.
        shell_.simulationRunning = false;
        engine_.SetSimulationDone();
    }
    const bool optionsSaved = ShutdownSimulator();
    if (how != RunEnd::Completed && engine_.SessionCount() > 0) AwaitLastReplies(signals);
    if (engine_.SimulationDone()) engine_.ReportCounters();  // sessions are left: report anyway
    return optionsSaved;
}

// At most kStopGraceMs, and no longer than the next stop signal.
void HeadlessRun::AwaitLastReplies(const StopSignalCount& signals) {
    if (platform_.SetTimer(shell_.mainWindow, kGraceTimerId, kGraceTickMs) == 0) return;
    const int signalsSoFar = signals.Count();
    const std::uint32_t graceStart = clock_.TickCount();
    while (engine_.SessionCount() > 0 && signals.Count() == signalsSoFar &&
           clock_.TickCount() - graceStart < kStopGraceMs && PumpOneMessage(platform_, signals)) {
    }
    platform_.KillTimer(shell_.mainWindow, kGraceTimerId);
}

void HeadlessRun::Collect(RunResult& result) {
    // The last second, begun but not ended.
    if (!request_.timelineFile.empty())
        timeline_.Sample((clock_.TickCount() - startMs_) / 1000, engine_.Statistics(),
                         CurrentFigures(engine_, simulation_).outstanding);
    result.end = clock_.Now();
    result.counters = engine_.Counters();
    result.statistics = engine_.Statistics();
    result.sessionsNotStarted = tally_.NotStarted();
    result.sessionsUnfinished = engine_.SessionCount();
    result.invalidLines = simulation_.InvalidLines();
}

// The summary on standard output, the JSON report, the exit status.
int HeadlessRun::Report(const RunResult& result) const {
    for (const std::string& line : RunSummaryLines(result)) std::printf("%s\n", line.c_str());
    std::fflush(stdout);

    int status = RunExitStatus(result);
    if (std::string error; !request_.reportFile.empty() && !WriteRunReport(request_.reportFile, result, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        status = kRunFailed;
    }
    if (std::string reason;
        !request_.timelineFile.empty() && !WriteOutputFile(request_.timelineFile, timeline_.Csv(), reason)) {
        std::fprintf(stderr, "pelvok: cannot write the timeline %s: %s\n", request_.timelineFile.c_str(),
                     reason.c_str());
        status = kRunFailed;
    }
    return status;
}

}  // namespace

int RunSimulationFile(const RunRequest& request) { return HeadlessRun(request).Run(); }
