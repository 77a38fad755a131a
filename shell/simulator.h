// The set-up and shutdown steps shared by the interactive program and the service.
#pragma once

#include <cstddef>
#include <string>

inline constexpr std::size_t kFailureTextSize = 512;

// What a server address that cannot be used (a host name not found, a malformed address)
// does to the set-up: the interactive program goes on (its Options dialog can correct it);
// headless modes stop, since nobody could, and 0.0.0.0 would reach this very host.
enum class ServerAddress { MayBeUnusable, Required };

// Reads the options, sets the engine up, wires its callbacks, attaches the simulation,
// registers the engine's sockets with the main window and starts the 100 ms timer.
// False with the reason in failureText (at most 511 characters).
bool InitSimulator(std::string& failureText, ServerAddress server = ServerAddress::MayBeUnusable);

// Sends the accounting stops of live sessions, kills the timer and saves the options (as much
// of them as the shell's OptionsSaving lets it). False when the options could not be saved (it
// is logged and told on standard error).
bool ShutdownSimulator();
