#include "net/bind_address.h"

SocketAddress BindAddressFor(const SocketAddress& source, const SocketAddress& server) {
    if (source.Family() != AddressFamily::None) return source.WithPort(0);
    const AddressFamily family = server.Family() == AddressFamily::None ? AddressFamily::Ipv4 : server.Family();
    return SocketAddress::Any(family);
}

std::string SourceAddressProblem(const SocketAddress& source, const SocketAddress& server) {
    if (source.Family() == AddressFamily::None || source.Family() == server.Family()) return {};
    return "Source address " + source.FormatAddress() + " cannot reach the Radius host " + server.FormatAddress() +
           ": another address family";
}
