// The set-up and shutdown steps shared by the interactive program and the service.
#pragma once

#include <cstddef>
#include <string>

inline constexpr std::size_t kFailureTextSize = 512;

// Reads the options, sets the engine up, wires its callbacks, attaches the simulation,
// registers the engine's socket with the main window and starts the 100 ms timer.
// False with the reason in failureText (at most 511 characters).
bool InitSimulator(std::string& failureText);

// Sends the accounting stops of live sessions, kills the timer and saves the options.
void ShutdownSimulator();
