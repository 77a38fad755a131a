// Stands between the simulation and the engine to count the lines the engine refused: a
// session that was not even recorded (no NAS port, no identifier, too large). One whose first
// transmission failed is recorded and retried like an unanswered one.
#pragma once

#include <cstdint>

#include "radius/radius_engine.h"
#include "radius/session_starter.h"

class SessionTally : public SessionStarter {
public:
    explicit SessionTally(RadiusEngine& engine) : engine_(engine) {}
    bool AddSession(const char* userName, const char* password, std::uint32_t duration,
                    const AttributeList& authAttributes, const AttributeList& acctStartAttributes,
                    const AttributeList& acctStopAttributes) override {
        const std::size_t before = engine_.SessionCount();
        const bool added = engine_.AddSession(userName, password, duration, authAttributes, acctStartAttributes,
                                              acctStopAttributes);
        if (!added && engine_.SessionCount() == before) ++notStarted_;
        return added;
    }
    const char* LastError() const override { return engine_.LastError(); }
    std::uint64_t NotStarted() const { return notStarted_; }

private:
    RadiusEngine& engine_;
    std::uint64_t notStarted_ = 0;
};
