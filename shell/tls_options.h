// RADIUS over TLS in the options file (section "Options"): Transport (udp, the default, or tls),
// TlsCertificate, TlsKey, TlsCa and TlsServerName. Unset, requests go over UDP as always.
#pragma once

#include <optional>
#include <string>

struct TlsOptions {
    std::string transport = "udp";  // as written
    std::string certificate;
    std::string key;
    std::string ca;
    // The name the server's certificate must carry; empty: the server as written (RadHost, or
    // --server), localhost when that is empty.
    std::string serverName;
};

TlsOptions ReadTlsOptions(const std::string& file);

struct TlsSettings;

// The TLS settings of the options, nullopt for UDP; the problem when Transport is neither.
// serverText: the server as the user wrote it.
std::optional<TlsSettings> TlsTransport(const TlsOptions& options, const std::string& serverText,
                                        std::string& problem);
