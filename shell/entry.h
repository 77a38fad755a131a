// The program's entry: command line, logger, start and stop lines, service or interactive.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "shell/load_plan.h"

class Platform;
class RadiusEngine;
class Simulation;

// Makes the windowing back end of the interactive program (Qt); null when it cannot start.
using GuiPlatformFactory = std::unique_ptr<Platform> (*)(int& argc, char** argv);

struct CommandLine {
    std::string configFile;  // --config FILE; empty: the file beside the program
    // A headless run: --run SIMFILE [--report FILE.json] [--max-wait SECONDS].
    std::string runFile;
    std::string reportFile;
    std::optional<std::uint32_t> maxWaitSeconds;
    std::string timelineFile;  // --timeline FILE.csv
    // A load run: --run --load USERS --rate N[/s] --sessions N --session-time SECONDS [--ramp S].
    bool runLoad = false;
    LoadPlan load;
    bool help = false;
    bool version = false;
};

// Options take their value as the next argument or after "=" ("--config=FILE"). False with a
// message for anything else, and for --report or --max-wait without --run.
bool ParseCommandLine(int argc, char** argv, CommandLine& commandLine, std::string& error);

inline constexpr const char* kVersion = "1.4";
inline constexpr std::uint32_t kMaxWaitLimitSeconds = 1000000;
inline constexpr const char* kUsage =
    "usage: pelvok [--config FILE]\n"
    "       pelvok --run SIMFILE [--config FILE] [--report FILE.json] [--max-wait SECONDS]\n"
    "              [--timeline FILE.csv]\n"
    "       pelvok --run --load USERS --rate N[/s] --sessions N --session-time SECONDS\n"
    "              [--ramp SECONDS] [--config FILE] [--report FILE.json] [--max-wait SECONDS]\n"
    "              [--timeline FILE.csv]\n"
    "       pelvok --help | --version\n";
inline constexpr const char* kHelp =
    "Plays RADIUS sessions against a server as a Network Access Server would.\n"
    "\n"
    "  --config FILE        the options file (default: the program's path with \".ini\")\n"
    "  --run SIMFILE        play SIMFILE headless in the foreground, wait until every session\n"
    "                       has ended, print the result lines, the counter report and a summary\n"
    "  --run --load USERS   play a load made from the arguments: USERS a file of user,password\n"
    "                       lines, or a pattern such as user{n},pass{n} ({n}: 1, 2, ...)\n"
    "  --rate N[/s]         new sessions a second (after the ramp)\n"
    "  --sessions N         sessions in all\n"
    "  --session-time SECONDS  the length of each session (at most 5999)\n"
    "  --ramp SECONDS       the rate rises evenly from 0 over this long first\n"
    "  --report FILE.json   with --run: write the counters and request statistics as JSON\n"
    "                       (\"-\": standard output)\n"
    "  --timeline FILE.csv  with --run: write a line a second: requests sent, answered,\n"
    "                       retransmitted, dropped, in flight, median and p99 latency (µs)\n"
    "  --max-wait SECONDS   with --run: stop waiting this long after the start; live sessions\n"
    "                       get their accounting stops\n"
    "  --help, --version    this text; the version\n"
    "\n"
    "Exit status of --run: 0 every request of every session was answered; 1 a request was\n"
    "dropped, a session could not start or was left unfinished, the wait ran out, SIGINT,\n"
    "SIGTERM or SIGHUP ended the run, or the options file could not be saved; 2 the run could\n"
    "not start.\n";

// The whole program. gui is null when the program was built without the Qt front end.
// Returns the process's exit status: 0; 1 when the interactive program cannot run; 2 for a
// bad command line or an options file in use by another process; in service mode the
// service-specific code of a failed start.
int PelvokMain(int argc, char** argv, RadiusEngine& engine, Simulation& simulation,
               GuiPlatformFactory gui);

// The interactive program to its end (needs the GUI back end). Returns the exit status.
int RunInteractive(GuiPlatformFactory gui, int& argc, char** argv);
