#include "shell/tls_options.h"

#include <strings.h>

#include "infra/profile_file.h"
#include "net/tls_settings.h"
#include "shell/options.h"

namespace {

std::string Read(const std::string& file, const char* key) {
    return ReadProfileString(file, kOptionsSection, key, "");
}

}  // namespace

TlsOptions ReadTlsOptions(const std::string& file) {
    TlsOptions options;
    options.transport = ReadProfileString(file, kOptionsSection, "Transport", "udp");
    options.certificate = Read(file, "TlsCertificate");
    options.key = Read(file, "TlsKey");
    options.ca = Read(file, "TlsCa");
    options.serverName = Read(file, "TlsServerName");
    return options;
}

std::optional<TlsSettings> TlsTransport(const TlsOptions& options, const std::string& serverText,
                                        std::string& problem) {
    if (options.transport.empty() || strcasecmp(options.transport.c_str(), "udp") == 0) return std::nullopt;
    if (strcasecmp(options.transport.c_str(), "tls") != 0) {
        problem = "Transport is neither udp nor tls: " + options.transport;
        return std::nullopt;
    }
    if (options.ca.empty()) {
        problem = "Transport tls needs TlsCa, the authority the server's certificate is verified against";
        return std::nullopt;
    }
    TlsSettings settings;
    settings.certificate = options.certificate;
    settings.key = options.key;
    settings.ca = options.ca;
    settings.serverName = options.serverName;
    if (settings.serverName.empty()) {
        settings.serverName = serverText.empty() ? "localhost" : serverText;
        // An IPv6 address may be written in brackets; the certificate holds it bare.
        if (settings.serverName.size() > 2 && settings.serverName.front() == '[' && settings.serverName.back() == ']')
            settings.serverName = settings.serverName.substr(1, settings.serverName.size() - 2);
    }
    return settings;
}
