// What a headless run found: how it ended, the engine's counters and statistics, the sessions
// it could not start or finish; as the process's exit status, a JSON report and a short text
// summary.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "radius/result_lines.h"
#include "radius/statistics.h"
#include "simulation/invalid_lines.h"

enum class RunEnd {
    Completed,    // the file was played out and every session ended
    WaitRanOut,   // --max-wait passed first
    Interrupted,  // SIGINT or SIGTERM
};

struct RunResult {
    std::string simulationFile;
    std::time_t start = 0;
    std::time_t end = 0;
    RunEnd how = RunEnd::Completed;
    RequestCounters counters;
    RequestStatistics statistics;
    std::uint64_t sessionsNotStarted = 0;  // lines the engine refused (no NAS port or identifier, too large)
    std::uint64_t sessionsUnfinished = 0;  // sessions still live when the run ended
    InvalidLineCounts invalidLines;        // lines of the simulation file skipped as invalid
    bool optionsSaved = true;              // SessionId and the other keys reached the options file
};

inline constexpr int kRunSucceeded = 0;
inline constexpr int kRunFailed = 1;
inline constexpr int kRunNotStarted = 2;

// 0 when the run completed with every line of its file played, every request of every
// session answered and its options saved when it was to save them (else the next run would
// number its sessions again from the same place); 1 otherwise.
int RunExitStatus(const RunResult& result);
const char* RunEndName(RunEnd how);

// "2026-12-06T10:15:02+01:00": local time with its offset from UTC.
std::string Iso8601LocalTime(std::time_t time);

// The JSON text of the report (indented, ending with a newline).
std::string RunReportJson(const RunResult& result);
// Whether the report can be written to path (infra/output_file.h), checked before the run
// starts; false with the reason.
bool CheckRunReportPath(const std::string& path, std::string& error);
// Writes the report: a regular file is replaced through a temporary file and rename, standard
// output, a character device or a FIFO is written through; false with a message on failure.
bool WriteRunReport(const std::string& path, const RunResult& result, std::string& error);

// The summary printed after the counter report; the line of invalid simulation lines only when
// there were some.
std::vector<std::string> RunSummaryLines(const RunResult& result);
