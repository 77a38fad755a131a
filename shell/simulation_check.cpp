#include "shell/simulation_check.h"

#include "simulation/simulation.h"

SimulationCheck CheckSimulationFile(const std::string& path, const std::string& dictionaryName, const Clock& clock) {
    Simulation reader(clock);
    reader.Attach(nullptr, dictionaryName.c_str());  // no engine: lines are read, never started
    SimulationCheck check;
    check.loads = reader.LoadFile(path.c_str());
    if (check.loads)
        while (reader.ReadNextLine() != Simulation::kEndOfFile) {
        }
    check.lines = reader.LinesRead();
    check.invalid = reader.InvalidLines();
    return check;
}
