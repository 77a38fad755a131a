#include "shell/shell_state.h"

#include "infra/clock.h"
#include "radius/radius_engine.h"

namespace {
ShellState state;
}  // namespace

ShellState& Shell() { return state; }

void BindShell(RadiusEngine& engine, Simulation& simulation, const Clock& clock) {
    state = ShellState{};
    state.engine = &engine;
    state.simulation = &simulation;
    state.clock = &clock;
}

void ResetShell() { state = ShellState{}; }

std::uint32_t CurrentSessionCounter() {
    return state.engine != nullptr ? state.engine->LastSessionId() : state.options.sessionId;
}

std::uint32_t ShellTickCount() {
    const Clock& clock = state.clock != nullptr ? *state.clock : SystemClock::Instance();
    return clock.TickCount();
}
