#include "shell/session_life_options.h"

#include <algorithm>
#include <limits>

#include "infra/log.h"
#include "infra/profile_file.h"
#include "net/route_source.h"
#include "protocol/ip_address.h"
#include "shell/options.h"

namespace {

// "CoaClients": IPv4 addresses separated by commas or blanks; what is not one is said and left out.
std::vector<std::uint32_t> ReadCoaClients(const std::string& file) {
    const std::string text = ReadProfileString(file, kOptionsSection, "CoaClients", "");
    std::vector<std::uint32_t> clients;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(", \t", at)) != std::string::npos) {
        const std::size_t end = std::min(text.find_first_of(", \t", at), text.size());
        const std::string word = text.substr(at, end - at);
        const std::uint32_t address = ParseIpAddress(word.c_str());
        if (address != 0) {
            clients.push_back(address);
        } else {
            Log(1, "CoaClients in the options file: \"%s\" is not an IPv4 address; left out", word.c_str());
        }
        at = end;
    }
    return clients;
}

}  // namespace

SessionLifeSettings ReadSessionLifeOptions(const std::string& file) {
    SessionLifeSettings settings;
    settings.sendNasIdentity = ReadNumberOption(file, "SendNasIdentity", "0") > 0;
    settings.honourSessionTimeout = ReadNumberOption(file, "HonourSessionTimeout", "0") > 0;
    settings.interimInterval = static_cast<std::uint32_t>(std::clamp<std::int64_t>(
        ReadNumberOption(file, "InterimInterval", "0"), 0, std::numeric_limits<std::int32_t>::max()));
    settings.honourInterimInterval =
        static_cast<int>(std::clamp<std::int64_t>(ReadNumberOption(file, "HonourInterimInterval", "0"), 0, 2));
    settings.acctCounters = ReadNumberOption(file, "AcctCounters", "0") > 0;
    settings.coaPort =
        static_cast<std::uint16_t>(std::clamp<std::int64_t>(ReadNumberOption(file, "CoaPort", "0"), 0, 65535));
    if (settings.coaPort != 0) settings.coaClients = ReadCoaClients(file);
    return settings;
}

SessionLifeSettings WithNasIdentity(SessionLifeSettings settings, const std::string& nasName,
                                    const SocketAddress& server, const SocketAddress& source) {
    if (!settings.sendNasIdentity) return settings;
    settings.nasIdentifier = nasName;
    // NAS-IP-Address holds an IPv4 address only: the source address when one is set, else the
    // route's source toward the server.
    std::optional<SocketAddress> from;
    if (source.Family() == AddressFamily::Ipv4 && source.Ipv4Address() != 0) from = source;
    else if (server.Family() == AddressFamily::Ipv4) from = SourceAddressToward(server.WithPort(1812));
    settings.nasIpAddress = from ? from->Ipv4Address() : 0;
    if (settings.nasIpAddress == 0) Log(1, "No source address toward the server: requests go without NAS-IP-Address");
    if (nasName.empty()) Log(2, "NasName is empty: requests go without NAS-Identifier");
    return settings;
}
