// Which sessions a Tick visits. A tick every 100 ms over every live session would cost each
// idle session a cache miss ten times a second for as long as it lasts; instead the engine
// keeps the end times of the sessions not yet stopping in order, and the few sessions that
// wait for an identifier in a list, so that a tick costs only what it has to do.
#include <algorithm>

#include "radius/radius_engine.h"

void RadiusEngine::ForgetEndTime(Session& session) { endTimes_.erase({session.endTime, &session}); }

// The session has given back its identifier or could not get one. Whether it now waits for
// one is known only once the reply or tick that moves it is done: at the end of the walk.
void RadiusEngine::NoteMayWait(Session& session) {
    if (!session.releaseNoted) {
        session.releaseNoted = true;
        releasedInWalk_.push_back(&session);
    }
    if (walkDepth_ == 0) SettleMayWait();
}

void RadiusEngine::SettleMayWait() {
    for (Session* session : releasedInWalk_) {
        session->releaseNoted = false;
        const bool waits = !session->removed && session->requestId == 0 && session->state != SessionState::Active;
        if (waits && !session->waitingListed) {
            session->waitingListed = true;
            waiting_.push_back(session);
        }
    }
    releasedInWalk_.clear();
}

void RadiusEngine::CollectTickCandidates(std::time_t now) {
    tickCandidates_.clear();
    for (Session* holder : sessionById_)
        if (holder != nullptr) tickCandidates_.push_back(holder);
    // Those that got an identifier or became Active since the last tick wait no longer.
    std::erase_if(waiting_, [](Session* session) {
        const bool waits = session->requestId == 0 && session->state != SessionState::Active;
        if (!waits) session->waitingListed = false;
        return !waits;
    });
    tickCandidates_.insert(tickCandidates_.end(), waiting_.begin(), waiting_.end());
    for (auto due = endTimes_.begin(); due != endTimes_.end() && due->first <= now; ++due)
        tickCandidates_.push_back(due->second);
    std::sort(tickCandidates_.begin(), tickCandidates_.end(),
              [](const Session* a, const Session* b) { return a->sequence < b->sequence; });
    tickCandidates_.erase(std::unique(tickCandidates_.begin(), tickCandidates_.end()), tickCandidates_.end());
}
