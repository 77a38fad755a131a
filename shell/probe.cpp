#include "shell/probe.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "net/bind_address.h"
#include "net/datagram_socket.h"
#include "radius/random_source.h"
#include "radius/status_probe.h"
#include "shell/options.h"
#include "shell/shell_state.h"

namespace {

int NotStarted(const std::string& problem) {
    std::fprintf(stderr, "pelvok: %s\n", problem.c_str());
    return kProbeNotStarted;
}

std::uint64_t SteadyMicroseconds() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

bool PollReadable(int fd, std::uint32_t milliseconds) {
    pollfd watched{fd, POLLIN, 0};
    return ::poll(&watched, 1, static_cast<int>(std::min<std::uint32_t>(milliseconds, 60000))) > 0;
}

}  // namespace

int RunProbe() {
    if (const std::string problem = OptionsFileProblem(true); !problem.empty()) return NotStarted(problem);
    LoadOptions();
    const Options& options = Shell().options;
    if (!UsableServerAddress(options.radHost))
        return NotStarted("no usable RADIUS server address (RadHost) in " + GetOptionsFile());
    std::string problem;
    const std::optional<SocketAddress> source = ReadSourceAddress(options, problem);
    if (!source) return NotStarted(problem);
    std::uint16_t port = options.quorlanPort != 0 ? options.quorlanPort : LookupServicePort("radius", "udp");
    if (port == 0) return NotStarted("No such service: radius/udp");

    if (const std::string mismatch = SourceAddressProblem(*source, options.radHost); !mismatch.empty())
        return NotStarted(mismatch);
    const SocketAddress bind = BindAddressFor(*source, options.radHost);
    UdpSocket socket;
    if (const DatagramSocket::OpenResult opened = socket.Open(bind); opened.failedAt != DatagramSocket::OpenStep::Done)
        return NotStarted("cannot open a socket at " + bind.FormatAddress() + ": " + std::strerror(opened.error));

    CryptoRandomSource& random = CryptoRandomSource::Instance();
    StatusProbe probe(socket, random, SteadyMicroseconds, PollReadable);
    const std::uint32_t timeoutMs = std::clamp<std::uint32_t>(options.authTimeout, 1, 3600) * 1000;
    std::uint8_t id = 0;
    random.Fill(&id, 1);
    bool bothAnswered = true;
    for (const std::uint16_t each : {port, static_cast<std::uint16_t>(port + 1)}) {
        const SocketAddress server = options.radHost.WithPort(each);
        const StatusProbe::Result result = probe.Ask(server, options.secret, id++, timeoutMs);
        std::printf("%s\n", DescribeProbe(server, result, timeoutMs).c_str());
        std::fflush(stdout);
        bothAnswered = bothAnswered && result.outcome == StatusProbe::Outcome::Answered;
    }
    return bothAnswered ? kProbeAnswered : kProbeUnanswered;
}
