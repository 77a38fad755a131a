#include "shell/options.h"

#include <gtest/gtest.h>

#include "radius/radius_engine.h"
#include "tests/shell/shell_fixture.h"

namespace shell_test {
namespace {

using OptionsTest = ShellTest;

TEST(LenientNumberTest, ReadsLikeTheOptionsFileExpects) {
    const struct {
        const char* text;
        std::int64_t value;
    } cases[] = {
        {"42", 42},          {"  42", 42},        {"\t+7", 7},   {"-1", -1},
        {"12abc", 12},       {"abc", 0},          {"", 0},       {"- 5", 0},
        {"007", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadLenientNumber(c.text), c.value) << c.text;
    EXPECT_EQ(ReadLenientNumber(nullptr), 0);
    EXPECT_GT(ReadLenientNumber("99999999999999999999999999"), 0);  // saturates, no overflow
}

TEST(OptionsFileNameTest, IniGoesAfterTheLastDotOfTheFileName) {
    EXPECT_EQ(OptionsFileForProgram("/opt/pelvok/pelvok"), "/opt/pelvok/pelvok.ini");
    EXPECT_EQ(OptionsFileForProgram("/opt/pelvok/pelvok.exe"), "/opt/pelvok/pelvok.ini");
    EXPECT_EQ(OptionsFileForProgram("/opt/v1.4/pelvok"), "/opt/v1.4/pelvok.ini");
}

TEST_F(OptionsTest, DefaultFileLiesBesideTheProgram) {
    SetOptionsFile("");
    const std::string file = GetOptionsFile();
    EXPECT_EQ(file.substr(file.rfind('/') + 1), "shell_tests.ini");
}

TEST_F(OptionsTest, NoFileGivesEveryDefault) {
    Shell().options = Options{};
    Shell().options.secret = "changed";
    LoadOptions();
    const Options& options = Shell().options;
    EXPECT_EQ(options.radHost, 0x7F000001u);  // "localhost"
    EXPECT_EQ(options.sessionId, 1u);
    EXPECT_EQ(options.secret, "MeadowLantern");
    EXPECT_EQ(options.nasName, "");
    EXPECT_EQ(options.numPorts, 100);
    EXPECT_EQ(options.dictDir, "./");
    EXPECT_EQ(options.dictName, "default.dic");
    EXPECT_EQ(options.lastDir, "");
    EXPECT_TRUE(options.resendAuth);
    EXPECT_EQ(options.authTimeout, 5u);
    EXPECT_TRUE(options.resendAcct);
    EXPECT_EQ(options.acctTimeout, 15u);
    EXPECT_EQ(options.quorlanPort, 0u);
    EXPECT_FALSE(options.authOnly);
    EXPECT_TRUE(options.incomingNotify);
    EXPECT_FALSE(options.messageAuthenticator);
    EXPECT_EQ(options.requireMessageAuthenticator, 0);
    EXPECT_FALSE(folder.Exists("pelvok.ini"));  // reading writes nothing
}

TEST_F(OptionsTest, EveryKeyIsReadWithItsConversion) {
    WriteOptions(
        "[Options]\nRadHost=10.1.2.3\nSessionId=1000\nSecret=s3cret\nNasName=nas-7\n"
        "NumPorts= 12 ports\nDictDir=data/\nDictName=other.dic\nLastDir=/home/sim\n"
        "ResendAuth=-1\nAuthTimeout=3s\nResendAcct=0\nAcctTimeout=+9\nQuorlanPort=65537\n"
        "AuthOnly=2\nIncomingNotify=no\n");
    LoadOptions();
    const Options& options = Shell().options;
    EXPECT_EQ(options.radHost, 0x0A010203u);
    EXPECT_EQ(options.sessionId, 1000u);
    EXPECT_EQ(options.secret, "s3cret");
    EXPECT_EQ(options.nasName, "nas-7");
    EXPECT_EQ(options.numPorts, 12);
    EXPECT_EQ(options.dictDir, "data/");
    EXPECT_EQ(options.dictName, "other.dic");
    EXPECT_EQ(options.lastDir, "/home/sim");
    EXPECT_FALSE(options.resendAuth);  // only numbers above 0 switch it on
    EXPECT_EQ(options.authTimeout, 3u);
    EXPECT_FALSE(options.resendAcct);
    EXPECT_EQ(options.acctTimeout, 9u);
    EXPECT_EQ(options.quorlanPort, 1u);  // the low 16 bits
    EXPECT_TRUE(options.authOnly);
    EXPECT_FALSE(options.incomingNotify);
}

TEST_F(OptionsTest, MessageAuthenticatorKeysReadLikeTheOtherNumbers) {
    struct Case {
        const char* on;
        bool expectedOn;
        const char* required;
        std::int32_t expectedRequired;
    };
    const Case cases[] = {{"1", true, "1", 1}, {"7", true, "2", 2}, {"0", false, "9", 2},
                          {"-1", false, "-1", 0}, {"yes", false, " 1 (log)", 1}};
    for (const Case& c : cases) {
        WriteOptions(std::string("[Options]\nMessageAuthenticator=") + c.on + "\nRequireMessageAuthenticator=" +
                     c.required + "\n");
        LoadOptions();
        EXPECT_EQ(Shell().options.messageAuthenticator, c.expectedOn) << c.on;
        EXPECT_EQ(Shell().options.requireMessageAuthenticator, c.expectedRequired) << c.required;
    }
}

TEST_F(OptionsTest, LongTextsAreCutToTheirBuffers) {
    WriteOptions("[Options]\nSecret=" + std::string(200, 'x') + "\nDictDir=" +
                 std::string(300, 'd') + "\n");
    LoadOptions();
    EXPECT_EQ(Shell().options.secret.size(), 127u);
    EXPECT_EQ(Shell().options.dictDir.size(), 259u);
}

TEST_F(OptionsTest, HostNameAndDottedQuadAreBothSavedAsAnAddress) {
    for (const char* host : {"127.0.0.1", "localhost"}) {
        WriteOptions(std::string("[Options]\nRadHost=") + host + "\n");
        LoadOptions();
        SaveOptions();
        EXPECT_EQ(Option("RadHost"), "127.0.0.1") << host;
    }
    EXPECT_TRUE(platform.MessageBoxes().empty());
}

TEST_F(OptionsTest, UnknownHostShowsABoxAndGivesAddressZero) {
    WriteOptions("[Options]\nRadHost=nowhere.invalid\n");
    LoadOptions();
    EXPECT_EQ(Shell().options.radHost, 0u);
    ASSERT_EQ(platform.MessageBoxes().size(), 1u);
    EXPECT_EQ(platform.MessageBoxes()[0].text, "Radius host not found: nowhere.invalid");
    EXPECT_EQ(platform.MessageBoxes()[0].caption, "gethostbyname");
    EXPECT_EQ(platform.MessageBoxes()[0].owner, kNoWindow);
}

TEST_F(OptionsTest, MalformedDottedQuadGivesAddressZeroWithoutLookup) {
    WriteOptions("[Options]\nRadHost=300.1.1.1\n");
    LoadOptions();
    EXPECT_EQ(Shell().options.radHost, 0u);
    EXPECT_TRUE(platform.MessageBoxes().empty());
}

TEST_F(OptionsTest, SaveWritesTheFiveKeysAndKeepsTheRest) {
    WriteOptions("; my settings\n[Options]\nNumPorts=7\nSecret=old\n[Logs]\nFile1=ON,NAME=stdout\n");
    LoadOptions();
    Options& options = Shell().options;
    options.radHost = 0xC0A80001;
    options.secret = "new secret";
    options.nasName = "edge";
    options.lastDir = "/srv/sims";
    engine->SetLastSessionId(4711);
    SaveOptions();
    EXPECT_EQ(Option("RadHost"), "192.168.0.1");
    EXPECT_EQ(Option("SessionId"), "4711");
    EXPECT_EQ(Option("Secret"), "new secret");
    EXPECT_EQ(Option("NasName"), "edge");
    EXPECT_EQ(Option("LastDir"), "/srv/sims");
    EXPECT_EQ(Option("NumPorts"), "7");
    EXPECT_EQ(Option("AuthTimeout"), "<missing>");  // read-only keys are never written
    EXPECT_EQ(ReadProfileString(optionsFile, "Logs", "File1", ""), "ON,NAME=stdout");
    EXPECT_NE(folder.Read("pelvok.ini").find("; my settings"), std::string::npos);
}

TEST_F(OptionsTest, ServiceModeFollowsTheServiceKey) {
    const struct {
        const char* value;
        bool service;
    } cases[] = {{"1", true},   {"0", false}, {"", false},  {"no", false},
                 {"-1", true},  {"7x", true}, {"00", false}, {"001", false},  // two characters count
                 {" 1", true}};
    for (const auto& c : cases) {
        WriteOptions(std::string("[Options]\nService=") + c.value + "\nSimFile=runs/a.sim\n");
        Shell().options.simFile.clear();
        EXPECT_EQ(IsServiceMode(), c.service) << '"' << c.value << '"';
        EXPECT_EQ(Shell().options.simFile, c.service ? "runs/a.sim" : "") << c.value;
    }
    folder.Write("pelvok.ini", "");
    EXPECT_FALSE(IsServiceMode());
}

}  // namespace
}  // namespace shell_test
