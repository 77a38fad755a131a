// Where a client socket of the program binds: the source address the user chose, or the
// wildcard of the server's family. The engine's channels and anything else that talks to the
// server or is reached by it (a CoA listener) bind there, so the server sees one address.
#pragma once

#include <string>

#include "net/socket_address.h"

// source of family None: the wildcard of the server's family (IPv4 when the server has none).
// The port is always 0; a listener sets its own.
SocketAddress BindAddressFor(const SocketAddress& source, const SocketAddress& server);
// Why a socket bound at source cannot reach server (another address family), or empty.
std::string SourceAddressProblem(const SocketAddress& source, const SocketAddress& server);
