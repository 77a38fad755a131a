#include "simulation/simulation_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/attribute_list.h"
#include "protocol/dictionary.h"
#include "tests/simulation/simulation_test_support.h"
#include "tests/support/capturing_logger.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

template <typename Tokenizer>
std::vector<std::string> Split(std::string text, const char* separators, Tokenizer next) {
    std::vector<std::string> tokens;
    char* position = nullptr;
    for (char* token = next(text.data(), separators, position); token;
         token = next(nullptr, separators, position))
        tokens.emplace_back(token);
    return tokens;
}

TEST(NextFieldTest, SkipsRunsOfSeparatorsSoNoFieldIsEmpty) {
    struct Case {
        const char* text;
        std::vector<std::string> fields;
    } cases[] = {
        {"a,b,c", {"a", "b", "c"}},
        {",,a,,,b,", {"a", "b"}},
        {"", {}},
        {",,,", {}},
        {"only", {"only"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Split(c.text, ",", NextField), c.fields) << c.text;
}

TEST(NextTokenTest, AdjacentSeparatorsGiveEmptyTokensButATrailingOneGivesNothing) {
    struct Case {
        const char* text;
        std::vector<std::string> tokens;
    } cases[] = {
        {"a=1,b=2", {"a=1", "b=2"}},
        {"a=1,,b=2", {"a=1", "", "b=2"}},
        {"a=1,", {"a=1"}},
        {",a", {"", "a"}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Split(c.text, ",", NextToken), c.tokens) << c.text;
}

TEST(NextTokenTest, TwoTokenizersKeepTheirOwnPositions) {
    std::string line = "x;a,b;y";
    char* outer = nullptr;
    char* inner = nullptr;
    EXPECT_STREQ(NextField(line.data(), ";", outer), "x");
    char* section = NextField(nullptr, ";", outer);
    EXPECT_STREQ(NextToken(section, ",", inner), "a");
    EXPECT_STREQ(NextToken(nullptr, ",", inner), "b");
    EXPECT_EQ(NextToken(nullptr, ",", inner), nullptr);
    EXPECT_STREQ(NextField(nullptr, ";", outer), "y");
}

TEST(ReadLineTimeTest, FormsAndNumbers) {
    using Form = LineTime::Form;
    struct Case {
        const char* text;
        Form form;
        std::int32_t offset;  // Offset form only
        int hours, minutes, seconds;
    } cases[] = {
        {"0:00:00:10", Form::Offset, 10, 0, 0, 10},
        {"0:0:0:5", Form::Offset, 5, 0, 0, 5},
        {"1:02:03:04", Form::Offset, ((1 * 24 + 2) * 60 + 3) * 60 + 4, 2, 3, 4},
        {"365:00:00:00", Form::Offset, 365 * 86400, 0, 0, 0},
        {"0:00:00:99xyz", Form::Offset, 99, 0, 0, 99},  // text after the last number is ignored
        {"0:00:00:123", Form::Offset, 12, 0, 0, 12},    // two digits at most
        {"-1:00:00:00", Form::Offset, -86400, 0, 0, 0},
        {" 0: 0: 1: 0", Form::Offset, 60, 0, 1, 0},   // blanks before numbers are skipped
        {"12:00:00", Form::TimeOfDay, 0, 12, 0, 0},
        {"25:61:99", Form::TimeOfDay, 0, 25, 61, 99},  // no range checks
        {"123:00:00", Form::Invalid, 0, 0, 0, 0},      // 12, then "3" is not ":"
        {"10:00", Form::Invalid, 0, 0, 0, 0},
        {"abc", Form::Invalid, 0, 0, 0, 0},
        {"", Form::Invalid, 0, 0, 0, 0},
        {"1::00:00", Form::Invalid, 0, 0, 0, 0},
        {"0:00:00:", Form::TimeOfDay, 0, 0, 0, 0},     // three numbers read in the second form
    };
    for (const Case& c : cases) {
        const LineTime time = ReadLineTime(c.text);
        ASSERT_EQ(time.form, c.form) << c.text;
        if (c.form == Form::Invalid) continue;
        EXPECT_EQ(time.hours, c.hours) << c.text;
        EXPECT_EQ(time.minutes, c.minutes) << c.text;
        EXPECT_EQ(time.seconds, c.seconds) << c.text;
        if (c.form == Form::Offset) {
            EXPECT_EQ(OffsetSeconds(time), c.offset) << c.text;
        }
    }
}

TEST(ReadLineTimeTest, HugeDayCountsStayWithinTheOffsetRange) {
    EXPECT_EQ(OffsetSeconds(ReadLineTime("99999999999999999999999:00:00:00")), INT32_MAX);
    EXPECT_EQ(OffsetSeconds(ReadLineTime("-99999999999999999999999:00:00:00")), INT32_MIN);
}

TEST(ReadDurationTest, MinutesAndSeconds) {
    struct Case {
        const char* text;
        bool valid;
        std::int32_t seconds;
    } cases[] = {
        {"01:30", true, 90},
        {"00:10;Auth:NAS-Port=3", true, 10},  // the rest of the field is ignored
        {"99:99", true, 6039},
        {"1:30:00", false, 0},                // a time of day is no duration
        {"130", false, 0},
        {"", false, 0},
        {":30", false, 0},
    };
    for (const Case& c : cases) {
        std::int32_t seconds = -1;
        EXPECT_EQ(ReadDuration(c.text, seconds), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        }
    }
}

TEST(MatchSectionKeywordTest, PrefixesInAnyLetterCase) {
    struct Case {
        const char* section;
        SectionKind kind;
        std::size_t length;
    } cases[] = {
        {"Auth:NAS-Port=1", SectionKind::Auth, 5},
        {"auth:", SectionKind::Auth, 5},
        {"Acct:X=1", SectionKind::Acct, 5},
        {"AcctStart:X=1", SectionKind::AcctStart, 10},
        {"ACCTSTOP:X=1", SectionKind::AcctStop, 9},
        {"Auth :X=1", SectionKind::Unknown, 0},
        {"Authorize:X=1", SectionKind::Unknown, 0},
        {"Acct", SectionKind::Unknown, 0},
        {"", SectionKind::Unknown, 0},
    };
    for (const Case& c : cases) {
        const SectionKeyword keyword = MatchSectionKeyword(c.section);
        EXPECT_EQ(keyword.kind, c.kind) << c.section;
        EXPECT_EQ(keyword.length, c.length) << c.section;
    }
}

// --- Local time --------------------------------------------------------------------------

class LocalTimeTest : public ::testing::Test {
protected:
    ScopedTimeZone zone_{"Europe/Berlin"};
};

TEST_F(LocalTimeTest, WallClockTimesMeanWhatTheClockShowsInWinterAndSummer) {
    struct Case {
        int month, day, hour;
        std::time_t expected;  // UTC calendar time
        int isDst;
    } cases[] = {
        {1, 15, 12, 1768474800, 0},  // 2026-01-15 11:00 UTC
        {7, 15, 12, 1784109600, 1},  // 2026-07-15 10:00 UTC
    };
    for (const Case& c : cases) {
        std::tm local{};
        local.tm_year = 126;
        local.tm_mon = c.month - 1;
        local.tm_mday = c.day;
        local.tm_hour = c.hour;
        EXPECT_EQ(MakeLocalTime(local), c.expected) << c.month;
        EXPECT_EQ(local.tm_hour, c.hour);
        EXPECT_EQ(local.tm_isdst, c.isDst);
    }
}

TEST_F(LocalTimeTest, HoursAbove23AreCarriedIntoTheNextDayInBothSeasons) {
    for (int month : {1, 7}) {
        std::tm local{};
        local.tm_year = 126;
        local.tm_mon = month - 1;
        local.tm_mday = 15;
        local.tm_hour = 25;
        local.tm_min = 30;
        const std::time_t t = MakeLocalTime(local);
        EXPECT_EQ(local.tm_mday, 16) << month;
        EXPECT_EQ(local.tm_hour, 1) << month;
        EXPECT_EQ(local.tm_min, 30) << month;
        EXPECT_EQ(t, LocalTime(2026, month, 16, 1, 30, 0)) << month;
    }
}

TEST_F(LocalTimeTest, ChangeOverDays) {
    // 2026-03-29 02:30 does not exist (clocks go 02:00 -> 03:00): it is read as daylight time,
    // which is 00:30 UTC. 2026-10-25 02:30 happens twice: the standard-time one, 01:30 UTC.
    std::tm spring{};
    spring.tm_year = 126;
    spring.tm_mon = 2;
    spring.tm_mday = 29;
    spring.tm_hour = 2;
    spring.tm_min = 30;
    EXPECT_EQ(MakeLocalTime(spring), 1774744200);

    std::tm autumn{};
    autumn.tm_year = 126;
    autumn.tm_mon = 9;
    autumn.tm_mday = 25;
    autumn.tm_hour = 2;
    autumn.tm_min = 30;
    EXPECT_EQ(MakeLocalTime(autumn), 1792891800);
    EXPECT_EQ(autumn.tm_isdst, 0);
}

TEST_F(LocalTimeTest, TimeOfDayIsDueNowJustAfterItAndOtherwiseAtItsNextOccurrence) {
    for (int month : {1, 7}) {  // standard and daylight-saving time
        const std::time_t noon = LocalTime(2026, month, 15, 12, 0, 0);
        const std::time_t noonTomorrow = LocalTime(2026, month, 16, 12, 0, 0);
        struct Case {
            std::time_t now;
            std::time_t due;
        } cases[] = {
            {noon + 30, noon + 30},     // passed 30 s ago: now
            {noon + 59, noon + 59},
            {noon + 60, noonTomorrow},  // a minute or more: tomorrow
            {noon - 3600, noon},        // an hour ahead
            {noon, noon},
        };
        for (const Case& c : cases)
            EXPECT_EQ(ResolveTimeOfDay(12, 0, 0, c.now), c.due) << month << " " << c.now - noon;
    }
}

TEST_F(LocalTimeTest, TimeOfDayAcrossMidnight) {
    const std::time_t midnight = LocalTime(2026, 1, 16, 0, 0, 0);
    // 23:59:30 read at 00:00:10: passed 40 s ago, across midnight: now.
    EXPECT_EQ(ResolveTimeOfDay(23, 59, 30, midnight + 10), midnight + 10);
    // 00:00:10 read at 23:59:50 the day before: 20 s ahead, tomorrow's date.
    EXPECT_EQ(ResolveTimeOfDay(0, 0, 10, midnight - 10), midnight + 10);
    // 23:00:00 read at 00:30: the coming evening.
    EXPECT_EQ(ResolveTimeOfDay(23, 0, 0, midnight + 1800), LocalTime(2026, 1, 16, 23, 0, 0));
}

TEST_F(LocalTimeTest, TimesMoreThan23h59AheadAreDueNow) {
    const std::time_t now = LocalTime(2026, 1, 15, 0, 30, 0);
    // 25:00 today is 01:00 tomorrow, 24.5 h ahead.
    EXPECT_EQ(ResolveTimeOfDay(25, 0, 0, now), now);
    // On the 25-hour autumn day, 00:10 read at 00:20: a day later is still the same date.
    const std::time_t autumnNow = LocalTime(2026, 10, 25, 0, 20, 0);
    EXPECT_EQ(ResolveTimeOfDay(0, 10, 0, autumnNow), autumnNow);
    // On the 23-hour spring day, 00:10 tomorrow read at 00:20 lies 22 h 50 min ahead.
    const std::time_t springNow = LocalTime(2026, 3, 29, 0, 20, 0);
    EXPECT_EQ(ResolveTimeOfDay(0, 10, 0, springNow), LocalTime(2026, 3, 30, 0, 10, 0));
}

// --- Attribute pairs ---------------------------------------------------------------------

class ParseAttributePairsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Write("test.dic", kTestDictionary);
        set_ = std::make_unique<DictionarySet>((folder_.Path().string() + "/").c_str());
        dictionary_ = set_->Load("test.dic");
        ASSERT_NE(dictionary_, nullptr);
        log_.Clear();
    }

    CapturingLogger log_;
    TempFolder folder_;
    std::unique_ptr<DictionarySet> set_;
    const Dictionary* dictionary_ = nullptr;
};

TEST_F(ParseAttributePairsTest, GoodListsAppendInOrder) {
    struct Case {
        const char* text;
        std::vector<std::string> attributes;
    } cases[] = {
        {"NAS-Port=3", {"NAS-Port=3"}},
        {"NAS-Port=1,Service-Type=Framed-User", {"NAS-Port=1", "Service-Type=2"}},
        {"NAS-Port=1,", {"NAS-Port=1"}},
        {"", {}},
        {"Called-Station-Id=a=b", {"Called-Station-Id=a=b"}},  // only the first "=" separates
        {"NAS-IP-Address=10.0.0.1", {"NAS-IP-Address=167772161"}},
        {"Called-Station-Id=", {"Called-Station-Id="}},
    };
    for (const Case& c : cases) {
        AttributeList list;
        EXPECT_TRUE(ParseAttributePairs(dictionary_, c.text, list)) << c.text;
        EXPECT_EQ(Describe(list), c.attributes) << c.text;
    }
    EXPECT_THAT(log_.Lines(), IsEmpty());
}

TEST_F(ParseAttributePairsTest, FirstBadItemStopsWithItsMessage) {
    struct Case {
        std::string text;
        std::string message;
        std::size_t appended;  // items appended before the failure
    } cases[] = {
        {"NAS-Port=1,,Service-Type=2", "Missing '=' in attribute pair.", 1},
        {"NAS-Port", "Missing '=' in attribute pair.", 0},
        {" NAS-Port=3", "Invalid attribute =  NAS-Port", 0},
        {"nas-port=3", "Invalid attribute = nas-port", 0},
        {"=3", "Invalid attribute = ", 0},
        {"Called-Station-Id=0xabc", "Invalid hex value '0xabc'", 0},
        {"Event-Timestamp=5", "Radius Error: Unknown Attribute Type: Event-Timestamp (3)", 0},
        {"NAS-Port=1,Called-Station-Id=" + std::string(254, 'x'),
         "Attribute value longer than 253 characters: Called-Station-Id", 1},
    };
    for (const Case& c : cases) {
        log_.Clear();
        AttributeList list;
        EXPECT_FALSE(ParseAttributePairs(dictionary_, c.text.c_str(), list)) << c.text;
        EXPECT_THAT(log_.LinesAt(1), ElementsAre(c.message)) << c.text;
        EXPECT_EQ(list.Size(), c.appended) << c.text;
    }
}

TEST_F(ParseAttributePairsTest, AValueOf253CharactersIsTakenWhole) {
    AttributeList list;
    const std::string value(253, 'v');
    EXPECT_TRUE(ParseAttributePairs(dictionary_, ("Called-Station-Id=" + value).c_str(), list));
    EXPECT_THAT(Describe(list), ElementsAre("Called-Station-Id=" + value));
}

TEST_F(ParseAttributePairsTest, WithoutADictionaryEvenAnEmptyTextFails) {
    AttributeList list;
    EXPECT_FALSE(ParseAttributePairs(nullptr, "", list));
    EXPECT_THAT(log_.LinesAt(1), ElementsAre("No Dictionary."));
}

}  // namespace
