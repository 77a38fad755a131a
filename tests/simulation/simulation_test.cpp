// The Simulation: how it reads a line, which files it refuses, when it hands lines to the
// engine, and that the shipped example files play cleanly.
#include "simulation/simulation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/dictionary.h"
#include "radius/session_starter.h"
#include "tests/infra/temp_folder.h"
#include "tests/support/capturing_logger.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

constexpr std::time_t kLoadTime = 1767225600;  // 2026-01-01 00:00:00 UTC

// The attributes of a list as "Name=value" texts (numbers for integer types).
std::vector<std::string> Describe(const AttributeList& list) {
    std::vector<std::string> texts;
    for (const RadiusAttribute& a : list)
        texts.push_back(std::string(a.name) + "=" +
                        (a.type == ValueType::String ? std::string(std::begin(a.data), std::begin(a.data) + a.length)
                                                     : std::to_string(a.intValue)));
    return texts;
}

// Everything the simulation handed to the engine, and the clock when it did.
struct StartedSession {
    std::string userName;
    std::uint32_t duration;
    AttributeList auth, acctStop;
    std::time_t at;
};

class RecordingStarter : public SessionStarter {
public:
    explicit RecordingStarter(const Clock& clock) : clock_(clock) {}
    bool AddSession(const char* userName, const char*, std::uint32_t duration, const AttributeList& auth,
                    const AttributeList&, const AttributeList& acctStop) override {
        sessions.push_back({userName, duration, auth, acctStop, clock_.Now()});
        return true;
    }
    const char* LastError() const override { return ""; }

    std::vector<StartedSession> sessions;

private:
    const Clock& clock_;
};

std::vector<std::string> UserNames(const std::vector<StartedSession>& sessions) {
    std::vector<std::string> names;
    for (const auto& session : sessions) names.push_back(session.userName);
    return names;
}

// Switches the process's local time zone for one test.
struct ScopedTimeZone {
    explicit ScopedTimeZone(const char* zone) : saved(getenv("TZ") ? getenv("TZ") : "") { setenv("TZ", zone, 1); tzset(); }
    ~ScopedTimeZone() { saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1); tzset(); }
    std::string saved;
};

// The calendar time of a local wall-clock time in 2026 (mktime decides about daylight saving).
std::time_t LocalTime(int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_sec = second, local.tm_min = minute, local.tm_hour = hour;
    local.tm_mday = day, local.tm_mon = month - 1, local.tm_year = 126, local.tm_isdst = -1;
    return std::mktime(&local);
}

class SimulationTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Write("test.dic",
                      "ATTRIBUTE NAS-Port 5 integer\n"
                      "ATTRIBUTE Service-Type 6 integer\n"
                      "ATTRIBUTE Called-Station-Id 30 string\n"
                      "ATTRIBUTE Acct-Delay-Time 41 integer\n"
                      "ATTRIBUTE Example-AVPair 26 [vendor=9 type1=1 len1=+2 data=string]\n"
                      "VALUE Service-Type Framed-User 2\n"
                      "INCLUDE tunnel.dic\n");
        folder_.Write("tunnel.dic",
                      "ATTRIBUTE Tunnel-Type 64 integer has_tag\n"
                      "ATTRIBUTE Tunnel-Password 69 string has_tag,encrypt=2\n"
                      "VALUE Tunnel-Type L2TP 3\n");
        ASSERT_TRUE(simulation_.Attach(&starter_, "test.dic"));
        log_.Clear();
    }

    bool Load(const std::string& bytes) {
        const std::string name = "run" + std::to_string(++files_) + ".sim";
        folder_.Write(name, bytes);
        return simulation_.LoadFile(folder_.Path(name).c_str());
    }
    // Loads a file whose first line lies far ahead, then reads the line under test.
    Simulation::ReadResult ReadOneLine(const std::string& line) {
        EXPECT_TRUE(Load("9:00:00:00,first,pw,00:01\n" + line));
        log_.Clear();
        return simulation_.ReadNextLine();
    }
    void StepAt(std::time_t second, bool goesOn) {
        clock_.Set(kLoadTime + second);
        EXPECT_EQ(simulation_.Step(), goesOn) << second;
    }

    CapturingLogger log_;
    TempFolder folder_;
    DictionarySet dictionaries_{folder_.Path("").c_str()};
    ManualClock clock_{kLoadTime};
    RecordingStarter starter_{clock_};
    Simulation simulation_{clock_};
    int files_ = 0;
};

TEST_F(SimulationTest, ValidLinesFillFieldsAndSections) {
    struct Case {
        std::string line;
        std::int32_t offset;
        std::vector<std::string> auth, acctStart, acctStop;
    } cases[] = {
        // Runs of field separators count as one; a CR LF line end is one line end.
        {",,1:00:00:10,,u,,p,,01:30\r\n", 86410, {}, {}, {}},
        // Acct: goes into both accounting lists; keywords ignore letter case.
        {"0:0:0:5,u,p,01:30,auth:NAS-Port=3;ACCT:Acct-Delay-Time=5\n", 5,
         {"NAS-Port=3"}, {"Acct-Delay-Time=5"}, {"Acct-Delay-Time=5"}},
        {"0:0:0:5,u,p,01:30,AcctStart:NAS-Port=1;AcctStop:NAS-Port=2;Acct:Acct-Delay-Time=7\n", 5,
         {}, {"NAS-Port=1", "Acct-Delay-Time=7"}, {"NAS-Port=2", "Acct-Delay-Time=7"}},
        // A trailing comma and an empty section are fine.
        {"0:0:0:5,u,p,01:30,Auth:NAS-Port=1,Service-Type=Framed-User,;;Acct:\n", 5,
         {"NAS-Port=1", "Service-Type=2"}, {}, {}},
        // Only the first "=" separates; the last line needs no line end.
        {"0:0:0:5,u,p,01:30,Auth:Called-Station-Id=x=y", 5, {"Called-Station-Id=x=y"}, {}, {}},
        // An RFC 2868 tag after the name: the first octet of a tagged integer.
        {"0:0:0:5,u,p,01:30,Auth:Tunnel-Type:1=L2TP,Tunnel-Password:1=pw;Acct:Tunnel-Type=3\n", 5,
         {"Tunnel-Type=16777219", "Tunnel-Password=\x01pw"}, {"Tunnel-Type=3"}, {"Tunnel-Type=3"}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ReadOneLine(c.line), Simulation::kLineReady) << c.line;
        EXPECT_THAT(log_.Lines(), IsEmpty()) << c.line;
        EXPECT_EQ(simulation_.NextOffset(), c.offset) << c.line;
        EXPECT_STREQ(simulation_.UserName(), "u");
        EXPECT_STREQ(simulation_.Password(), "p");
        EXPECT_EQ(simulation_.Duration(), 90u) << c.line;
        EXPECT_EQ(Describe(simulation_.AuthAttributes()), c.auth) << c.line;
        EXPECT_EQ(Describe(simulation_.AcctStartAttributes()), c.acctStart) << c.line;
        EXPECT_EQ(Describe(simulation_.AcctStopAttributes()), c.acctStop) << c.line;
    }
}

TEST_F(SimulationTest, InvalidLinesLogTheirReasonThenTheLineAsReadAndAreCountedByReason) {
    using Reason = InvalidLineReason;
    struct Case {
        std::string line;
        Reason reason;
        std::vector<std::string> reasons;  // logged before "Invalid Line: <line>"
    } cases[] = {
        {"\n", Reason::Time, {}},
        {"10:00,alice,secret,00:30\n", Reason::Time, {}},
        {"0:0:0:5,alice,secret,1:30:00\n", Reason::Duration, {}},
        {"0:0:0:5,alice,secret,-1:00\n", Reason::Duration, {}},
        {"0:0:0:5,alice,secret\n", Reason::MissingField, {}},
        {"0:0:0:5,alice\n", Reason::MissingField, {}},
        {"0:0:0:5,u,p,00:10,Other:NAS-Port=1\n", Reason::Section, {}},
        {"0:0:0:5,u,p,00:10,Auth: NAS-Port=3\n", Reason::Attribute, {"Invalid attribute =  NAS-Port"}},
        // The first failing item ends the line; nothing after it is looked at.
        {"0:0:0:5,u,p,00:10,Auth:NAS-Port=1,,Bad=2;Auth:Worse=3\n", Reason::Attribute,
         {"Missing '=' in attribute pair."}},
        {"0:0:0:5,u,p,00:10,Auth:Called-Station-Id=" + std::string(254, 'v') + "\n", Reason::Attribute,
         {"Attribute value longer than 253 characters: Called-Station-Id"}},
        // Attributes that cannot be encoded into their request.
        {"0:0:0:5,u,p,00:10,Auth:Example-AVPair=" + std::string(248, 'v') + "\n", Reason::Attribute,
         {"Radius attribute too long: Example-AVPair"}},
        {"0:0:0:5,u,p,00:10,AcctStop:Tunnel-Password=pw\n", Reason::Attribute,
         {"Radius attribute cannot be hidden in this packet: Tunnel-Password"}},
        {"0:0:0:5,u,p,00:10,Auth:Tunnel-Type:32=1\n", Reason::Attribute, {"Invalid attribute = Tunnel-Type:32"}},
        {"0:0:0:5,u,p,00:10,Auth:NAS-Port:1=1\n", Reason::Attribute, {"Invalid attribute = NAS-Port:1"}},
        {"0:0:0:5,u,p,00:10,Acct:NAS-Port=1;Bad\n", Reason::Section, {}},
    };
    for (Case& c : cases) {
        EXPECT_EQ(ReadOneLine(c.line), Simulation::kLineInvalid) << c.line;
        c.reasons.push_back("Invalid Line: " + c.line);
        EXPECT_THAT(log_.LinesAt(1), ElementsAreArray(c.reasons)) << c.line;
        EXPECT_FALSE(simulation_.LineReady()) << c.line;
        EXPECT_EQ(simulation_.InvalidLines().Total(), 1u) << c.line;  // each file counts afresh
        EXPECT_EQ(simulation_.InvalidLines().Of(c.reason), 1u) << c.line;
    }
}

TEST_F(SimulationTest, LongUserNamesAndPasswordsAreCutToFit) {
    const std::string user(40, 'u'), password(200, 'p');
    ASSERT_EQ(ReadOneLine("0:0:0:5," + user + "," + password + ",00:10\n"), Simulation::kLineReady);
    EXPECT_EQ(simulation_.UserName(), user.substr(0, 32));
    EXPECT_EQ(simulation_.Password(), password.substr(0, 128));
}

TEST_F(SimulationTest, RefusedFiles) {
    const std::string missing = folder_.Path("nothing.sim");
    EXPECT_FALSE(simulation_.LoadFile(missing.c_str()));
    EXPECT_THAT(log_.LinesAt(1), ElementsAre("Simulation file does not exist: " + missing));
    EXPECT_FALSE(simulation_.Step());
    log_.Clear();

    EXPECT_FALSE(Load(""));
    EXPECT_FALSE(simulation_.IsFileOpen());
    EXPECT_FALSE(Load("bad line\n0:0:0:0,a,p,00:10\n"));
    EXPECT_THAT(log_.LinesAt(1), ElementsAre("Invalid Line: bad line\n"));
    EXPECT_THAT(starter_.sessions, IsEmpty());
}

TEST_F(SimulationTest, AFifoIsRefusedAtOnceAndCutNamesAreToldOncePerFile) {
    const std::string fifo = folder_.Path("pipe.sim");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // no writer: opening it would wait for one
    EXPECT_FALSE(simulation_.LoadFile(fifo.c_str()));
    EXPECT_THAT(log_.LinesAt(1), ElementsAre("Simulation file is not a regular file: " + fifo));
    log_.Clear();

    const std::string user(40, 'u'), password(200, 'p');
    ASSERT_TRUE(Load("0:0:0:0," + user + ",pw,00:10\n0:0:0:0," + user + "," + password + ",00:10\n"));
    EXPECT_THAT(log_.LinesAt(1),
                ElementsAre("User name longer than 32 characters cut to " + user.substr(0, 32) +
                                " on line 1 (later ones are not told)",
                            "Password longer than 128 characters cut on line 2 (later ones are not told)"));
}

TEST_F(SimulationTest, LoadingASecondFileAbandonsTheFirst) {
    ASSERT_TRUE(Load("0:0:0:10,first1,p,00:10\n0:0:0:20,first2,p,00:10\n"));
    clock_.Set(kLoadTime + 5);
    ASSERT_TRUE(Load("0:0:0:10,second,p,00:10\n"));
    StepAt(14, true);
    StepAt(15, false);
    EXPECT_THAT(UserNames(starter_.sessions), ElementsAre("second"));
}

TEST_F(SimulationTest, LinesDueAtOnceAreSentDuringLoadFileInFileOrder) {
    ASSERT_TRUE(Load("0:00:00:00,one,secret,01:30,Auth:NAS-Port=3;Acct:Acct-Delay-Time=5\n"
                     "0:00:00:00,two,p,00:10\n0:00:00:00,three,p,00:10\n0:00:00:10,four,pw,00:10\n"));
    EXPECT_THAT(UserNames(starter_.sessions), ElementsAre("one", "two", "three"));
    const StartedSession& one = starter_.sessions[0];
    EXPECT_THAT(Describe(one.auth), ElementsAre("NAS-Port=3"));
    EXPECT_THAT(Describe(one.acctStop), ElementsAre("Acct-Delay-Time=5"));
    EXPECT_EQ(one.at, kLoadTime);
    StepAt(9, true);
    StepAt(10, false);  // four, then the end of the file
    EXPECT_EQ(starter_.sessions.size(), 4u);
    EXPECT_FALSE(simulation_.IsFileOpen());
}

TEST_F(SimulationTest, AnEarlyLineBehindALateOneWaitsForIt) {
    ASSERT_TRUE(Load("0:00:01:00,sixty,p,00:10\n0:00:00:10,ten,p,00:10\n0:00:00:20,twenty,p,00:10\n"));
    StepAt(59, true);
    EXPECT_THAT(starter_.sessions, IsEmpty());
    StepAt(60, false);
    EXPECT_THAT(UserNames(starter_.sessions), ElementsAre("sixty", "ten", "twenty"));
    for (const StartedSession& session : starter_.sessions) EXPECT_EQ(session.at, kLoadTime + 60);
}

TEST_F(SimulationTest, AnInvalidLineEndsTheStepAndTheFileEndsAfterItsLastLine) {
    ASSERT_TRUE(Load("0:0:0:0,a,p,00:10\n0:0:0:10,broken,p,xx\n0:0:0:5,c,p,00:10\nbad\n"));
    EXPECT_THAT(UserNames(starter_.sessions), ElementsAre("a"));
    StepAt(9, true);
    StepAt(10, true);  // c is read and due; the broken line's time still counts
    EXPECT_THAT(UserNames(starter_.sessions), ElementsAre("a", "c"));
    StepAt(11, false);  // the last line is invalid: the end of the file
    EXPECT_FALSE(simulation_.IsFileOpen());
    EXPECT_EQ(simulation_.InvalidLines().Total(), 2u);
    EXPECT_EQ(simulation_.InvalidLines().Of(InvalidLineReason::Duration), 1u);
    EXPECT_EQ(simulation_.InvalidLines().Of(InvalidLineReason::Time), 1u);
}

TEST(LineTimeTest, MillisecondsFollowTheSecondsOfEitherForm) {
    struct Case {
        const char* text;
        LineTime::Form form;
        int seconds;
        int milliseconds;
    } cases[] = {
        {"0:00:00:01.250", LineTime::Form::Offset, 1, 250},
        {"0:00:00:01.5", LineTime::Form::Offset, 1, 500},
        {"0:00:00:01.05", LineTime::Form::Offset, 1, 50},
        {"0:00:00:01.2509", LineTime::Form::Offset, 1, 250},  // below a millisecond: ignored
        {"12:00:07.750", LineTime::Form::TimeOfDay, 7, 750},
        // Whole seconds, as ever: nothing, or no digit right after the ".".
        {"0:00:00:01", LineTime::Form::Offset, 1, -1},
        {"0:00:00:01.", LineTime::Form::Offset, 1, -1},
        {"0:00:00:01 .5", LineTime::Form::Offset, 1, -1},
        {"0:00:00:01x.5", LineTime::Form::Offset, 1, -1},
        {"12:00:07", LineTime::Form::TimeOfDay, 7, -1},
        {".5", LineTime::Form::Invalid, 0, -1},
    };
    for (const Case& c : cases) {
        const LineTime time = ReadLineTime(c.text);
        EXPECT_EQ(time.form, c.form) << c.text;
        EXPECT_EQ(time.seconds, c.seconds) << c.text;
        EXPECT_EQ(time.milliseconds, c.milliseconds) << c.text;
    }
}

TEST_F(SimulationTest, LinesWithMillisecondsLeaveAtTheirMillisecondAndWholeSecondsAsEver) {
    clock_.Advance(700);  // loaded 700 ms into a calendar second
    ASSERT_TRUE(Load("0:00:00:00.900,a,p,00:10\n0:00:00:01,b,p,00:10\n0:00:00:01.250,c,p,00:10\n"
                     "0:00:00:02.000,d,p,00:10\n"));
    EXPECT_THAT(starter_.sessions, IsEmpty());
    const auto stepAt = [&](std::int64_t millisecond, std::vector<std::string> names) {
        clock_.Advance(static_cast<std::uint32_t>(kLoadTime * 1000 + millisecond - clock_.NowMilliseconds()));
        simulation_.Step();
        EXPECT_EQ(UserNames(starter_.sessions), names) << millisecond;
    };
    stepAt(899, {});
    stepAt(900, {"a"});
    // A line in whole seconds is due when the next calendar second begins, 300 ms after loading.
    stepAt(1000, {"a", "b"});
    stepAt(1249, {"a", "b"});
    stepAt(1250, {"a", "b", "c"});
    stepAt(1999, {"a", "b", "c"});
    stepAt(2000, {"a", "b", "c", "d"});
    EXPECT_FALSE(simulation_.IsFileOpen());
}

TEST_F(SimulationTest, TimesOfDayCountFromTheLoadInLocalTime) {
    ScopedTimeZone zone("Europe/Berlin");
    struct Case {
        std::time_t load;
        const char* time;
        std::int32_t offset;
    } cases[] = {
        {LocalTime(7, 15, 12, 0, 30), "12:00:00", 0},  // passed less than a minute ago: now
        {LocalTime(7, 15, 12, 1, 0), "12:00:00", 86340},
        {LocalTime(7, 15, 11, 0, 0), "12:00:00", 3600},  // summer time
        {LocalTime(1, 15, 11, 0, 0), "12:00:00", 3600},  // winter time
        {LocalTime(7, 15, 23, 59, 50), "00:00:10", 20},  // across midnight
        {LocalTime(7, 16, 0, 0, 10), "23:59:30", 0},
        {LocalTime(7, 15, 12, 0, 30), "12:00:00.500", 0},  // passed: now, milliseconds or not
        {LocalTime(7, 15, 11, 59, 59), "12:00:00.500", 1},
    };
    for (const Case& c : cases) {
        clock_.Set(c.load);
        starter_.sessions.clear();
        ASSERT_TRUE(Load(std::string(c.time) + ",alice,secret,00:30\n")) << c.time;
        EXPECT_EQ(simulation_.NextOffset(), c.offset) << c.load;
        EXPECT_EQ(starter_.sessions.size(), c.offset == 0 ? 1u : 0u) << c.load;
        if (c.offset > 0) EXPECT_EQ(simulation_.NextMilliseconds(), std::strchr(c.time, '.') ? 500 : -1);
    }
    // A time of day on a later line counts from the load too, not from when it is read.
    const std::time_t load = LocalTime(7, 15, 23, 59, 0);
    clock_.Set(load);
    ASSERT_TRUE(Load("0:0:0:30,first,p,00:10\n00:00:10,second,p,00:10\n"));
    clock_.Set(load + 30);
    EXPECT_TRUE(simulation_.Step());  // second is read now: 00:00:10 lies 40 s ahead
    EXPECT_EQ(simulation_.NextOffset(), 70);
}

// The shipped examples play cleanly through the shipped dictionary.
TEST(ExamplesTest, ShippedFilesPlayCleanly) {
    CapturingLogger log(1);
    DictionarySet dictionaries(PELVOK_SOURCE_DIR "/data/");
    ManualClock clock;
    std::vector<std::vector<StartedSession>> played;
    for (const char* name : {"demo.sim", "load-1000.sim"}) {
        RecordingStarter starter(clock);
        Simulation simulation(clock);
        clock.Set(kLoadTime);
        ASSERT_TRUE(simulation.Attach(&starter, "default.dic"));
        ASSERT_TRUE(simulation.LoadFile((std::string(PELVOK_SOURCE_DIR) + "/examples/" + name).c_str()));
        for (int second = 1; second < 600 && simulation.Step(); ++second) clock.Set(kLoadTime + second);
        EXPECT_FALSE(simulation.IsFileOpen()) << name;
        played.push_back(starter.sessions);
    }
    EXPECT_THAT(log.Lines(), IsEmpty());
    const std::vector<StartedSession>& demo = played[0];
    EXPECT_THAT(UserNames(demo), ElementsAre("alice", "bob", "alice", "alice"));
    // The last demo line starts after the others have ended, so a run that stops at the end of
    // the file still shows every outcome.
    EXPECT_GE(demo[3].at, demo[2].at + demo[2].duration);
    ASSERT_EQ(played[1].size(), 1000u);
    EXPECT_EQ(played[1].back().at, kLoadTime + 59);
}

}  // namespace
