// pelvok-screenshot-tour FOLDER [--config FILE]: the interactive program with the screenshot
// tour (screenshot_tour.h) playing in it, saving its pictures into FOLDER.
#include <cstdio>
#include <memory>

#include "gui/gui_platform.h"
#include "radius/radius_engine.h"
#include "shell/entry.h"
#include "simulation/simulation.h"
#include "tools/screenshot_tour.h"

namespace {

const char* picturesFolder = nullptr;

// The interactive program's back end, with the tour started on it.
std::unique_ptr<Platform> CreateTourPlatform(int& argc, char** argv) {
    std::unique_ptr<Platform> platform = CreateGuiPlatform(argc, argv);
    if (platform) StartScreenshotTour(picturesFolder);
    return platform;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '\0' || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: pelvok-screenshot-tour FOLDER [--config FILE]\n");
        return 2;
    }
    picturesFolder = argv[1];
    // What follows the folder is the program's own command line.
    argv[1] = argv[0];
    // As in the program: the engine first, the simulation second.
    RadiusEngine engine;
    Simulation simulation;
    return PelvokMain(argc - 1, argv + 1, engine, simulation, CreateTourPlatform);
}
