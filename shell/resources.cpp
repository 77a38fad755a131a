#include "shell/resources.h"

namespace {
DialogProcedures registeredProcedures;
}  // namespace

const MenuBar& MainMenu() {
    static const MenuBar menu = {
        {"&Main",
         {{"&Open...", kCommandOpen},
          {"&New Session", kCommandNewSession},
          {"", 0},
          {"&Options...", kCommandOptions},
          {"", 0},
          {"E&xit", kCommandExit}}},
        {"&Help", {{"&About", kCommandAbout}}},
    };
    return menu;
}

void RegisterDialogProcedures(const DialogProcedures& procedures) {
    registeredProcedures = procedures;
}

const DialogProcedures& RegisteredDialogProcedures() { return registeredProcedures; }
