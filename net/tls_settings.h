// Where and how a RADIUS over TLS channel connects ("Transport" tls).
#pragma once

#include <string>

#include "net/socket_address.h"

class Clock;

struct TlsSettings {
    SocketAddress server;     // address and port of the server
    std::string certificate;  // PEM file of the client's certificate; empty: none is offered
    std::string key;          // PEM file of its private key; empty: in the certificate's file
    std::string ca;           // PEM file of the authorities the server's certificate must chain to
    std::string serverName;   // the name (or address) the server's certificate must carry
    const Clock* clock = nullptr;  // times the reconnection back-off; null: the system's
};
