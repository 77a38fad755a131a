// Status-Server during a run: probes at the interval from the watch's own socket, a server
// that stops answering told once, and told again when it answers; time moved by hand.
#include "radius/status_watch.h"

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "radius/status_server.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2;

struct WatchRig {
    WatchRig() {
        auto fake = std::make_unique<FakeSocket>(77);
        socket = fake.get();
        watch = std::make_unique<StatusWatch>(clock, random, std::move(fake));
        StatusWatch::Settings settings{SocketAddress::Parse("127.0.0.2").value(), kServer, "s", 10000, 2000};
        int error = 0;
        started = watch->Start(settings, [this](const char* line) { lines.emplace_back(line); }, error);
    }
    // The server answers the probe sent last (with that secret).
    void Answer(const std::string& secret = "s") {
        const SentDatagram& sent = socket->sent.back();
        socket->incoming.push_back(MakeReply(kAccept, sent.Id(), AuthenticatorOf(sent.bytes), secret));
        watch->OnReadable();
    }
    void Pass(std::uint32_t milliseconds) {
        for (std::uint32_t passed = 0; passed < milliseconds; passed += 100) {
            clock.Advance(100);
            watch->Tick();
        }
    }

    static inline const SocketAddress kServer = SocketAddress::Ipv4(0x7F000001, 1812);
    ManualClock clock;
    CountingRandomSource random;
    FakeSocket* socket = nullptr;
    std::unique_ptr<StatusWatch> watch;
    std::vector<std::string> lines;
    bool started = false;
};

TEST(StatusWatch, ProbesAtTheIntervalFromItsSourceAddress) {
    WatchRig rig;
    ASSERT_TRUE(rig.started);
    EXPECT_EQ(rig.socket->boundTo.FormatAddress(), "127.0.0.2");
    rig.watch->Tick();
    ASSERT_EQ(rig.socket->sent.size(), 1u);
    EXPECT_EQ(rig.socket->sent[0].Code(), code::kStatusServer);
    EXPECT_EQ(rig.socket->sent[0].to, WatchRig::kServer);
    rig.Answer();
    rig.Pass(9900);
    EXPECT_EQ(rig.socket->sent.size(), 1u);
    rig.Pass(100);
    EXPECT_EQ(rig.socket->sent.size(), 2u);
    EXPECT_NE(rig.socket->sent[1].Id(), rig.socket->sent[0].Id());
    EXPECT_TRUE(rig.lines.empty());
}

TEST(StatusWatch, ASilentServerIsToldOnceAndAgainWhenItAnswers) {
    WatchRig rig;
    rig.watch->Tick();
    rig.Pass(1900);
    EXPECT_TRUE(rig.lines.empty());
    rig.Pass(100);  // the time-out has passed
    EXPECT_EQ(rig.lines, std::vector<std::string>{"Radius server 127.0.0.1:1812 does not answer Status-Server"});
    rig.Pass(29000);  // two more probes unanswered, a third one out: nothing more is said
    EXPECT_EQ(rig.lines.size(), 1u);
    EXPECT_TRUE(rig.watch->Silent());
    rig.Answer("wrong secret");  // no better than silence
    EXPECT_TRUE(rig.watch->Silent());
    rig.Answer();
    EXPECT_FALSE(rig.watch->Silent());
    EXPECT_EQ(rig.lines.back(), "Radius server 127.0.0.1:1812 answers Status-Server again");
}

}  // namespace
