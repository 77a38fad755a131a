// The program's entry: command line, logger, start and stop lines, service or interactive.
#pragma once

#include <memory>
#include <string>

class Platform;
class RadiusEngine;
class Simulation;

// Makes the windowing back end of the interactive program (Qt); null when it cannot start.
using GuiPlatformFactory = std::unique_ptr<Platform> (*)(int& argc, char** argv);

struct CommandLine {
    std::string configFile;  // --config FILE; empty: the file beside the program
};

// False with a message for anything but "--config FILE" (also "--config=FILE").
bool ParseCommandLine(int argc, char** argv, CommandLine& commandLine, std::string& error);

inline constexpr const char* kUsage = "usage: pelvok [--config FILE]\n";

// The whole program. gui is null when the program was built without the Qt front end.
// Returns the process's exit status: 0; 1 when the interactive program cannot run; 2 for a
// bad command line; in service mode the service-specific code of a failed start.
int PelvokMain(int argc, char** argv, RadiusEngine& engine, Simulation& simulation,
               GuiPlatformFactory gui);

// The interactive program to its end (needs the GUI back end). Returns the exit status.
int RunInteractive(GuiPlatformFactory gui, int& argc, char** argv);
