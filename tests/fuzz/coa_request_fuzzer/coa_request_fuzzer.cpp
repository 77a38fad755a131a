// Fuzzes the CoA listener over a running engine: one session accepted and started, another
// Active, one authenticating. The first input octet chooses: bit 0, the datagram is signed
// with the secret first (so that its attributes are read, not discarded unauthenticated);
// bit 1, it comes from a stranger. The rest is one datagram, handled twice, with time passing.
// After every input the pools and sessions must still agree.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/radius/fuzz_support.h"
#include "tests/radius/engine_test_support.h"

using namespace fuzz_support;
using namespace radius_test;

namespace {

// RFC 5176 section 3.5's Request Authenticator, over the octets within the Length field.
void Sign(Bytes& datagram, const std::string& secret) {
    if (datagram.size() < 20) return;
    const std::size_t length = std::min<std::size_t>((datagram[2] << 8) | datagram[3], datagram.size());
    if (length < 20) return;
    std::fill_n(datagram.begin() + 4, 16, 0);
    const Bytes digest = Md5Of(Concat({Bytes(datagram.begin(), datagram.begin() + length), Text(secret)}));
    std::copy(digest.begin(), digest.end(), datagram.begin() + 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static NullLogger logger;
    if (size < 1) return 0;
    const std::uint8_t options = data[0];
    Bytes datagram(data + 1, data + size);

    SessionLifeSettings life;
    life.coaPort = 3799;
    life.acctCounters = true;
    life.interimInterval = 30;
    EngineHarness h({.nasPorts = 6, .life = life});
    Require(h.Initialized());
    Require(h.Add("active", "pw", 60));
    h.Answer(2, IntItem(8, 0x0A000001));
    h.Answer(5);
    Require(h.Add("starting", "pw", 60));
    h.Answer(2);
    Require(h.Add("waiting", "pw", 60));
    if (options & 1) Sign(datagram, h.Options().secret);
    const SocketAddress sender = SocketAddress::Ipv4((options & 2) ? 0x0A000001 : 0x7F000001, 3799);

    h.Engine().ProcessCoaRequest(datagram.data(), datagram.size(), sender);
    Require(h.Engine().Sessions().CheckConsistency().empty());
    h.AdvanceAndTick(31000);
    h.Engine().ProcessCoaRequest(datagram.data(), datagram.size(), sender);
    h.AdvanceAndTick(60000);
    Require(h.Engine().Sessions().CheckConsistency().empty());
    return 0;
}
