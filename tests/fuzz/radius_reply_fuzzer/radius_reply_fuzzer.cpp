// Fuzzes reply handling over a running engine: sessions waiting in each state (identifiers
// 1, 3 and 6 outstanding, one Active), a fixed random source, an in-process socket. The first
// input octet chooses options (bit 0: the challenge callback takes the challenge up, bit 1:
// authentication only, bit 2: Message-Authenticator in requests, bits 3-4: what is required
// of replies' Message-Authenticator); the rest is one datagram, handled, then ticked over and handled again
// as a duplicate. After every input the pools and sessions must still agree.
#include <cstdint>
#include <span>

#include "tests/radius/fuzz_support.h"
#include "tests/radius/engine_test_support.h"

using namespace fuzz_support;
using namespace radius_test;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static NullLogger logger;
    if (size < 1) return 0;
    const std::uint8_t options = data[0];
    const std::span<const std::uint8_t> datagram(data + 1, size - 1);

    EngineHarness h({.nasPorts = 6, .authOnly = (options & 2) != 0});
    Require(h.Initialized());
    h.Engine().SetMessageAuthenticator((options & 4) != 0);
    h.Engine().SetChallengeCallback([&](const char* user, const char*, const std::string* state) {
        h.Engine().Tick();  // the dialog's loop goes on ticking
        if ((options & 1) == 0) return false;
        AttributeList answer;
        answer.Append(RadiusAttribute("State", 24, state ? *state : std::string()));
        return h.Engine().AddSession(user, "answer", 5, answer, {}, {});
    });
    // "waiting" holds 1; "starting" 3 (its Access-Request had 2); "stopping" 6; "active" none.
    Require(h.Add("waiting", "pw", 60));
    Require(h.Add("starting", "pw", 60));
    h.Answer(2);
    Require(h.Add("stopping", "pw", 0));
    h.Answer(2);
    h.Answer(5);
    h.Engine().Tick();
    Require(h.Add("active", "pw", 60));
    h.Answer(2);
    h.Answer(5);
    h.Engine().SetRequireMessageAuthenticator((options >> 3) & 3);

    h.Engine().ProcessReply(datagram.data(), datagram.size());
    Require(h.Engine().Sessions().CheckConsistency().empty());
    h.AdvanceAndTick(100);
    h.Engine().ProcessReply(datagram.data(), datagram.size());
    h.AdvanceAndTick(60000);
    Require(h.Engine().Sessions().CheckConsistency().empty());
    return 0;
}
