// The shell's state for the whole process, in one place, and the objects it drives.
//
// Everything here is touched by one thread at a time: the interactive main thread, or the
// service thread in service mode (the service frame's own state is in service.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/option_overrides.h"
#include "shell/options.h"
#include "shell/pacing.h"

class Clock;
class RadiusEngine;
class Simulation;

struct ShellState {
    WindowHandle mainWindow = kNoWindow;
    WindowHandle outputList = kNoWindow;
    std::uint32_t timerId = 0;          // the 100 ms timer; 0 when none was created
    std::optional<std::uint32_t> pacedTimerDue;  // with Pacing: the tick the timer was last set for
    bool simulationRunning = false;     // a simulation file drives sessions
    std::uint32_t lastSessionIdSave = 0;  // tick count of the last "SessionId" write; 0: never
    std::optional<std::uint32_t> sessionIdSaved;  // the counter that write held
    // With Pacing: the longest the timer sleeps. A headless run that shows nothing each second
    // and is woken by its stop signals sets it longer (quiet paced runs).
    std::uint32_t pacedSleepLimitMs = kLongestPacedSleepMs;

    Options options;
    // The server address the options file's "RadHost" text stands for (as read at start or last
    // written); RadHost is written back only when the address differs from it.
    SocketAddress radHostInFile = SocketAddress::Ipv4(0, 0);
    // The command line's values in place of the file's, and what may be written back.
    OptionOverrides overrides;
    OptionsSaving optionsSaving = OptionsSaving::Everything;
    // Where the dictionary was looked for, for the message when it is not found.
    std::vector<std::string> dictionaryPathsTried;

    // What the Session Details dialog last confirmed (kept for the run, never saved).
    std::string lastUserName;
    std::string lastPassword;
    std::uint32_t lastDuration = 0;

    // Service mode: every result line also goes to standard output.
    bool echoResultsToStdout = false;

    // The objects the shell drives (not owned).
    RadiusEngine* engine = nullptr;
    Simulation* simulation = nullptr;
    const Clock* clock = nullptr;
};

ShellState& Shell();

// Starts the shell afresh around these objects: every other value back to its initial one.
void BindShell(RadiusEngine& engine, Simulation& simulation, const Clock& clock);
// Forgets the objects and every value (tests).
void ResetShell();

// The engine's session counter, or the option "SessionId" when no engine is bound.
std::uint32_t CurrentSessionCounter();
// The millisecond tick count of the bound clock (the system clock when none is bound).
std::uint32_t ShellTickCount();
