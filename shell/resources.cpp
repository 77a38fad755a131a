#include "shell/resources.h"

namespace {
DialogProcedures registeredProcedures;
}  // namespace

const MenuBar& MainMenu() {
    static const MenuBar menu = {
        {"&Main",
         {{"&Open...", kCommandOpen, "Ctrl+O"},
          {"&New Session", kCommandNewSession, "Ctrl+N"},
          {"", 0, ""},
          {"&Options...", kCommandOptions, ""},
          {"", 0, ""},
          {"E&xit", kCommandExit, "Ctrl+Q"}}},
        {"&Help", {{"&About", kCommandAbout, "F1"}}},
    };
    return menu;
}

void RegisterDialogProcedures(const DialogProcedures& procedures) {
    registeredProcedures = procedures;
}

const DialogProcedures& RegisteredDialogProcedures() { return registeredProcedures; }
