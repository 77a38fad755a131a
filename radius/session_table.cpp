#include "radius/session_table.h"

#include <algorithm>

SessionTable::Record& SessionTable::RecordOf(Session& session) {
    // Every Session the engine hands in was made by Add, as a Record.
    return static_cast<Record&>(session);
}

void SessionTable::FillNasPorts(std::int32_t count) {
    nasPorts_.Fill(count);
    nasPortCount_ = std::max(count, 0);
}

void SessionTable::SetChannelCount(std::size_t count) {
    // Sessions name their channel by number, so the channels may move in memory.
    if (count > channels_.size()) channels_.resize(count);
}

SessionTable::Added SessionTable::Add(Session prepared, bool mayWaitForId) {
    const std::uint32_t port = nasPorts_.Take();
    if (port == 0) return {nullptr, Shortage::NasPort};
    const bool idFree = AnyRequestIdFree();
    if (!idFree && !mayWaitForId) {
        nasPorts_.GiveBack(port);
        return {nullptr, Shortage::RequestId};
    }
    Record& record = live_.emplace_back(std::move(prepared));
    record.position = std::prev(live_.end());
    record.sequence = ++lastSequence_;
    record.nasPort = port;
    if (idFree) {
        TakeRequestId(record);
    } else {
        record.requestId = 0;
        NoteMayWait(record);
    }
    return {&record, Shortage::None};
}

Session* SessionTable::FindByRequestId(std::uint16_t id, std::size_t channel) const {
    if (channel >= channels_.size() || id >= channels_[channel].holders.size()) return nullptr;
    return channels_[channel].holders[id];
}

bool SessionTable::AssignRequestId(Session& session) {
    Record& record = RecordOf(session);
    ReleaseRequestId(record);
    if (TakeRequestId(record)) return true;
    NoteMayWait(record);
    return false;
}

bool SessionTable::AnyRequestIdFree() const { return idsInUse_ < channels_.size() * RequestIdPool::kMaxId; }

bool SessionTable::TakeRequestId(Record& record) {
    if (!AnyRequestIdFree()) return false;  // at once, however many channels are full
    for (std::size_t probe = 0; probe < channels_.size(); ++probe) {
        const std::size_t channel = nextChannel_;
        nextChannel_ = (nextChannel_ + 1) % channels_.size();
        IdChannel& ids = channels_[channel];
        if (ids.pool.InUseCount() == RequestIdPool::kMaxId) continue;
        const std::uint16_t id = ids.pool.Take();
        record.channel = static_cast<std::uint16_t>(channel);
        record.requestId = id;
        ids.holders[id] = &record;
        ++idsInUse_;
        return true;
    }
    return false;
}

void SessionTable::ReleaseRequestId(Session& session) {
    if (session.requestId == 0) return;
    Record& record = RecordOf(session);
    GiveBackRequestId(record);
    NoteMayWait(record);
}

void SessionTable::GiveBackRequestId(Record& record) {
    IdChannel& ids = channels_[record.channel];
    ids.pool.GiveBack(record.requestId);
    ids.holders[record.requestId] = nullptr;
    record.requestId = 0;
    --idsInUse_;
}

void SessionTable::SetDue(Session& session, std::time_t at) {
    ClearDue(session);
    Record& record = RecordOf(session);
    record.due = dueTimes_.emplace(std::int64_t{at} * 1000 + record.dueOffsetMs, &record);
    record.hasDue = true;
}

void SessionTable::ClearDue(Session& session) {
    Record& record = RecordOf(session);
    if (!record.hasDue) return;
    dueTimes_.erase(record.due);
    record.hasDue = false;
}

bool SessionTable::Remove(Session& session) {
    Record& record = RecordOf(session);
    if (record.removed) return false;
    if (record.held) {
        record.removalAsked = true;
        return false;
    }
    if (record.requestId != 0) GiveBackRequestId(record);
    if (record.nasPort > 0) {
        nasPorts_.GiveBack(record.nasPort);
        record.nasPort = 0;
    }
    ClearDue(record);
    if (record.waitingListed) {
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), &record));
        record.waitingListed = false;
    }
    record.removed = true;
    if (guards_ > 0) {
        removed_.splice(removed_.end(), live_, record.position);
    } else {
        live_.erase(record.position);
    }
    return true;
}

bool SessionTable::WaitsForId(const Record& record) {
    return !record.removed && record.requestId == 0 && record.state != SessionState::Active;
}

void SessionTable::NoteMayWait(Record& record) {
    if (!record.mayWaitNoted) {
        record.mayWaitNoted = true;
        mayWait_.push_back(&record);
    }
    if (guards_ == 0) SettleMayWait();
}

void SessionTable::SettleMayWait() {
    for (Record* record : mayWait_) {
        record->mayWaitNoted = false;
        if (WaitsForId(*record) && !record->waitingListed) {
            record->waitingListed = true;
            waiting_.push_back(record);
        }
    }
    mayWait_.clear();
}

void SessionTable::EndGuard() {
    if (--guards_ > 0) return;
    SettleMayWait();  // looks at the removed sessions too, so before they go
    removed_.clear();
}

void SessionTable::CollectDue(std::int64_t nowMs, Outstanding outstanding, std::vector<Record*>& out) {
    if (idsInUse_ > 0 && outstanding == Outstanding::Include) {
        for (const IdChannel& ids : channels_) {
            if (ids.pool.InUseCount() == 0) continue;
            for (Record* holder : ids.holders)
                if (holder != nullptr) out.push_back(holder);
        }
    }
    PruneWaiting();
    out.insert(out.end(), waiting_.begin(), waiting_.end());
    for (auto due = dueTimes_.begin(); due != dueTimes_.end() && due->first <= nowMs; ++due)
        out.push_back(due->second);
    std::sort(out.begin(), out.end(), CreatedBefore);
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

bool SessionTable::CreatedBefore(const Record* a, const Record* b) { return a->sequence < b->sequence; }

void SessionTable::PruneWaiting() {
    std::erase_if(waiting_, [](Record* record) {
        const bool waits = WaitsForId(*record);
        if (!waits) record->waitingListed = false;
        return !waits;
    });
}

void SessionTable::CollectFirstWaiting(std::vector<Record*>& out) {
    PruneWaiting();
    const std::size_t free = channels_.size() * RequestIdPool::kMaxId - idsInUse_;
    out.assign(waiting_.begin(), waiting_.end());
    const auto first = out.begin() + static_cast<std::ptrdiff_t>(std::min(free, out.size()));
    std::partial_sort(out.begin(), first, out.end(), CreatedBefore);
    out.erase(first, out.end());
}

SessionTable::Walk SessionTable::FirstWaiting() { return Walk(*this, Walk::Pick::FirstWaiting, 0); }

SessionTable::Walk SessionTable::Due(std::time_t now) { return DueAtMillisecond(std::int64_t{now} * 1000 + 999); }

SessionTable::Walk SessionTable::DueAtMillisecond(std::int64_t nowMs, Outstanding outstanding) {
    return Walk(*this, Walk::Pick::Due, nowMs, outstanding);
}

SessionTable::Walk SessionTable::All() { return Walk(*this, Walk::Pick::All, 0); }

SessionTable::Walk::Walk(SessionTable& table, Pick pick, std::int64_t nowMs, Outstanding outstanding)
    : guard_(table), table_(table) {
    // A walk that a callback starts inside another walk gets a buffer of its own.
    records_.swap(table.scratch_);
    if (pick == Pick::Due) {
        table.CollectDue(nowMs, outstanding, records_);
    } else if (pick == Pick::FirstWaiting) {
        table.CollectFirstWaiting(records_);
    } else {
        for (Record& record : table.live_) records_.push_back(&record);
    }
}

SessionTable::Walk::~Walk() {
    records_.clear();
    if (records_.capacity() > table_.scratch_.capacity()) records_.swap(table_.scratch_);
}

SessionTable::Hold::Hold(SessionTable&, Session& session) : record_(RecordOf(session)) {
    record_.held = true;
    record_.removalAsked = false;
}

SessionTable::Hold::~Hold() { record_.held = false; }

bool SessionTable::Hold::RemovalAsked() const { return record_.removalAsked; }
