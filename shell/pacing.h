// Paced ticking ("Pacing"): instead of a tick every 100 ms, the shell's timer is set, after
// every tick, reply and command, to fire when the engine or the simulation next has work, so
// that lines, retransmissions and stops leave at their own millisecond and an idle process
// sleeps. It sleeps at most ShellState::pacedSleepLimitMs (kLongestPacedSleepMs unless a quiet
// headless run sets it longer), at most kLongestPacedSleepMs while a status watch or a TLS
// connection looks at the time at every tick, and wakes for the saving of a "SessionId" that
// moved.
#pragma once

#include <cstdint>

class Clock;
class RadiusEngine;
class Simulation;

inline constexpr std::uint32_t kLongestPacedSleepMs = 1000;
// A headless run that shows nothing each second, and is woken by its stop signals, sleeps up
// to this long.
inline constexpr std::uint32_t kLongestQuietPacedSleepMs = 60000;
// "SessionId" is written back at most this often while it moves.
inline constexpr std::uint32_t kSessionIdSaveIntervalMs = 10000;
// The process leaves its sockets to the next paced tick when that comes within this time.
inline constexpr std::uint32_t kPacedTickReadsSocketsWithinMs = 1;

// The engine's part of a paced tick: the replies waiting on its sockets are taken first (a
// timer that is due again and again while the process is behind would keep them unread,
// since a due timer goes before the sockets), of the sockets poll finds readable (of every one
// over TLS); then Tick, when the engine has work now. A tick for a line alone costs no walk
// over the requests in flight, nor does one for sessions waiting for an identifier alone
// (TickWaiting).
void PacedEngineTick(RadiusEngine& engine);

// Milliseconds until the engine or, while it plays, the simulation has work (0: now), at
// most limitMs.
std::uint32_t PacedDelayMs(const RadiusEngine& engine, const Simulation* playing, const Clock& clock,
                           std::uint32_t limitMs = kLongestPacedSleepMs);

// With pacing on and the timer running, sets the shell's timer to PacedDelayMs: always once
// it has fired, otherwise only when that is sooner than it was set for. (A timer set again at
// every reply would never fire while replies come faster than the back end's shortest period.)
enum class PacedTimer { Fired, Running };
void RearmPacedTimer(PacedTimer timer = PacedTimer::Running);
