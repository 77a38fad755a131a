// The main window's place and size, kept in the section "Window" of the options file, so the
// interactive program opens its window where it was when it last closed. "Remember=0" in that
// section leaves the window at its default place and the file without them.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

inline constexpr const char* kWindowSection = "Window";

// The placement the section holds; none when it holds no usable one (or Remember is 0).
std::optional<WindowPlacement> ReadWindowPlacement(const std::string& optionsFile);

// Places the main window as the options file says; before the window is shown.
void RestoreWindowPlacement();
// Writes the main window's placement (the keys whose values changed) while the window still
// exists. True when nothing had to be written or every write succeeded; a failure is said as
// other failed option writes are.
bool SaveWindowPlacement();
