// The local address the system would send from to reach a destination: what a NAS gives as
// its own address when it is bound to the wildcard address.
#pragma once

#include <optional>

#include "net/socket_address.h"

// The route's source address (port 0), or none when there is no route or no socket could be
// made. No datagram is sent: connecting a UDP socket only picks the route.
std::optional<SocketAddress> SourceAddressToward(const SocketAddress& destination);
