// pelvok: the RADIUS NAS simulator.
#include "radius/radius_engine.h"
#include "shell/entry.h"
#include "simulation/simulation.h"

#ifdef PELVOK_WITH_GUI
#include "gui/gui_platform.h"
#endif

int main(int argc, char** argv) {
    // The two process-wide objects: the engine first, the simulation second, destroyed in
    // the reverse order after the entry has deleted the Logger.
    RadiusEngine engine;
    Simulation simulation;
#ifdef PELVOK_WITH_GUI
    return PelvokMain(argc, argv, engine, simulation, CreateGuiPlatform);
#else
    return PelvokMain(argc, argv, engine, simulation, nullptr);
#endif
}
