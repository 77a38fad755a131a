// Marks a stretch in which the engine walks its sessions or holds one across a callback:
// sessions removed meanwhile stay linked (flagged removed) until the outermost stretch ends.
#pragma once

#include "radius/radius_engine.h"

class RadiusEngine::WalkGuard {
public:
    explicit WalkGuard(RadiusEngine& engine) : engine_(engine) { ++engine_.walkDepth_; }
    ~WalkGuard() {
        if (--engine_.walkDepth_ == 0) engine_.PurgeRemovedSessions();
    }
    WalkGuard(const WalkGuard&) = delete;
    WalkGuard& operator=(const WalkGuard&) = delete;

private:
    RadiusEngine& engine_;
};
