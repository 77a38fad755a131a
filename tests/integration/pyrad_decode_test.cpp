// pyrad, a RADIUS implementation of its own, reads the engine's Access-Request back.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/integration/engine_driver.h"
#include "tests/responder/child_process.h"

namespace integration {
namespace {

using std::chrono::milliseconds;

constexpr const char* kPython = "/usr/bin/python3";

bool PyradInstalled() {
    if (::access(kPython, X_OK) != 0) return false;
    responder::ChildProcess probe;
    return probe.Start({kPython, "-c", "import pyrad.packet"}) && probe.Wait(milliseconds(10000)) == 0;
}

TEST(PyradDecode, ReadsBackTheUserNameAndThePassword) {
    if (!PyradInstalled()) GTEST_SKIP() << "Debian's python3-pyrad is not installed (/usr/bin/python3)";
    struct Case {
        const char* user;
        std::string password;
    };
    const Case cases[] = {{"alice", "alicepw"}, {"sixteen", "0123456789abcdef"}, {"long", std::string(64, 'z')}};
    for (const Case& c : cases) {
        responder::ChildProcess decoder;
        ASSERT_TRUE(decoder.Start({kPython, PELVOK_PYRAD_DECODE, "--port", "0", "--timeout", "10"}));
        const auto listening = decoder.ReadLine(milliseconds(10000));
        ASSERT_TRUE(listening && listening->rfind("listening ", 0) == 0) << (listening ? *listening : "nothing");

        EngineSettings settings;
        settings.serverPort = static_cast<std::uint16_t>(std::stoi(listening->substr(10)));
        EngineDriver driver(settings);
        ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
        ASSERT_TRUE(driver.Add(c.user, c.password.c_str(), 1)) << driver.Engine().LastError();

        const std::string output = decoder.ReadAll(milliseconds(10000));
        EXPECT_EQ(decoder.Wait(milliseconds(5000)), 0) << output;
        EXPECT_NE(output.find(std::string("\nUser-Name=") + c.user + "\n"), std::string::npos) << output;
        EXPECT_NE(output.find("\nUser-Password=" + c.password + "\n"), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace integration
