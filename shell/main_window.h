// The main window: a frame with a menu whose client area is the output list. Its procedure
// drives everything that moves: timer ticks, socket notifications and menu commands.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// Creates the main window (hidden) through the current platform and stores it in the shell
// state; kNoWindow on failure.
WindowHandle CreateMainWindow();
// Destroys the main window, when there is one, and forgets it.
void DestroyMainWindow();

std::intptr_t PelvokWndProc(WindowHandle window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam);

// "Quorlan Pelvok", then " - " and the NAS name when there is one, then
// " - Simulation in progress..." while a simulation runs.
void UpdateTitle();

// The engine's result callback: appends a line to the output list, which keeps the newest
// 101 lines with the newest selected. In service mode the line also goes to standard output.
void ShowOutputLine(const char* text);

// The engine's challenge callback: only the user typed last in Session Details is answered,
// through the Challenge dialog. True when the dialog ended with OK.
bool AskChallenge(const char* userName, const char* challengeText, const std::string* state);
