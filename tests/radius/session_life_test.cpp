// A session's life beyond Start and Stop on the hand-moved clock: NAS identity, the Accept's
// Session-Timeout, Interim-Updates, usage counters and terminate causes.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "radius/session_life.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2;
constexpr std::uint8_t kAccountingResponse = 5;

std::uint32_t IntOf(const Bytes& packet, std::uint8_t type) {
    const std::vector<Bytes> items = ItemsOf(packet, type);
    if (items.size() != 1 || items[0].size() != 4) return ~0u;
    return (std::uint32_t{items[0][0]} << 24) | (items[0][1] << 16) | (items[0][2] << 8) | items[0][3];
}

EngineOptions WithLife(EngineOptions options, const SessionLifeSettings& settings) {
    options.life = settings;
    return options;
}

// An engine with these settings and one session of the given duration, accepted (with the
// Accept's attributes) and started.
struct LiveSession {
    explicit LiveSession(const SessionLifeSettings& settings, std::uint32_t duration = 100,
                         const Bytes& acceptAttributes = {}, const AttributeList& acct = {},
                         const EngineOptions& options = {})
        : h(WithLife(options, settings)) {
        EXPECT_TRUE(h.Add("alice", "pw", duration, {}, acct, acct));
        EXPECT_TRUE(h.Answer(kAccept, acceptAttributes));
        EXPECT_TRUE(h.Answer(kAccountingResponse));
    }
    // Ticks a second at a time for that many seconds, answering each accounting request sent.
    void Run(std::uint32_t seconds) {
        for (std::uint32_t i = 0; i < seconds * 10; ++i) {
            const std::size_t before = h.SentCount();
            h.AdvanceAndTick(100);
            if (h.SentCount() != before && answer) h.Answer(kAccountingResponse);
        }
    }
    // The accounting requests sent since the Start, in order.
    std::vector<Bytes> AfterStart() {
        std::vector<Bytes> packets;
        for (std::size_t i = 2; i < h.Socket().sent.size(); ++i) packets.push_back(h.Socket().sent[i].bytes);
        return packets;
    }
    EngineHarness h;
    bool answer = true;
};

SessionLifeSettings Interims(std::uint32_t interval) {
    SessionLifeSettings settings;
    settings.interimInterval = interval;
    return settings;
}

}  // namespace

TEST(NasIdentity, EveryRequestCarriesAddressAndNameOnlyWhenAsked) {
    SessionLifeSettings on;
    on.sendNasIdentity = true;
    on.nasIpAddress = 0x0A000005;
    on.nasIdentifier = "nas-7";
    for (const bool asked : {false, true}) {
        SCOPED_TRACE(asked);
        LiveSession live(asked ? on : SessionLifeSettings{}, 5);
        live.Run(6);
        ASSERT_EQ(live.h.SentCount(), 3u);  // Access-Request, Start, Stop
        for (const SentDatagram& sent : live.h.Socket().sent) {
            EXPECT_EQ(ItemsOf(sent.bytes, attr::kNasIpAddress), asked ? IntValue(0x0A000005) : std::vector<Bytes>{});
            EXPECT_EQ(ItemsOf(sent.bytes, attr::kNasIdentifier),
                      asked ? std::vector<Bytes>{Text("nas-7")} : std::vector<Bytes>{});
        }
    }
}

TEST(SessionTimeout, TheAcceptEndsTheSessionEarlierOnlyWhenHonoured) {
    struct Case {
        bool honour;
        std::uint32_t timeout;
        std::uint32_t expectedSessionTime;
    } cases[] = {{false, 10, 60}, {true, 10, 10}, {true, 90, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.honour << " " << c.timeout);
        SessionLifeSettings settings;
        settings.honourSessionTimeout = c.honour;
        settings.acctCounters = true;
        LiveSession live(settings, 60, IntItem(attr::kSessionTimeout, c.timeout));
        live.Run(c.expectedSessionTime - 1);
        EXPECT_EQ(live.h.SentCount(), 2u) << "stopped early";
        live.Run(2);
        ASSERT_EQ(live.h.SentCount(), 3u);
        const Bytes& stop = live.h.LastSent().bytes;
        EXPECT_EQ(IntOf(stop, attr::kAcctSessionTime), c.expectedSessionTime);
        const bool byTimeout = c.expectedSessionTime < 60;
        EXPECT_EQ(IntOf(stop, attr::kAcctTerminateCause),
                  static_cast<std::uint32_t>(byTimeout ? TerminateCause::SessionTimeout : TerminateCause::UserRequest));
    }
}

TEST(InterimUpdate, SentAtTheIntervalWithTheSessionsIdAndTimeUntilTheStop) {
    LiveSession live(Interims(30), 100);
    live.Run(101);
    const std::vector<Bytes> sent = live.AfterStart();
    ASSERT_EQ(sent.size(), 4u);  // interims at 30, 60, 90, then the Stop at 100
    const Bytes sessionId = ItemsOf(live.h.Socket().sent[1].bytes, attr::kAcctSessionId).at(0);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(IntOf(sent[i], attr::kAcctStatusType), kAcctStatusInterimUpdate);
        EXPECT_EQ(IntOf(sent[i], attr::kAcctSessionTime), 30u * (i + 1));
        EXPECT_EQ(ItemsOf(sent[i], attr::kAcctSessionId).at(0), sessionId);
        EXPECT_TRUE(ItemsOf(sent[i], attr::kAcctInputOctets).empty()) << "counters only when asked";
    }
    EXPECT_EQ(IntOf(sent[3], attr::kAcctStatusType), kAcctStatusStop);
    EXPECT_TRUE(ItemsOf(sent[3], attr::kAcctTerminateCause).empty());

    const RequestCounters& counters = live.h.Engine().Counters();
    EXPECT_EQ(counters.acctInterimRequests, 3);
    EXPECT_EQ(counters.acctInterimResponses, 3);
    EXPECT_EQ(live.h.Engine().Statistics().Summarize(RequestKind::AccountingInterim).replies, 3u);
    EXPECT_NE(std::find(live.h.Lines().begin(), live.h.Lines().end(), "alice: Account INTERIM Reply"),
              live.h.Lines().end());
    EXPECT_EQ(live.h.Engine().Sessions().CheckConsistency(), "");
}

TEST(InterimUpdate, TheAcceptsIntervalAsHonoured) {
    struct Case {
        int honour;
        std::uint32_t accepted;
        std::uint32_t expectedFirst;  // seconds after the start
    } cases[] = {{0, 10, 30}, {1, 10, 60}, {1, 70, 70}, {2, 10, 10}, {2, 0, 30}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.honour << " " << c.accepted);
        SessionLifeSettings settings = Interims(30);
        settings.honourInterimInterval = c.honour;
        LiveSession live(settings, 200, IntItem(attr::kAcctInterimInterval, c.accepted));
        live.Run(c.expectedFirst - 1);
        EXPECT_EQ(live.AfterStart().size(), 0u);
        live.Run(1);
        ASSERT_EQ(live.AfterStart().size(), 1u);
        EXPECT_EQ(IntOf(live.AfterStart()[0], attr::kAcctSessionTime), c.expectedFirst);
    }
}

TEST(InterimUpdate, AnUnansweredOneIsDroppedAndTheSessionGoesOn) {
    LiveSession live(Interims(30), 200, {}, {}, {.resendAcct = false});
    live.answer = false;
    live.Run(30);
    EXPECT_EQ(live.AfterStart().size(), 1u);
    live.Run(16);  // the accounting time-out is 15 s
    EXPECT_EQ(live.h.Engine().Statistics().Summarize(RequestKind::AccountingInterim).drops, 1u);
    EXPECT_NE(std::find(live.h.Lines().begin(), live.h.Lines().end(),
                        "alice: No response from server - Dropping Accounting request."),
              live.h.Lines().end());
    ASSERT_NE(live.h.SessionOf("alice"), nullptr);
    EXPECT_EQ(live.h.SessionOf("alice")->state, SessionState::Active);
    EXPECT_EQ(live.h.Engine().Sessions().CheckConsistency(), "");
    live.answer = true;
    live.Run(200);
    const std::vector<Bytes> sent = live.AfterStart();
    EXPECT_GT(sent.size(), 2u) << "the interims went on";
    EXPECT_EQ(IntOf(sent.back(), attr::kAcctStatusType), kAcctStatusStop);
    EXPECT_EQ(live.h.Engine().SessionCount(), 0u);
}

TEST(AcctCounters, RiseAtTheLinesRatesPastFourGibibytes) {
    SessionLifeSettings settings = Interims(50);
    settings.acctCounters = true;
    AttributeList acct;
    RadiusAttribute inputOctets;
    inputOctets.number = attr::kAcctInputOctets;
    inputOctets.type = ValueType::Integer;
    inputOctets.intValue = 50'000'000;  // 2.5 GB in 50 s, 5 GB in 100 s
    inputOctets.length = 4;
    acct.Append(inputOctets);
    LiveSession live(settings, 120, {}, acct);
    EXPECT_TRUE(ItemsOf(live.h.Socket().sent[1].bytes, attr::kAcctInputOctets).empty()) << "the Start has none";

    live.Run(121);
    const std::vector<Bytes> sent = live.AfterStart();
    ASSERT_EQ(sent.size(), 3u);  // interims at 50 and 100, the Stop at 120
    const std::uint64_t expected[] = {50'000'000ull * 50, 50'000'000ull * 100, 50'000'000ull * 120};
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const std::vector<Bytes> gigawords = ItemsOf(sent[i], attr::kAcctInputGigawords);
        const std::uint64_t high = gigawords.empty() ? 0 : IntOf(sent[i], attr::kAcctInputGigawords);
        EXPECT_EQ((high << 32) | IntOf(sent[i], attr::kAcctInputOctets), expected[i]);
        EXPECT_EQ(gigawords.empty(), expected[i] < (1ull << 32));
        EXPECT_EQ(ItemsOf(sent[i], attr::kAcctInputOctets).size(), 1u) << "the line's value is not sent as well";
        EXPECT_EQ(IntOf(sent[i], attr::kAcctOutputPackets), kDefaultUsageRates[3] * (i == 2 ? 120 : 50 * (i + 1)));
        EXPECT_EQ(IntOf(sent[i], attr::kEventTimestamp), live.h.Clock().Now() - 121 + (i == 2 ? 120 : 50 * (i + 1)));
    }
    EXPECT_TRUE(ItemsOf(sent[0], attr::kAcctTerminateCause).empty());
    EXPECT_EQ(IntOf(sent[2], attr::kAcctTerminateCause), static_cast<std::uint32_t>(TerminateCause::UserRequest));
}

TEST(AcctCounters, ShutdownStopsWithNasRequestAndNothingGoesBack) {
    struct Case {
        std::uint32_t clockBack;
    } cases[] = {{0}, {15}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clockBack);
        SessionLifeSettings settings = Interims(10);
        settings.acctCounters = true;
        LiveSession live(settings, 100);
        live.Run(20);  // interims at 10 and 20
        live.h.Clock().Set(live.h.Clock().Now() - c.clockBack);
        live.h.Engine().StopAllSessions();
        const Bytes& stop = live.h.LastSent().bytes;
        EXPECT_EQ(IntOf(stop, attr::kAcctStatusType), kAcctStatusStop);
        EXPECT_EQ(IntOf(stop, attr::kAcctTerminateCause), static_cast<std::uint32_t>(TerminateCause::NasRequest));
        EXPECT_EQ(IntOf(stop, attr::kAcctSessionTime), 20u);
        EXPECT_EQ(IntOf(stop, attr::kAcctInputOctets), kDefaultUsageRates[0] * 20);
    }
}

TEST(CounterReport, TheInterimKindShowsOnlyWhenEnabledOrSent) {
    for (const std::uint32_t interval : {0u, 30u}) {
        SCOPED_TRACE(interval);
        LiveSession live(Interims(interval), 10);
        live.h.Engine().ReportCounters();
        const std::vector<std::string>& lines = live.h.Lines();
        ASSERT_GE(lines.size(), 2u);
        const std::string& requests = lines[lines.size() - 2];
        EXPECT_EQ(requests.find("Acct-Interim=0") != std::string::npos, interval != 0) << requests;
    }
}
