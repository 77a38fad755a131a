// The program's entry: command line, logger, start and stop lines, service or interactive.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "shell/option_overrides.h"
#include "shell/load_plan.h"

class Platform;
class RadiusEngine;
class Simulation;

// Makes the windowing back end of the interactive program (Qt); null when it cannot start.
using GuiPlatformFactory = std::unique_ptr<Platform> (*)(int& argc, char** argv);

struct CommandLine {
    std::string configFile;  // --config FILE; empty: the first options file found
    // A headless run: --run SIMFILE [--report FILE.json] [--max-wait SECONDS] [--strict]
    // [--save-session-id] [--server HOST[:PORT]] [--secret SECRET] [--dictionary FILE].
    std::string runFile;
    std::string reportFile;
    std::optional<std::uint32_t> maxWaitSeconds;
    bool strict = false;
    bool saveSessionId = false;
    OptionOverrides overrides;
    bool probe = false;  // --probe: Status-Server to the server's two ports, nothing else
    std::string timelineFile;  // --timeline FILE.csv
    // A load run: --run --load USERS --rate N[/s] --sessions N --session-time SECONDS [--ramp S].
    bool runLoad = false;
    LoadPlan load;
    bool help = false;
    bool version = false;
};

// Options take their value as the next argument or after "=" ("--config=FILE"). False with a
// message for anything else, for an option of runs without --run, and for --probe with --run.
bool ParseCommandLine(int argc, char** argv, CommandLine& commandLine, std::string& error);

inline constexpr const char* kVersion = "1.4";
inline constexpr std::uint32_t kMaxWaitLimitSeconds = 1000000;
inline constexpr const char* kUsage =
    "usage: pelvok [--config FILE]\n"
    "       pelvok --run SIMFILE [--config FILE] [--report FILE.json] [--max-wait SECONDS]\n"
    "                    [--strict] [--save-session-id]\n"
    "                    [--server HOST[:PORT]] [--secret SECRET] [--dictionary FILE]\n"
    "       pelvok --probe [--config FILE] [--server HOST[:PORT]] [--secret SECRET]\n"
        "                    [--timeline FILE.csv]\n"
    "       pelvok --run --load USERS --rate N[/s] --sessions N --session-time SECONDS\n"
    "              [--ramp SECONDS] [--config FILE] [--report FILE.json] [--max-wait SECONDS]\n"
    "              [--timeline FILE.csv]\n"
    "       pelvok --help | --version\n";
inline constexpr const char* kHelp =
    "Plays RADIUS sessions against a server as a Network Access Server would.\n"
    "\n"
    "  --config FILE        the options file (default: the first there of the program's path\n"
    "                       with \".ini\", $XDG_CONFIG_HOME/pelvok/pelvok.ini (~/.config when\n"
    "                       unset), /etc/pelvok/pelvok.ini; --run without any: the defaults)\n"
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
    "  --strict             with --run: read the whole file first; an invalid line and nothing\n"
    "                       is sent (exit status 2)\n"
    "  --save-session-id    with --run: write SessionId back to the options file (a run leaves\n"
    "                       the file as it was otherwise)\n"
    "  --server HOST[:PORT] with --run or --probe: the server (RadHost, and QuorlanPort when given)\n"
    "  --secret SECRET      with --run or --probe: the shared secret (Secret)\n"
    "  --dictionary FILE    with --run: the dictionary file (DictDir and DictName)\n"
    "  --probe              send Status-Server (RFC 5997) to the server's authentication and\n"
    "                       accounting ports and print each answer with its round trip\n"
    "  --help, --version    this text; the version\n"
    "\n"
    "--server, --secret and --dictionary hold for the run and are never written to the options\n"
    "file.\n"
    "\n"
    "Exit status of --run: 0 every line was played and every request of every session was\n"
    "answered; 1 a line was invalid, a request was dropped, a session could not start or was\n"
    "left unfinished, the wait ran out, SIGINT, SIGTERM or SIGHUP ended the run, or the options\n"
    "file could not be saved; 2 the run could not start.\n"
    "Exit status of --probe: 0 both ports answered; 1 one did not (or not with the secret); 2\n"
    "the options name no usable server.\n";

// The whole program. gui is null when the program was built without the Qt front end.
// Returns the process's exit status: 0; 1 when the interactive program cannot run; 2 for a
// bad command line or an options file in use by another process; in service mode the
// service-specific code of a failed start.
int PelvokMain(int argc, char** argv, RadiusEngine& engine, Simulation& simulation,
               GuiPlatformFactory gui);

// The interactive program to its end (needs the GUI back end). Returns the exit status.
int RunInteractive(GuiPlatformFactory gui, int& argc, char** argv);
