// The options of a session's life beyond Start and Stop (section "Options"): SendNasIdentity,
// HonourSessionTimeout, InterimInterval, HonourInterimInterval, AcctCounters, CoaPort and
// CoaClients. Unset, each leaves the traffic as it always was.
#pragma once

#include <string>

#include "net/socket_address.h"
#include "radius/session_life.h"

// Reads the keys from the options file; the NAS identity's values are the engine set-up's.
SessionLifeSettings ReadSessionLifeOptions(const std::string& file);

// The settings with the NAS's own address and name filled in: NAS-Identifier is NasName,
// NAS-IP-Address the IPv4 source address (SourceAddress, else the route's toward the server;
// none for an IPv6 server or when it cannot be found).
SessionLifeSettings WithNasIdentity(SessionLifeSettings settings, const std::string& nasName,
                                    const SocketAddress& server, const SocketAddress& source);
