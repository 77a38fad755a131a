// The options of a session's life beyond Start and Stop (section "Options"): SendNasIdentity,
// HonourSessionTimeout, InterimInterval, HonourInterimInterval, AcctCounters, CoaPort and
// CoaClients. Unset, each leaves the traffic as it always was.
#pragma once

#include <string>

#include "radius/session_life.h"

// Reads the keys from the options file; the NAS identity's values are the engine set-up's.
SessionLifeSettings ReadSessionLifeOptions(const std::string& file);

// The settings with the NAS's own address and name filled in: NAS-Identifier is NasName,
// NAS-IP-Address the source address toward the server (none when that cannot be found).
SessionLifeSettings WithNasIdentity(SessionLifeSettings settings, const std::string& nasName,
                                    std::uint32_t serverAddress);
