// Paced ticking ("Pacing"): instead of a tick every 100 ms, the shell's timer is set, after
// every tick, reply and command, to fire when the engine or the simulation next has work, so
// that lines, retransmissions and stops leave at their own millisecond and an idle process
// sleeps. It sleeps at most kLongestPacedSleepMs, so that the run's progress line, its stop
// signals and the saving of "SessionId" are looked at as before.
#pragma once

#include <cstdint>

class Clock;
class RadiusEngine;
class Simulation;

inline constexpr std::uint32_t kLongestPacedSleepMs = 1000;

// Milliseconds until the engine or, while it plays, the simulation has work (0: now), at
// most kLongestPacedSleepMs.
std::uint32_t PacedDelayMs(const RadiusEngine& engine, const Simulation* playing, const Clock& clock);

// With pacing on and the timer running, sets the shell's timer to PacedDelayMs.
void RearmPacedTimer();
