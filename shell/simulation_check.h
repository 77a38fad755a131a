// A simulation file read through once without sending anything: what a strict run asks
// before its first packet.
#pragma once

#include <cstdint>
#include <string>

#include "simulation/invalid_lines.h"

class Clock;

struct SimulationCheck {
    bool loads = false;  // false: the file would be refused as a whole (its first line is invalid)
    std::uint64_t lines = 0;
    InvalidLineCounts invalid;
};

// Reads every line of the file as a run would, with the dictionary of that name (the set-up has
// loaded it already); the "Invalid Line" messages are logged as they would be.
SimulationCheck CheckSimulationFile(const std::string& path, const std::string& dictionaryName, const Clock& clock);
