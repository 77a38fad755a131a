// A session's life beyond Start and Stop: NAS identity, Session-Timeout, Interim-Updates and
// usage counters.
#include <algorithm>

#include "infra/clock.h"
#include "infra/log.h"
#include "protocol/packet_items.h"
#include "radius/radius_engine.h"

namespace {

constexpr std::uint8_t kUsageAttributes[] = {attr::kAcctInputOctets, attr::kAcctOutputOctets, attr::kAcctInputPackets,
                                             attr::kAcctOutputPackets};

// The list without the usage counters (their values were taken as rates): the engine writes
// them itself.
AttributeList WithoutUsage(const AttributeList& list) {
    AttributeList kept;
    for (const RadiusAttribute& attribute : list)
        if (std::find(std::begin(kUsageAttributes), std::end(kUsageAttributes), attribute.number) ==
            std::end(kUsageAttributes))
            kept.Append(attribute);
    return kept;
}

}  // namespace

void RadiusEngine::SetSessionLife(const SessionLifeSettings& settings) {
    life_ = settings;
    counters_.interimsEnabled = life_.interimInterval != 0 || life_.honourInterimInterval != 0;
}

RequestAdditions RadiusEngine::AdditionsFor(const Session& session) const {
    RequestAdditions additions;
    if (life_.sendNasIdentity) {
        additions.nasIpAddress = life_.nasIpAddress;
        additions.nasIdentifier = life_.nasIdentifier;
    }
    additions.withUsage = life_.acctCounters;
    additions.eventTimestamp = session.reportTime;
    additions.interimSessionTime = static_cast<std::uint32_t>(std::max<std::time_t>(
        static_cast<std::time_t>(session.reportTime) - session.startTime, 0));
    return additions;
}

void RadiusEngine::PrepareSessionLife(Session& session) const {
    session.interimInterval = life_.interimInterval;
    if (!life_.acctCounters) return;
    // The line's Acct-Input-Octets and the like give the counters' rates per second.
    session.usage.ratePerSecond = kDefaultUsageRates;
    bool given = false;
    for (const AttributeList* list : {&session.acctStartAttributes, &session.acctStopAttributes}) {
        for (const RadiusAttribute& attribute : *list) {
            const auto* at = std::find(std::begin(kUsageAttributes), std::end(kUsageAttributes), attribute.number);
            if (at == std::end(kUsageAttributes)) continue;
            session.usage.ratePerSecond[static_cast<std::size_t>(at - std::begin(kUsageAttributes))] =
                attribute.intValue;
            given = true;
        }
    }
    if (!given) return;
    session.acctStartAttributes = WithoutUsage(session.acctStartAttributes);
    session.acctStopAttributes = WithoutUsage(session.acctStopAttributes);
}

void RadiusEngine::ApplyAcceptTimers(std::span<const std::uint8_t> reply, Session& session) {
    if (!life_.honourSessionTimeout && life_.honourInterimInterval == 0) return;
    ByteReader items(AttributeArea(reply));
    PacketItem item;
    while (NextPacketItem(items, item)) {
        std::uint32_t value = 0;
        if (!ByteReader(item.value).ReadU32(value)) continue;
        if (item.type == attr::kSessionTimeout && life_.honourSessionTimeout) {
            const std::time_t end = SessionNow(session) + static_cast<std::time_t>(value);
            if (end < session.endTime) {
                session.endTime = end;
                session.endsBySessionTimeout = true;
                sessions_.SetDue(session, end);
                Log(2, "Session-Timeout of %s: the session ends in %u seconds", session.userName.c_str(), value);
            }
        } else if (item.type == attr::kAcctInterimInterval && life_.honourInterimInterval != 0 && value != 0) {
            if (life_.honourInterimInterval == 1 && value < kMinInterimInterval) {
                Log(1, "Acct-Interim-Interval of %s raised from %u to %u seconds", session.userName.c_str(), value,
                    kMinInterimInterval);
                value = kMinInterimInterval;
            }
            session.interimInterval = value;
        }
    }
}

void RadiusEngine::StampAccountingRequest(Session& session) {
    const std::time_t now = clock_.Now();
    session.reportTime = static_cast<std::uint32_t>(now);
    if (!life_.acctCounters || session.state == SessionState::AccountingStart) return;
    // The Stop reports the whole session, an Interim-Update the time so far; counters never go
    // back, whatever the clock did in between.
    const std::time_t until = session.state == SessionState::AccountingInterim ? now : session.endTime;
    const auto seconds = static_cast<std::uint64_t>(std::max<std::time_t>(until - session.startTime, 0));
    for (std::size_t i = 0; i < session.usage.reported.size(); ++i)
        session.usage.reported[i] =
            std::max(session.usage.reported[i], std::uint64_t{session.usage.ratePerSecond[i]} * seconds);
}

void RadiusEngine::ScheduleInterim(Session& session) {
    if (session.interimInterval == 0) return;
    session.nextInterimTime = SessionNow(session) + static_cast<std::time_t>(session.interimInterval);
    sessions_.SetDue(session, NextDueTime(session));
}

void RadiusEngine::StartInterim(Session& session) {
    session.nextInterimTime = 0;
    session.state = SessionState::AccountingInterim;
    session.transmissions = 0;
    sessions_.SetDue(session, session.endTime);  // the Stop still comes at the end
    if (AssignRequestId(session)) SendAccountingRequest(session, false);
}

std::time_t RadiusEngine::NextDueTime(const Session& session) const {
    if (session.nextInterimTime == 0) return session.endTime;
    return std::min(session.endTime, session.nextInterimTime);
}
