// The table's invariants, checked from inside: the tests and the fuzzers call this after every
// step that hostile input or re-entering callbacks could have bent.
#include <algorithm>

#include "radius/session_table.h"

namespace {

std::string Numbered(const char* text, long number) { return text + std::to_string(number); }

}  // namespace

std::string SessionTable::CheckConsistency() const {
    std::vector<int> portOwners(static_cast<std::size_t>(nasPortCount_) + 1, 0);
    for (std::uint16_t port : nasPorts_.FreePorts()) {
        if (port < 1 || port > nasPortCount_) return Numbered("free port out of range: ", port);
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
        if (record.nasPort < 1 || record.nasPort > nasPortCount_) return who + " holds no valid port";
        ++portOwners[record.nasPort];
        if (record.requestId != 0) {
            ++idsHeld;
            if (!ids_.pool.InUse(record.requestId)) return who + " holds a free identifier";
            if (ids_.holders[record.requestId] != &record) return who + " is not indexed by its identifier";
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
    for (int port = 1; port <= nasPortCount_; ++port)
        if (portOwners[port] != 1) return Numbered("port has other than one owner: ", port);

    for (std::size_t id = 1; id < ids_.holders.size(); ++id) {
        const Record* holder = ids_.holders[id];
        if (holder != nullptr && holder->requestId != id) return Numbered("index names a session without ", id);
        if ((holder != nullptr) != ids_.pool.InUse(static_cast<std::uint16_t>(id)))
            return Numbered("identifier in use without a holder, or held but free: ", static_cast<long>(id));
    }
    if (idsHeld != ids_.pool.InUseCount()) return "identifiers in use differ from those held";
    if (withDue != dueTimes_.size()) return "due times of sessions that are gone";
    if (waitingListed != waiting_.size()) return "a session that is gone is listed as waiting";

    for (const Record& record : removed_)
        if (!record.removed || record.nasPort != 0 || record.requestId != 0 || record.hasDue)
            return "a removed session holds a port, an identifier or a due time";
    if (guards_ == 0 && (!removed_.empty() || !mayWait_.empty())) return "removals outlive the last guard";
    return {};
}
