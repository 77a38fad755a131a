// The session table on its own: the pools behind Add, the identifier index, which sessions a
// walk visits, and removal while walks, guards and holds are open. Every test ends with the
// table's own consistency check.
#include "radius/session_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using State = SessionState;

Session Named(const std::string& name) {
    Session session;
    session.userName = name;
    return session;
}

class SessionTableTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(table.CheckConsistency(), ""); }

    Session& Add(const std::string& name) {
        Session* session = table.Add(Named(name)).session;
        EXPECT_NE(session, nullptr) << name;
        return *session;
    }
    std::vector<std::string> VisitedAt(std::time_t now) {
        std::vector<std::string> names;
        for (Session& session : table.Due(now)) names.push_back(session.userName);
        return names;
    }
    std::vector<std::string> Live() const {
        std::vector<std::string> names;
        for (const Session& session : table) names.push_back(session.userName);
        return names;
    }

    SessionTable table;
};

}  // namespace

TEST_F(SessionTableTest, AddTakesPortsInOrderAndIdentifiersRoundRobinAndChangesNothingOnAShortage) {
    table.FillNasPorts(300);
    for (int i = 1; i <= 255; ++i) {
        Session& session = Add("u" + std::to_string(i));
        ASSERT_EQ(session.nasPort, i);
        ASSERT_EQ(session.requestId, i);
        ASSERT_EQ(table.FindByRequestId(static_cast<std::uint16_t>(i)), &session);
    }
    const SessionTable::Added late = table.Add(Named("late"));
    EXPECT_EQ(late.session, nullptr);
    EXPECT_EQ(late.shortage, SessionTable::Shortage::RequestId);
    EXPECT_EQ(table.Count(), 255u);
    EXPECT_EQ(table.NasPorts().FreePorts().back(), 256);  // taken, then given back at the end

    SessionTable small;
    small.FillNasPorts(1);
    ASSERT_NE(small.Add(Named("a")).session, nullptr);
    const SessionTable::Added none = small.Add(Named("b"));
    EXPECT_EQ(none.shortage, SessionTable::Shortage::NasPort);
    EXPECT_EQ(small.RequestIds().InUseCount(), 1);
    EXPECT_EQ(small.CheckConsistency(), "");
}

TEST_F(SessionTableTest, IdentifiersAreFoundWhileHeldOnlyAndASessionWithoutOneWaits) {
    table.FillNasPorts(3);
    Session& a = Add("a");  // identifier 1
    Session& b = Add("b");  // identifier 2
    EXPECT_EQ(table.FindByRequestId(0), nullptr);
    EXPECT_EQ(table.FindByRequestId(256), nullptr);

    ASSERT_TRUE(table.AssignRequestId(a));  // 1 goes back, 3 is next
    EXPECT_EQ(a.requestId, 3);
    EXPECT_EQ(table.FindByRequestId(1), nullptr);
    EXPECT_EQ(table.FindByRequestId(3), &a);

    table.ReleaseRequestId(b);
    EXPECT_EQ(b.requestId, 0);
    EXPECT_EQ(table.FindByRequestId(2), nullptr);
    EXPECT_EQ(VisitedAt(0), (std::vector<std::string>{"a", "b"}));  // b waits for one

    b.state = State::Active;  // an Active session needs none
    EXPECT_EQ(VisitedAt(0), std::vector<std::string>{"a"});
}

// Skipping the outstanding requests (no time-out can have passed) leaves out the sessions that
// only hold an identifier.
TEST_F(SessionTableTest, AWalkVisitsOnlyTheSessionsThatMayHaveSomethingToDoInCreationOrder) {
    struct Row {
        const char* name;
        std::function<void(SessionTable&, Session&)> situation;
        bool visited;
        bool visitedSkippingOutstanding;
    };
    const std::time_t now = 1000;
    const auto active = [](SessionTable& table, Session& session) {
        table.ReleaseRequestId(session);
        session.state = State::Active;
    };
    const Row rows[] = {
        {"holds an identifier", [](SessionTable&, Session&) {}, true, false},
        {"holds an identifier, due now", [&](SessionTable& t, Session& s) { t.SetDue(s, now); }, true, true},
        {"Active, not yet due", [&](SessionTable& t, Session& s) { active(t, s); t.SetDue(s, now + 1); }, false, false},
        {"Active, due now", [&](SessionTable& t, Session& s) { active(t, s); t.SetDue(s, now); }, true, true},
        {"Active, due before", [&](SessionTable& t, Session& s) { active(t, s); t.SetDue(s, now - 60); }, true, true},
        {"Active, due moved later", [&](SessionTable& t, Session& s) { active(t, s); t.SetDue(s, now); t.SetDue(s, now + 5); }, false, false},
        {"Active, due cleared", [&](SessionTable& t, Session& s) { active(t, s); t.SetDue(s, now); t.ClearDue(s); }, false, false},
        {"waiting for an identifier", [](SessionTable& t, Session& s) { t.ReleaseRequestId(s); }, true, true},
        {"removed", [](SessionTable& t, Session& s) { t.Remove(s); }, false, false},
    };
    table.FillNasPorts(20);
    std::vector<std::string> expected;
    std::vector<std::string> expectedSkipping;
    // Twice over, so that creation order, not the order of the indexes, decides.
    for (int round = 0; round < 2; ++round) {
        for (const Row& row : rows) {
            const std::string name = std::string(row.name) + " " + std::to_string(round);
            row.situation(table, Add(name));
            if (row.visited) expected.push_back(name);
            if (row.visitedSkippingOutstanding) expectedSkipping.push_back(name);
        }
    }
    EXPECT_EQ(VisitedAt(now), expected);
    std::vector<std::string> skipping;
    for (Session& session : table.DueAtMillisecond(now * 1000 + 999, SessionTable::Outstanding::Skip))
        skipping.push_back(session.userName);
    EXPECT_EQ(skipping, expectedSkipping);
}

TEST_F(SessionTableTest, SessionsRemovedDuringAWalkAreSkippedAndStayInMemoryUntilItEnds) {
    table.FillNasPorts(5);
    Session& a = Add("a");
    Session& b = Add("b");
    Add("c");
    std::vector<std::string> visited;
    for (Session& session : table.All()) {
        visited.push_back(session.userName);
        if (&session != &a) continue;
        EXPECT_TRUE(table.Remove(a));
        EXPECT_TRUE(table.Remove(b));
        EXPECT_FALSE(table.Remove(b));  // once only
        EXPECT_EQ(session.userName, "a");  // still in memory
        EXPECT_EQ(table.Count(), 1u);
        EXPECT_EQ(table.FindByRequestId(1), nullptr);
        EXPECT_EQ(table.CheckConsistency(), "");
        Add("d");  // added during the walk: not visited by it
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Live(), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(table.NasPorts().FreePorts().size(), 3u);
}

TEST_F(SessionTableTest, AHeldSessionIsLeftOutOfWalksAndItsRemovalIsOnlyNoted) {
    table.FillNasPorts(5);
    Session& held = Add("held");
    Add("other");
    {
        SessionTable::Hold hold(table, held);
        EXPECT_EQ(VisitedAt(0), std::vector<std::string>{"other"});
        std::vector<std::string> all;
        for (Session& session : table.All()) all.push_back(session.userName);
        EXPECT_EQ(all, std::vector<std::string>{"other"});
        EXPECT_FALSE(hold.RemovalAsked());
        EXPECT_FALSE(table.Remove(held));
        EXPECT_TRUE(hold.RemovalAsked());
        EXPECT_EQ(table.Count(), 2u);
    }
    EXPECT_EQ(VisitedAt(0), (std::vector<std::string>{"held", "other"}));
    EXPECT_TRUE(table.Remove(held));
    EXPECT_EQ(Live(), std::vector<std::string>{"other"});
}

TEST_F(SessionTableTest, ASessionWithoutAnIdentifierWaitsForOneUnlessItIsActive) {
    table.FillNasPorts(5);
    Session& acknowledged = Add("acknowledged");
    Session& unanswered = Add("unanswered");
    {
        // A reply gives the identifier back before its handler decides what comes next.
        SessionTable::Guard reply(table);
        table.ReleaseRequestId(acknowledged);
        table.ReleaseRequestId(unanswered);
        acknowledged.state = State::Active;
        {
            SessionTable::Guard nested(table);
        }
        EXPECT_EQ(table.CheckConsistency(), "");
    }
    EXPECT_EQ(VisitedAt(0), std::vector<std::string>{"unanswered"});
    ASSERT_TRUE(table.AssignRequestId(unanswered));
    EXPECT_EQ(VisitedAt(0), std::vector<std::string>{"unanswered"});  // as a holder now
    table.ReleaseRequestId(unanswered);
    unanswered.state = State::Active;
    EXPECT_EQ(VisitedAt(0), std::vector<std::string>{});
}
