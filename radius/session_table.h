// The engine's live sessions and every index over them: by channel and request identifier, by
// the time each is next due, and the sessions waiting for an identifier; with the pools of NAS
// ports and identifiers (one pool per channel) that the sessions hold. The engine is the
// protocol state machine over it.
//
// Removal is deferred in two ways. While a Guard is open, a removed session leaves every index
// at once but stays in memory until the outermost Guard ends: the engine holds references
// across callbacks (result lines, the challenge dialog's nested event loop) that may re-enter
// it. While a Hold is open on a session (its challenge is being answered), walks pass it over
// and removing it is only noted, for the Hold's owner to act on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "radius/nas_port_pool.h"
#include "radius/request_id_pool.h"
#include "radius/session.h"

class SessionTable {
    class Record;
    using Records = std::list<Record>;

public:
    // What a new session could not get.
    enum class Shortage { None, NasPort, RequestId };
    struct Added {
        Session* session = nullptr;  // null on a shortage
        Shortage shortage = Shortage::None;
    };
    class Guard;
    class Hold;
    class Walk;

    SessionTable() = default;
    SessionTable(const SessionTable&) = delete;
    SessionTable& operator=(const SessionTable&) = delete;

    // NAS ports 1 to count, in ascending order; a count below 1 leaves none.
    void FillNasPorts(std::int32_t count);
    // The channels whose identifiers the table hands out: one until told more. Their number
    // only grows.
    void SetChannelCount(std::size_t count);
    std::size_t ChannelCount() const { return channels_.size(); }

    // Records the session, last in creation order, with the NAS port at the front of the pool
    // and the next free identifier. On a shortage no session is made; a port taken before the
    // identifiers ran out goes back to the end of the pool. With mayWaitForId, a session that
    // finds every identifier in use is made all the same and waits for one.
    Added Add(Session prepared, bool mayWaitForId = false);

    // The live session holding the identifier on the channel, or null. Constant time.
    Session* FindByRequestId(std::uint16_t id, std::size_t channel = 0) const;
    // Gives the session a fresh identifier, giving back first any it holds: the next free one
    // of the first channel with one free, trying the channels in turn from the one after the
    // channel that gave the last (so that requests spread over them, and an identifier comes
    // round again as late as can be). False when none is free on any channel: the session then
    // holds none and waits for one.
    bool AssignRequestId(Session& session);
    // Gives back the session's identifier, if it holds one.
    void ReleaseRequestId(Session& session);

    // The second from which Due walks visit the session (replacing any earlier one), or none;
    // it falls due dueOffsetMs into that second.
    void SetDue(Session& session, std::time_t at);
    void ClearDue(Session& session);

    // Takes the session out: its port and identifier go back and every index forgets it. True
    // when it is gone; false when it was gone already, or is held (the Hold tells its owner).
    bool Remove(Session& session);

    // A walk, in creation order, over the sessions that may have something to do at now:
    // those holding an identifier (a retransmission or a drop may be due), those waiting for
    // one, and those whose due time has come. Any other session costs nothing, however many
    // there are. (for (Session& session : table.Due(now)) ...)
    Walk Due(std::time_t now);
    // The same at a calendar millisecond: a session is due once its second and its
    // dueOffsetMs have come. Due(now) is DueAtMillisecond(now * 1000 + 999). With
    // Outstanding::Skip the sessions holding an identifier are left out unless due or waiting:
    // for a caller that knows no time-out can have passed.
    enum class Outstanding { Include, Skip };
    Walk DueAtMillisecond(std::int64_t nowMs, Outstanding outstanding = Outstanding::Include);
    // A walk over every live session in creation order.
    Walk All();
    // A walk over the first of the sessions waiting for an identifier, in creation order: as
    // many as there are identifiers free (the later ones could not have one now).
    Walk FirstWaiting();

    // The earliest calendar millisecond a session is due from, if any is.
    std::optional<std::int64_t> EarliestDueMilliseconds() const {
        if (dueTimes_.empty()) return std::nullopt;
        return dueTimes_.begin()->first;
    }
    // Whether any request is outstanding (holds an identifier).
    bool AnyOutstanding() const { return idsInUse_ > 0; }
    // Some session waits for an identifier (or may, once the current Guard ends) while one is
    // free: the next Due walk has work for it.
    bool WaitingMayProceed() const { return (!waiting_.empty() || !mayWait_.empty()) && AnyRequestIdFree(); }

    // The live sessions, in creation order.
    std::size_t Count() const { return live_.size(); }
    Records::const_iterator begin() const { return live_.begin(); }
    Records::const_iterator end() const { return live_.end(); }

    const NasPortPool& NasPorts() const { return nasPorts_; }
    const RequestIdPool& RequestIds(std::size_t channel = 0) const { return channels_[channel].pool; }

    // The first of the table's invariants that does not hold, or empty: every port free or
    // held by one live session; every identifier in use on a channel held by one live session
    // and indexed to it; an Active session holds none; every index lists live sessions only,
    // each once.
    std::string CheckConsistency() const;

private:
    static Record& RecordOf(Session& session);
    static bool WaitsForId(const Record& record);
    bool AnyRequestIdFree() const;
    bool TakeRequestId(Record& record);
    void GiveBackRequestId(Record& record);
    // The session gave back its identifier or could not get one. Whether it now waits for one
    // is known only when the reply or tick that moves it is done: when the last Guard ends.
    void NoteMayWait(Record& record);
    void SettleMayWait();
    void EndGuard();
    void CollectDue(std::int64_t nowMs, Outstanding outstanding, std::vector<Record*>& out);
    void CollectFirstWaiting(std::vector<Record*>& out);
    // Forgets the listed sessions that got an identifier or became Active since.
    void PruneWaiting();
    // The walks' order: creation order.
    static bool CreatedBefore(const Record* a, const Record* b);

    Records live_;
    Records removed_;  // out of every index, kept in memory until the last Guard ends
    NasPortPool nasPorts_;
    std::int32_t nasPortCount_ = 0;
    // The identifiers of one channel and who holds each; replies are matched by identifier
    // within the channel they came back on.
    struct IdChannel {
        RequestIdPool pool;
        std::array<Record*, RequestIdPool::kMaxId + 1> holders{};  // index 0 unused
    };
    std::vector<IdChannel> channels_ = std::vector<IdChannel>(1);
    std::size_t nextChannel_ = 0;  // the first to try for the next identifier
    std::size_t idsInUse_ = 0;     // on every channel together
    std::multimap<std::int64_t, Record*> dueTimes_;
    std::vector<Record*> waiting_;  // sessions other than Active that hold no identifier
    std::vector<Record*> mayWait_;  // noted during the current Guard
    std::vector<Record*> scratch_;  // reused by the walks
    std::uint64_t lastSequence_ = 0;
    int guards_ = 0;
};

// A Session with the table's bookkeeping, out of reach of everyone but the table.
class SessionTable::Record : public Session {
public:
    explicit Record(Session&& session) : Session(std::move(session)) {}

private:
    friend class SessionTable;
    Records::iterator position;
    std::multimap<std::int64_t, Record*>::iterator due;
    std::uint64_t sequence = 0;  // creation order
    bool hasDue = false;
    bool removed = false;
    bool held = false;
    bool removalAsked = false;  // while held
    bool mayWaitNoted = false;
    bool waitingListed = false;
};

// While one lives, removed sessions stay in memory; the last one to end frees them.
class SessionTable::Guard {
public:
    explicit Guard(SessionTable& table) : table_(table) { ++table_.guards_; }
    ~Guard() { table_.EndGuard(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    SessionTable& table_;
};

// Keeps one session out of every walk and out of Remove while it lives.
class SessionTable::Hold {
public:
    Hold(SessionTable& table, Session& session);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    // Remove was called for the session while it was held.
    bool RemovalAsked() const;

private:
    Record& record_;
};

// The sessions picked when the walk began, each looked at when the walk reaches it: one removed
// or held by then is passed over. Sessions added during the walk are not in it; sessions
// removed during it stay in memory until it ends (it holds a Guard).
class SessionTable::Walk {
public:
    class Iterator {
    public:
        Iterator(Record* const* at, Record* const* end) : at_(at), end_(end) { PassOverGone(); }
        Session& operator*() const { return **at_; }
        Iterator& operator++() {
            ++at_;
            PassOverGone();
            return *this;
        }
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        void PassOverGone() {
            while (at_ != end_ && ((*at_)->removed || (*at_)->held)) ++at_;
        }
        Record* const* at_;
        Record* const* end_;
    };

    ~Walk();
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;
    Iterator begin() const { return {records_.data(), records_.data() + records_.size()}; }
    Iterator end() const { return {records_.data() + records_.size(), records_.data() + records_.size()}; }

private:
    friend class SessionTable;
    enum class Pick { Due, All, FirstWaiting };
    Walk(SessionTable& table, Pick pick, std::int64_t nowMs, Outstanding outstanding = Outstanding::Include);

    Guard guard_;
    SessionTable& table_;
    std::vector<Record*> records_;
};
