// How a session lives beyond its Start and Stop: the NAS identity its requests carry, the end
// an Access-Accept's Session-Timeout brings forward, Interim-Updates, usage counters and the
// terminate cause. Every setting's default leaves the packets and their timing as they were.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct SessionLifeSettings {
    // NAS-IP-Address and NAS-Identifier in every request (RFC 2865 section 5.4: "It MUST contain
    // either a NAS-IP-Address attribute or a NAS-Identifier attribute (or both)."); each only
    // when it is known (address not 0, identifier not empty).
    bool sendNasIdentity = false;
    std::uint32_t nasIpAddress = 0;  // host byte order
    std::string nasIdentifier;
    // The session ends at the Accept's Session-Timeout when that comes before its own end.
    bool honourSessionTimeout = false;
    // Seconds between Interim-Updates, 0: none.
    std::uint32_t interimInterval = 0;
    // What the Accept's Acct-Interim-Interval does: 0 nothing; 1 it replaces interimInterval,
    // raised to 60 seconds when below; 2 it replaces it as given.
    int honourInterimInterval = 0;
    // Stop and Interim-Update carry usage counters, Event-Timestamp and (the Stop)
    // Acct-Terminate-Cause.
    bool acctCounters = false;
    // Dynamic authorization (RFC 5176): the UDP port to take Disconnect-Requests and
    // CoA-Requests on (0: none; 3799 is the usual one), and the IPv4 addresses (host byte
    // order) besides the server's that may send them.
    std::uint16_t coaPort = 0;
    std::vector<std::uint32_t> coaClients;
};

// RFC 2869 section 5.16: "The value SHOULD NOT be smaller than 60 seconds".
inline constexpr std::uint32_t kMinInterimInterval = 60;

// The usage counters' growth per second when the simulation line gives none: input octets,
// output octets, input packets, output packets.
inline constexpr std::array<std::uint32_t, 4> kDefaultUsageRates = {2000, 8000, 10, 20};
