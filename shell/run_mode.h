// A headless run for scripts and CI: plays one simulation file in the foreground, waits
// until every session has ended, prints the result lines, the counter report and a summary
// on standard output, and tells through the exit status whether every request was answered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the command line asks of a run.
struct RunRequest {
    std::string simulationFile;
    std::string reportFile;                      // empty: no JSON report
    std::optional<std::uint32_t> maxWaitSeconds;  // counted from the start of the run
    bool strict = false;         // every line is read first; one invalid line and nothing is sent
    bool saveSessionId = false;  // SessionId is written back (the shell's OptionsSaving says so)
    std::string timelineFile;                     // empty: no per-second CSV
};

// Sessions with a request still outstanding when the run is cut short get this long, after
// their accounting stops went out, for the last replies to come in.
inline constexpr std::uint32_t kStopGraceMs = 1000;

// Runs with the shell bound (BindShell) and the current platform set (the headless one), in
// steps: pre-flight (the options file, the simulation file and the report path are checked
// before anything is set up; no options file at all means the defaults), start (the hidden
// window, the set-up step, the dictionary, and with strict every line of the file), play,
// drain (the shutdown step, then a moment for the last replies of a run cut short) and report.
// Returns 0 (every request answered), 1 (an invalid line skipped, a request dropped, a session
// not started or left unfinished, the wait ran out, SIGINT or SIGTERM) or 2 (the run could
// not start; the reason is on standard error).
int RunSimulationFile(const RunRequest& request);
