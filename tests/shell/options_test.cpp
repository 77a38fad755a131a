#include "shell/options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "radius/radius_engine.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/hostile_files.h"

namespace shell_test {
namespace {

using OptionsTest = ShellTest;

TEST(LenientNumberTest, ReadsLikeTheOptionsFileExpects) {
    const struct {
        const char* text;
        std::int64_t value;
    } cases[] = {
        {"\t+7", 7}, {"-1", -1}, {"12abc", 12}, {"abc", 0}, {"- 5", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadLenientNumber(c.text), c.value) << c.text;
    EXPECT_EQ(ReadLenientNumber(nullptr), 0);
    EXPECT_GT(ReadLenientNumber("99999999999999999999999999"), 0);  // saturates, no overflow
}

// Every key with its type, in one comparable tuple.
auto Fields(const Options& o) {
    return std::make_tuple(o.radHost, o.sessionId, o.secret, o.nasName, o.numPorts, o.dictDir,
                           o.dictName, o.lastDir, o.resendAuth, o.authTimeout, o.resendAcct,
                           o.acctTimeout, o.quorlanPort, o.authOnly, o.incomingNotify,
                           o.messageAuthenticator, o.requireMessageAuthenticator, o.traceValueNames,
                           o.sockets, o.largeNasPorts, o.sourceAddress,
                           o.statusServerInterval);
}

TEST_F(OptionsTest, NoFileGivesEveryDefault) {
    Shell().options.secret = "changed";
    LoadOptions();
    EXPECT_EQ(Fields(Shell().options),
              Fields({SocketAddress::Ipv4(0x7F000001, 0), 1, "MeadowLantern", "", 100, "./", "default.dic", "",
                      true, 5, true, 15, 0, false, true, false, 0, false, "", 1, false, "", 0}));
    EXPECT_FALSE(folder.Exists("pelvok.ini"));  // reading writes nothing
}

TEST_F(OptionsTest, EveryKeyIsReadWithItsConversion) {
    WriteOptions(
        "[Options]\nRadHost=10.1.2.3\nSessionId=1000\nSecret=s3cret\nNasName=nas-7\n"
        "NumPorts= 12 ports\nDictDir=data/\nDictName=other.dic\nLastDir=/home/sim\n"
        "ResendAuth=-1\nAuthTimeout=3s\nResendAcct=0\nAcctTimeout=+9\nQuorlanPort=65537\n"
        "AuthOnly=2\nIncomingNotify=no\nMessageAuthenticator=1\nRequireMessageAuthenticator=2\n"
        "TraceValueNames=1\nSockets=16\nLargeNasPorts=1\nSourceAddress=127.0.0.2\n"
        "StatusServerInterval=30s\n");
    LoadOptions();
    // ResendAuth: only numbers above 0 switch it on; QuorlanPort: the low 16 bits.
    EXPECT_EQ(Fields(Shell().options),
              Fields({SocketAddress::Ipv4(0x0A010203, 0), 1000, "s3cret", "nas-7", 12, "data/", "other.dic",
                      "/home/sim", false, 3, false, 9, 1, true, false, true, 2, true, "", 16, true, "127.0.0.2", 30}));
}

TEST_F(OptionsTest, SaveWritesTheFiveKeysAndKeepsTheRest) {
    WriteOptions("; my settings\n[Options]\nNumPorts=7\nSecret=old\n[Logs]\nFile1=ON,NAME=stdout\n");
    LoadOptions();
    Options& options = Shell().options;
    options.radHost = SocketAddress::Ipv4(0xC0A80001, 0);
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

TEST_F(OptionsTest, WhatTheUserWroteIsWrittenBackAsWritten) {
    const std::string secret(140, 's');
    WriteOptions("[Options]\nRadHost=localhost\nSecret=" + secret + "\nNasName=nas\n");
    LoadOptions();
    EXPECT_EQ(Shell().options.radHost.Ipv4Address(), 0x7F000001u);
    EXPECT_EQ(Shell().options.secret, secret.substr(0, 127));
    EXPECT_THAT(log.LinesAt(1),
                testing::ElementsAre("Secret in the options file is longer than 127 characters: only the first ones are used"));
    EXPECT_TRUE(SaveOptions());
    EXPECT_EQ(Option("RadHost"), "localhost");  // a name stays a name
    EXPECT_EQ(Option("Secret"), secret);        // not cut

    WriteOptions("[Options]\nRadHost=no-such-host\n");
    LoadOptions();
    EXPECT_EQ(Shell().options.radHost, SocketAddress::Ipv4(0, 0));
    EXPECT_TRUE(SaveOptions());
    EXPECT_EQ(Option("RadHost"), "no-such-host");  // never 0.0.0.0
}

TEST_F(OptionsTest, AnOptionsFileThatCannotBeSavedSaysSo) {
    WriteOptions("[Options]\nSessionId=7\n");
    LoadOptions();
    engine->SetLastSessionId(8);
    chmod(folder.Root().c_str(), 0555);
    {
        hostile::AsNobody nobody;  // for whom the folder's mode holds
        EXPECT_FALSE(SaveOptions());
    }
    chmod(folder.Root().c_str(), 0700);
    EXPECT_EQ(Option("SessionId"), "7");
    EXPECT_TRUE(log.Contains("Cannot write \"SessionId\" to the options file " + optionsFile + ": Permission denied"));
}

TEST_F(OptionsTest, AnOptionsFileThatSaysNothingUsableIsNamed) {
    const std::string missing = "cannot read the options file " + optionsFile + ": No such file or directory";
    EXPECT_EQ(OptionsFileProblem(false), "");  // the defaults, as they always were
    EXPECT_EQ(OptionsFileProblem(true), missing);
    const std::pair<std::string, std::string> cases[] = {
        {" \n", "the options file " + optionsFile + " is empty"},
        {"[Logs]\nFile1=ON\n", "the options file " + optionsFile + " has no [Options] section"},
        {"\xEF\xBB\xBF[Options]\n", ""},
    };
    for (const auto& [text, problem] : cases) {
        WriteOptions(text);
        EXPECT_EQ(OptionsFileProblem(false), problem) << text;
    }
    std::filesystem::remove(optionsFile);
    ASSERT_EQ(mkfifo(optionsFile.c_str(), 0600), 0);
    EXPECT_EQ(OptionsFileProblem(false), "cannot read the options file " + optionsFile + ": not a regular file");
}

TEST_F(OptionsTest, ServiceModeFollowsTheServiceKey) {
    const struct {
        const char* value;
        bool service;
    } cases[] = {{"1", true}, {"", false}, {"no", false}, {"-1", true},
                 {"001", false}};  // two characters count
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
