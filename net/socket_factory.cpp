#include "net/socket_factory.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "infra/log.h"
#include "net/tls_channel.h"

namespace {

// Descriptors the rest of the process may want besides the sockets: files, logs, the display.
constexpr rlim_t kOtherDescriptors = 64;

}  // namespace

std::unique_ptr<DatagramSocket> SystemSockets::MakeDatagramSocket() { return std::make_unique<UdpSocket>(); }

std::unique_ptr<DatagramSocket> SystemSockets::MakeStreamSocket(const TlsSettings& settings) {
    return std::make_unique<TlsChannel>(settings);
}

void SystemSockets::ReserveDescriptors(std::size_t count) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = static_cast<rlim_t>(count) + kOtherDescriptors;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
        Log(1, "Cannot raise the limit of open files to %llu: %s", static_cast<unsigned long long>(limit.rlim_cur),
            std::strerror(errno));
}

GivenSockets::GivenSockets(std::vector<std::unique_ptr<DatagramSocket>> sockets) {
    for (auto& socket : sockets) sockets_.push_back(std::move(socket));
}

GivenSockets::GivenSockets(std::unique_ptr<DatagramSocket> socket) { sockets_.push_back(std::move(socket)); }

std::unique_ptr<DatagramSocket> GivenSockets::MakeDatagramSocket() {
    if (sockets_.empty()) return nullptr;
    std::unique_ptr<DatagramSocket> socket = std::move(sockets_.front());
    sockets_.pop_front();
    return socket;
}

std::unique_ptr<DatagramSocket> GivenSockets::MakeStreamSocket(const TlsSettings& settings) {
    (void)settings;
    return MakeDatagramSocket();
}
