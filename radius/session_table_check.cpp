// The table's invariants, checked from inside: the tests and the fuzzers call this after every
// step that hostile input or re-entering callbacks could have bent.
#include <algorithm>

#include "radius/session_table.h"

namespace {

std::string Numbered(const char* text, long number) { return text + std::to_string(number); }

}  // namespace

std::string SessionTable::CheckConsistency() const {
    // Ports from NeverTakenFrom on were never handed out: none may be held. Those below it are
    // each given back or held, once.
    const std::uint32_t neverTaken = nasPorts_.NeverTakenFrom();
    const auto portCount = static_cast<std::uint32_t>(nasPortCount_);
    if (neverTaken < 1 || neverTaken > portCount + 1) return Numbered("ports never taken start at ", neverTaken);
    std::vector<int> portOwners(neverTaken, 0);
    for (std::uint32_t port : nasPorts_.GivenBack()) {
        if (port < 1 || port >= neverTaken) return Numbered("port given back but never taken: ", port);
        ++portOwners[port];
    }

    std::uint64_t lastSequence = 0;
    std::size_t withDue = 0;
    std::size_t waitingListed = 0;
    int idsHeld = 0;
    for (const Record& record : live_) {
        const std::string who = "session " + record.userName;
        if (record.removed) return who + " is removed but live";
        if (record.sequence <= lastSequence) return who + " is out of creation order";
        lastSequence = record.sequence;
        if (record.nasPort < 1 || record.nasPort >= neverTaken) return who + " holds no valid port";
        ++portOwners[record.nasPort];
        if (record.requestId != 0) {
            ++idsHeld;
            if (record.channel >= channels_.size()) return who + " holds an identifier of no channel";
            const IdChannel& ids = channels_[record.channel];
            if (!ids.pool.InUse(record.requestId)) return who + " holds a free identifier";
            if (ids.holders[record.requestId] != &record) return who + " is not indexed by its identifier";
            if (record.state == SessionState::Active) return who + " is Active and holds an identifier";
        }
        if (record.hasDue) {
            ++withDue;
            if (record.due->second != &record) return who + " is not indexed by its due time";
        }
        const auto listings = std::count(waiting_.begin(), waiting_.end(), &record);
        if (listings != (record.waitingListed ? 1 : 0)) return who + " is listed as waiting " + std::to_string(listings) + " times";
        waitingListed += static_cast<std::size_t>(listings);
    }
    for (std::uint32_t port = 1; port < neverTaken; ++port)
        if (portOwners[port] != 1) return Numbered("port has other than one owner: ", port);

    int idsInUse = 0;
    for (std::size_t channel = 0; channel < channels_.size(); ++channel) {
        const IdChannel& ids = channels_[channel];
        for (std::size_t id = 1; id < ids.holders.size(); ++id) {
            const Record* holder = ids.holders[id];
            if (holder != nullptr && (holder->requestId != id || holder->channel != channel))
                return Numbered("index names a session without ", static_cast<long>(id));
            if ((holder != nullptr) != ids.pool.InUse(static_cast<std::uint16_t>(id)))
                return Numbered("identifier in use without a holder, or held but free: ", static_cast<long>(id));
        }
        idsInUse += ids.pool.InUseCount();
    }
    if (idsHeld != idsInUse || static_cast<std::size_t>(idsInUse) != idsInUse_)
        return "identifiers in use differ from those held";
    if (withDue != dueTimes_.size()) return "due times of sessions that are gone";
    if (waitingListed != waiting_.size()) return "a session that is gone is listed as waiting";

    for (const Record& record : removed_)
        if (!record.removed || record.nasPort != 0 || record.requestId != 0 || record.hasDue)
            return "a removed session holds a port, an identifier or a due time";
    if (guards_ == 0 && (!removed_.empty() || !mayWait_.empty())) return "removals outlive the last guard";
    return {};
}
