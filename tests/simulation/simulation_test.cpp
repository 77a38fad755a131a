#include "simulation/simulation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "infra/clock.h"
#include "protocol/dictionary.h"
#include "tests/simulation/simulation_test_support.h"
#include "tests/support/capturing_logger.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

constexpr std::time_t kLoadTime = 1767225600;  // 2026-01-01 00:00:00 UTC

class SimulationTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Write("test.dic", kTestDictionary);
        dictionaries_ = std::make_unique<DictionarySet>((folder_.Path().string() + "/").c_str());
    }

    // A simulation attached to the recording starter and the test dictionary.
    Simulation& Attached() {
        EXPECT_TRUE(simulation_.Attach(&starter_, "test.dic"));
        log_.Clear();
        return simulation_;
    }

    std::string File(const std::string& bytes) { return folder_.Write("run" + std::to_string(++files_) + ".sim", bytes); }

    // Loads a file whose first line lies far ahead, then reads the line under test.
    Simulation::ReadResult ReadOneLine(const std::string& line) {
        EXPECT_TRUE(simulation_.LoadFile(File("9:00:00:00,first,pw,00:01\n" + line).c_str()));
        log_.Clear();
        return simulation_.ReadNextLine();
    }

    CapturingLogger log_;
    TempFolder folder_;
    std::unique_ptr<DictionarySet> dictionaries_;
    ManualClock clock_{kLoadTime};
    RecordingStarter starter_{clock_};
    Simulation simulation_{clock_};
    int files_ = 0;
};

// --- One line ----------------------------------------------------------------------------

TEST_F(SimulationTest, ValidLinesFillTheLineMembers) {
    struct Case {
        std::string line;
        std::int32_t offset;
        const char* user;
        const char* password;
        std::uint32_t duration;
        std::vector<std::string> auth, acctStart, acctStop;
    } cases[] = {
        {"0:00:00:10,alice,secret,01:30\n", 10, "alice", "secret", 90, {}, {}, {}},
        {"0:0:0:5,bob,pw,00:10;Auth:NAS-Port=3\n", 5, "bob", "pw", 10, {}, {}, {}},
        {",,0:0:0:5,,,bob,,pw,,,00:10\n", 5, "bob", "pw", 10, {}, {}, {}},
        {"0:0:0:5,u,p,00:10,Auth:NAS-Port=3;Acct:Acct-Delay-Time=5\n", 5, "u", "p", 10,
         {"NAS-Port=3"}, {"Acct-Delay-Time=5"}, {"Acct-Delay-Time=5"}},
        {"0:0:0:5,u,p,00:10,AcctStart:NAS-Port=1;AcctStop:NAS-Port=2;acct:Acct-Delay-Time=7\n", 5,
         "u", "p", 10, {}, {"NAS-Port=1", "Acct-Delay-Time=7"}, {"NAS-Port=2", "Acct-Delay-Time=7"}},
        {"0:0:0:5,u,p,00:10,auth:NAS-Port=1;AUTH:NAS-Port=2,Service-Type=Framed-User;ACCTSTOP:NAS-Port=9,\n",
         5, "u", "p", 10, {"NAS-Port=1", "NAS-Port=2", "Service-Type=2"}, {}, {"NAS-Port=9"}},
        {"0:0:0:5,u,p,00:10,Auth:;;Acct:\n", 5, "u", "p", 10, {}, {}, {}},
        {"0:0:0:5,u,p,00:10,Auth:Called-Station-Id=x=y\r\n", 5, "u", "p", 10,
         {"Called-Station-Id=x=y"}, {}, {}},  // a CR LF line end is one line feed
        {"0:0:0:5,u,p,00:10,Auth:Called-Station-Id=z", 5, "u", "p", 10,
         {"Called-Station-Id=z"}, {}, {}},  // no line feed at the end of the file
    };
    Attached();
    for (const Case& c : cases) {
        ASSERT_EQ(ReadOneLine(c.line), Simulation::kLineReady) << c.line;
        EXPECT_THAT(log_.Lines(), IsEmpty()) << c.line;
        EXPECT_TRUE(simulation_.LineReady());
        EXPECT_EQ(simulation_.NextOffset(), c.offset) << c.line;
        EXPECT_STREQ(simulation_.UserName(), c.user) << c.line;
        EXPECT_STREQ(simulation_.Password(), c.password) << c.line;
        EXPECT_EQ(simulation_.Duration(), c.duration) << c.line;
        EXPECT_EQ(Describe(simulation_.AuthAttributes()), c.auth) << c.line;
        EXPECT_EQ(Describe(simulation_.AcctStartAttributes()), c.acctStart) << c.line;
        EXPECT_EQ(Describe(simulation_.AcctStopAttributes()), c.acctStop) << c.line;
    }
}

TEST_F(SimulationTest, InvalidLinesLogTheirMessagesThenTheLineAsRead) {
    struct Case {
        std::string line;
        std::vector<std::string> messages;
    } cases[] = {
        {"\n", {"Invalid Line: \n"}},
        {",,,,\n", {"Invalid Line: ,,,,\n"}},
        {"10:00,alice,secret,00:30\n", {"Invalid Line: 10:00,alice,secret,00:30\n"}},
        {"0:0:0:5,alice,secret,1:30:00\n", {"Invalid Line: 0:0:0:5,alice,secret,1:30:00\n"}},
        {"0:0:0:5,alice,secret,0130\n", {"Invalid Line: 0:0:0:5,alice,secret,0130\n"}},
        {"0:0:0:5,alice,secret\n", {"Invalid Line: 0:0:0:5,alice,secret\n"}},
        {"0:0:0:5,alice\n", {"Invalid Line: 0:0:0:5,alice\n"}},
        {"0:0:0:5,alice,secret,-01:00\n", {"Invalid Line: 0:0:0:5,alice,secret,-01:00\n"}},
        {"# comment\n", {"Invalid Line: # comment\n"}},
        {"0:0:0:5,u,p,00:10,Auth: NAS-Port=3\n",
         {"Invalid attribute =  NAS-Port", "Invalid Line: 0:0:0:5,u,p,00:10,Auth: NAS-Port=3\n"}},
        {"0:0:0:5,u,p,00:10,Auth:NAS-Port=1,,Service-Type=2\n",
         {"Missing '=' in attribute pair.", "Invalid Line: 0:0:0:5,u,p,00:10,Auth:NAS-Port=1,,Service-Type=2\n"}},
        {"0:0:0:5,u,p,00:10,Other:NAS-Port=1\n", {"Invalid Line: 0:0:0:5,u,p,00:10,Other:NAS-Port=1\n"}},
        // The first failing section ends the line; the ones after it are not looked at.
        {"0:0:0:5,u,p,00:10,Auth:Bad=1;Auth:Worse=2\n",
         {"Invalid attribute = Bad", "Invalid Line: 0:0:0:5,u,p,00:10,Auth:Bad=1;Auth:Worse=2\n"}},
        {"0:0:0:5,u,p,00:10,Acct:Called-Station-Id=0x1\n",
         {"Invalid hex value '0x1'", "Invalid Line: 0:0:0:5,u,p,00:10,Acct:Called-Station-Id=0x1\n"}},
        {"0:0:0:5,u,p,00:10,Auth:Event-Timestamp=1\r\n",
         {"Radius Error: Unknown Attribute Type: Event-Timestamp (3)",
          "Invalid Line: 0:0:0:5,u,p,00:10,Auth:Event-Timestamp=1\n"}},
        {"0:0:0:5,u,p,00:10,Auth:Called-Station-Id=" + std::string(254, 'v') + "\n",
         {"Attribute value longer than 253 characters: Called-Station-Id",
          "Invalid Line: 0:0:0:5,u,p,00:10,Auth:Called-Station-Id=" + std::string(254, 'v') + "\n"}},
    };
    Attached();
    for (const Case& c : cases) {
        EXPECT_EQ(ReadOneLine(c.line), Simulation::kLineInvalid) << c.line;
        EXPECT_THAT(log_.LinesAt(1), ElementsAreArray(c.messages)) << c.line;
        EXPECT_FALSE(simulation_.LineReady()) << c.line;
    }
}

TEST_F(SimulationTest, AnInvalidLineMovesTheOffsetOnlyWhenItsTimeWasRead) {
    Attached();
    ASSERT_EQ(ReadOneLine("0:0:1:00,u,p,bad\n"), Simulation::kLineInvalid);
    EXPECT_EQ(simulation_.NextOffset(), 60);

    ASSERT_TRUE(simulation_.LoadFile(File("0:0:0:30,a,p,00:01\nbad,u,p,00:01\n").c_str()));
    EXPECT_EQ(simulation_.ReadNextLine(), Simulation::kLineInvalid);
    EXPECT_EQ(simulation_.NextOffset(), 30);
}

TEST_F(SimulationTest, LongUserNamesAndPasswordsAreCutToFit) {
    Attached();
    const std::string user(40, 'u');
    const std::string password(200, 'p');
    ASSERT_EQ(ReadOneLine("0:0:0:5," + user + "," + password + ",00:10\n"), Simulation::kLineReady);
    EXPECT_EQ(std::string(simulation_.UserName()), user.substr(0, 32));
    EXPECT_EQ(std::string(simulation_.Password()), password.substr(0, 128));
}

TEST_F(SimulationTest, WithoutADictionaryOnlyLinesWithSectionsFail) {
    Simulation bare(clock_);  // never attached: no dictionary
    ASSERT_TRUE(bare.LoadFile(File("9:0:0:0,u,p,00:10\n"
                                   "0:0:0:5,u,p,00:10,Auth:NAS-Port=3\n"
                                   "0:0:0:5,u,p,00:10\n").c_str()));
    log_.Clear();
    EXPECT_EQ(bare.ReadNextLine(), Simulation::kLineInvalid);
    EXPECT_THAT(log_.LinesAt(1),
                ElementsAre("No Dictionary.", "Invalid Line: 0:0:0:5,u,p,00:10,Auth:NAS-Port=3\n"));
    EXPECT_EQ(bare.ReadNextLine(), Simulation::kLineReady);
}

TEST_F(SimulationTest, ALineLongerThanTheBufferIsReadAsTwoLines) {
    Attached();
    const std::string head = "0:0:0:5,u,p,00:10,Auth:Called-Station-Id=" + std::string(200, 'a') +
                             ",Called-Station-Id=";
    const std::string line = head + std::string(600 - head.size(), 'b') + "\n";
    ASSERT_EQ(ReadOneLine(line), Simulation::kLineReady);  // the first 511 characters
    EXPECT_THAT(Describe(simulation_.AuthAttributes()),
                ElementsAre("Called-Station-Id=" + std::string(200, 'a'),
                            "Called-Station-Id=" + std::string(511 - head.size(), 'b')));
    EXPECT_EQ(simulation_.ReadNextLine(), Simulation::kLineInvalid);
    EXPECT_THAT(log_.LinesAt(1), ElementsAre("Invalid Line: " + line.substr(511)));
    EXPECT_EQ(simulation_.ReadNextLine(), Simulation::kEndOfFile);
}

TEST_F(SimulationTest, BinaryJunkAndNulBytesAreInvalidLines) {
    Attached();
    const std::string junk("\x01\xff\xfe,\x80\x00,zz\x7f;;Auth:\x00=\n", 19);
    EXPECT_EQ(ReadOneLine(junk), Simulation::kLineInvalid);
    EXPECT_EQ(simulation_.ReadNextLine(), Simulation::kEndOfFile);

    // A NUL ends what the line says; here it cuts off the duration.
    EXPECT_EQ(ReadOneLine(std::string("0:0:0:5,u,p\0,00:10\n", 20)), Simulation::kLineInvalid);
    EXPECT_THAT(log_.LinesAt(1), ElementsAre("Invalid Line: 0:0:0:5,u,p"));
}

// --- Loading -----------------------------------------------------------------------------

TEST_F(SimulationTest, AttachLoadsTheDictionaryByName) {
    EXPECT_TRUE(simulation_.Attach(&starter_, "test.dic"));
    EXPECT_EQ(simulation_.GetDictionary(), DictionarySet::Instance()->Find("test.dic"));
    EXPECT_FALSE(simulation_.Attach(&starter_, "missing.dic"));
    EXPECT_EQ(simulation_.GetDictionary(), nullptr);
}

TEST_F(SimulationTest, AttachWithoutADictionarySetKeepsTheDictionary) {
    ASSERT_TRUE(simulation_.Attach(&starter_, "test.dic"));
    const Dictionary* dictionary = simulation_.GetDictionary();
    dictionaries_.reset();
    EXPECT_TRUE(simulation_.Attach(&starter_, "other.dic"));
    EXPECT_EQ(simulation_.GetDictionary(), dictionary);  // compared, never used
}

TEST_F(SimulationTest, AMissingFileIsReported) {
    Attached();
    const std::string path = (folder_.Path() / "nothing.sim").string();
    EXPECT_FALSE(simulation_.LoadFile(path.c_str()));
    EXPECT_THAT(log_.LinesAt(1), ElementsAre("Simulation file does not exist: " + path));
    EXPECT_FALSE(simulation_.IsFileOpen());
    EXPECT_FALSE(simulation_.Step());
}

TEST_F(SimulationTest, AnEmptyFileIsRefusedAndClosed) {
    Attached();
    EXPECT_FALSE(simulation_.LoadFile(File("").c_str()));
    EXPECT_FALSE(simulation_.IsFileOpen());
    EXPECT_THAT(log_.Lines(), IsEmpty());
}

TEST_F(SimulationTest, AnInvalidFirstLineRefusesTheFile) {
    Attached();
    EXPECT_FALSE(simulation_.LoadFile(File("bad line\n0:0:0:0,a,p,00:10\n0:0:0:0,b,p,00:10\n").c_str()));
    EXPECT_THAT(log_.LinesAt(1), ElementsAre("Invalid Line: bad line\n"));
    EXPECT_TRUE(simulation_.IsFileOpen());  // until the next LoadFile
    EXPECT_THAT(starter_.sessions, IsEmpty());
}

TEST_F(SimulationTest, LoadingASecondFileAbandonsTheFirst) {
    Attached();
    ASSERT_TRUE(simulation_.LoadFile(File("0:0:0:10,first1,p,00:10\n0:0:0:20,first2,p,00:10\n").c_str()));
    clock_.Set(kLoadTime + 5);
    ASSERT_TRUE(simulation_.LoadFile(File("0:0:0:10,second,p,00:10\n").c_str()));
    EXPECT_EQ(simulation_.StartTime(), kLoadTime + 5);
    clock_.Set(kLoadTime + 30);
    EXPECT_FALSE(simulation_.Step());
    EXPECT_THAT(starter_.UserNames(), ElementsAre("second"));
}

// --- Scheduling --------------------------------------------------------------------------

TEST_F(SimulationTest, ALineDueAtOnceIsSentDuringLoadFile) {
    Attached();
    ASSERT_TRUE(simulation_.LoadFile(
        File("0:00:00:00,alice,secret,01:30,Auth:NAS-Port=3;Acct:Acct-Delay-Time=5\n"
             "0:00:00:10,bob,pw,00:10\n").c_str()));
    ASSERT_EQ(starter_.sessions.size(), 1u);
    const StartedSession& alice = starter_.sessions[0];
    EXPECT_EQ(alice.userName, "alice");
    EXPECT_EQ(alice.password, "secret");
    EXPECT_EQ(alice.duration, 90u);
    EXPECT_THAT(Describe(alice.auth), ElementsAre("NAS-Port=3"));
    EXPECT_THAT(Describe(alice.acctStart), ElementsAre("Acct-Delay-Time=5"));
    EXPECT_THAT(Describe(alice.acctStop), ElementsAre("Acct-Delay-Time=5"));
    EXPECT_EQ(alice.at, kLoadTime);

    clock_.Set(kLoadTime + 9);
    EXPECT_TRUE(simulation_.Step());
    EXPECT_EQ(starter_.sessions.size(), 1u);
    clock_.Set(kLoadTime + 10);
    EXPECT_FALSE(simulation_.Step());  // bob sent, then the end of the file
    EXPECT_THAT(starter_.UserNames(), ElementsAre("alice", "bob"));
    EXPECT_FALSE(simulation_.IsFileOpen());
    EXPECT_FALSE(simulation_.Step());
}

TEST_F(SimulationTest, LinesDueTogetherAreSentInOneStepInFileOrder) {
    Attached();
    ASSERT_TRUE(simulation_.LoadFile(
        File("0:00:00:00,one,p,00:10\n0:00:00:00,two,p,00:10\n0:00:00:00,three,p,00:10\n").c_str()));
    EXPECT_THAT(starter_.UserNames(), ElementsAre("one", "two", "three"));
    EXPECT_FALSE(simulation_.IsFileOpen());
}

TEST_F(SimulationTest, AnEarlyLineBehindALateOneWaitsForIt) {
    Attached();
    ASSERT_TRUE(simulation_.LoadFile(
        File("0:00:01:00,sixty,p,00:10\n0:00:00:10,ten,p,00:10\n0:00:00:20,twenty,p,00:10\n").c_str()));
    for (std::time_t second = 0; second < 60; second += 10) {
        clock_.Set(kLoadTime + second);
        EXPECT_TRUE(simulation_.Step());
    }
    clock_.Set(kLoadTime + 59);
    clock_.Advance(999);
    EXPECT_TRUE(simulation_.Step());
    EXPECT_THAT(starter_.sessions, IsEmpty());
    clock_.Advance(1);
    EXPECT_FALSE(simulation_.Step());
    EXPECT_THAT(starter_.UserNames(), ElementsAre("sixty", "ten", "twenty"));
    for (const StartedSession& session : starter_.sessions) EXPECT_EQ(session.at, kLoadTime + 60);
}

TEST_F(SimulationTest, AnInvalidLineEndsTheStepAndTheNextLineFollowsAtTheNextTick) {
    Attached();
    ASSERT_TRUE(simulation_.LoadFile(File("0:0:0:0,a,p,00:10\n"
                                          "0:0:0:10,broken,p,xx\n"
                                          "0:0:0:5,c,p,00:10\n"
                                          "0:0:0:30,d,p,00:10\n").c_str()));
    EXPECT_THAT(starter_.UserNames(), ElementsAre("a"));
    EXPECT_EQ(simulation_.NextOffset(), 10);  // the broken line's time still counts
    clock_.Set(kLoadTime + 9);
    EXPECT_TRUE(simulation_.Step());
    EXPECT_THAT(starter_.UserNames(), ElementsAre("a"));
    clock_.Set(kLoadTime + 10);
    EXPECT_TRUE(simulation_.Step());  // reads c (due) and sends it, then d is ahead
    EXPECT_THAT(starter_.UserNames(), ElementsAre("a", "c"));
    clock_.Set(kLoadTime + 30);
    EXPECT_FALSE(simulation_.Step());
    EXPECT_THAT(starter_.UserNames(), ElementsAre("a", "c", "d"));
}

TEST_F(SimulationTest, AFileEndingInInvalidLinesEndsAtTheTickAfter) {
    Attached();
    ASSERT_TRUE(simulation_.LoadFile(File("0:0:0:0,a,p,00:10\nbad\n").c_str()));
    EXPECT_TRUE(simulation_.IsFileOpen());
    EXPECT_FALSE(simulation_.Step());  // nothing to send, end of file
    EXPECT_THAT(starter_.UserNames(), ElementsAre("a"));
}

TEST_F(SimulationTest, TimesOfDayCountFromTheLoad) {
    ScopedTimeZone zone("Europe/Berlin");
    Attached();
    struct Case {
        std::time_t now;
        std::int32_t offset;
    } cases[] = {
        {LocalTime(2026, 7, 15, 12, 0, 30), 0},
        {LocalTime(2026, 7, 15, 12, 1, 0), 86340},
        {LocalTime(2026, 7, 15, 11, 0, 0), 3600},
        {LocalTime(2026, 1, 15, 11, 0, 0), 3600},
    };
    for (const Case& c : cases) {
        clock_.Set(c.now);
        starter_.sessions.clear();
        ASSERT_TRUE(simulation_.LoadFile(File("12:00:00,alice,secret,00:30\n").c_str()));
        EXPECT_EQ(simulation_.NextOffset(), c.offset) << c.now;
        EXPECT_EQ(starter_.sessions.size(), c.offset == 0 ? 1u : 0u) << c.now;
    }
}

TEST_F(SimulationTest, TimesOfDayLaterInTheFileCountFromTheLoadToo) {
    ScopedTimeZone zone("Europe/Berlin");
    Attached();
    const std::time_t load = LocalTime(2026, 7, 15, 23, 59, 0);
    clock_.Set(load);
    ASSERT_TRUE(simulation_.LoadFile(File("0:0:0:30,first,p,00:10\n00:00:10,second,p,00:10\n").c_str()));
    clock_.Set(load + 30);
    EXPECT_TRUE(simulation_.Step());  // first sent; second read now: 00:00:10 is 40 s ahead
    EXPECT_EQ(simulation_.NextOffset(), 70);
    clock_.Set(load + 70);
    EXPECT_FALSE(simulation_.Step());
    EXPECT_THAT(starter_.UserNames(), ElementsAre("first", "second"));
}

}  // namespace
