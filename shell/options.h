// The application options: section "Options" of the options file (an INI file beside the
// program, or the file named with --config). The log settings live in section "Logs" of the
// same file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/socket_address.h"

#include "radius/session_life.h"
#include "shell/tls_options.h"

inline constexpr const char* kOptionsSection = "Options";

// Buffer sizes of the keys (characters with the terminator): longer values are cut.
inline constexpr std::size_t kHostTextSize = 128;
inline constexpr std::size_t kNumberTextSize = 16;
inline constexpr std::size_t kOptionTextSize = 128;   // Secret, NasName
inline constexpr std::size_t kOptionPathSize = 260;   // DictDir, DictName, LastDir, SimFile
inline constexpr std::size_t kServiceTextSize = 3;    // "Service": at most two characters count

struct Options {
    // The server's address ("RadHost"), IPv4 or IPv6, port 0; 0.0.0.0 when it is unusable.
    SocketAddress radHost = SocketAddress::Ipv4(0, 0);
    std::uint32_t sessionId = 1;
    std::string secret = "MeadowLantern";
    std::string nasName;
    std::int32_t numPorts = 100;
    std::string dictDir = "./";
    std::string dictName = "default.dic";
    std::string lastDir;
    bool resendAuth = true;
    std::uint32_t authTimeout = 5;   // seconds
    bool resendAcct = true;
    std::uint32_t acctTimeout = 15;  // seconds
    std::uint16_t quorlanPort = 0;   // 0: the port of the service "radius"
    bool authOnly = false;
    bool incomingNotify = true;
    // Message-Authenticator (RFC 3579) in every Access-Request ("MessageAuthenticator"), and
    // what is required of replies ("RequireMessageAuthenticator": 0 nothing, 1 log a reply
    // without a right one, 2 discard it).
    bool messageAuthenticator = false;
    std::int32_t requireMessageAuthenticator = 0;
    // "TraceValueNames": the packet trace shows numbers by their VALUE names.
    bool traceValueNames = false;
    std::string simFile;             // read only in service mode
    // "Sockets": UDP source sockets, each with its own 255 request identifiers (below 1 reads
    // as 1; the engine takes at most 1,024).
    std::int32_t sockets = 1;
    // "LargeNasPorts": NumPorts may go beyond 32,766 (NAS-Port is a 32-bit attribute).
    bool largeNasPorts = false;
    // "SourceAddress": the numeric address the sockets bind to, as written; empty: any.
    std::string sourceAddress;
    // "StatusServerInterval": seconds between Status-Server probes during a run; 0: none.
    std::int32_t statusServerInterval = 0;
    // NAS identity, Session-Timeout, Interim-Updates and counters (shell/session_life_options.h).
    SessionLifeSettings sessionLife;
    // "Pacing": the timer fires when the next line, retransmission or stop is due, not every
    // 100 ms (shell/pacing.h).
    bool pacing = false;
    // "WaitForId": a new session that finds every identifier in use waits for one instead of
    // being lost.
    bool waitForId = false;
    // "DiscardUnauthenticated": a reply that fails its Response Authenticator is discarded
    // instead of handled.
    bool discardUnauthenticated = false;
    // RADIUS over TLS (shell/tls_options.h).
    TlsOptions tls;
    // "RadHost" as written (or --server's host): the name a TLS server's certificate carries.
    std::string radHostText;
};

// Decimal text read leniently: leading blanks, an optional sign, then digits up to the first
// non-digit; no digits give 0. Saturates instead of overflowing.
std::int64_t ReadLenientNumber(const char* text);
// A key of section "Options" read as such a number (its first kNumberTextSize - 1 characters).
std::int64_t ReadNumberOption(const std::string& file, const char* key, const char* defaultValue);

// Looks a host name up: its first IPv4 address, as it always was, else its first IPv6 one.
// True with the address found (port 0).
using HostResolver = bool (*)(const char* name, SocketAddress& address);
bool ResolveHostName(const char* name, SocketAddress& address);
// Tests replace the lookup; nullptr restores the real one.
void SetHostResolver(HostResolver resolver);
// The lookup in force: the one tests set, or the real one.
HostResolver CurrentHostResolver();

// The address of a server text that is no host name: an IPv6 address (bare or in brackets),
// or, when the first character is not above '9', a dotted quad (0.0.0.0 when malformed).
// nullopt for a host name, to be looked up.
std::optional<SocketAddress> NumericServerAddress(const std::string& text);
// The server address of a "RadHost" text: "" means localhost; a host name is looked up (not
// found: a "gethostbyname" box and 0.0.0.0); anything else as NumericServerAddress reads it.
SocketAddress ReadServerAddress(const char* text);
// False for an address no request can go to: none, 0.0.0.0 or ::.
bool UsableServerAddress(const SocketAddress& address);
// "SourceAddress": a numeric address, or none (family None) when empty; nullopt with the
// problem when it is no numeric address.
std::optional<SocketAddress> ReadSourceAddress(const Options& options, std::string& problem);

// What keeps the options file from being used, or empty when nothing does: it cannot be read
// (a missing file counts only when missingIsProblem), is not a regular file, is larger than
// kMaxWholeFileBytes, is empty, or has no [Options] section. The text names the file.
std::string OptionsFileProblem(bool missingIsProblem);

// What keeps the options just loaded from setting the engine up, or empty: a dictionary
// folder or name that does not fit its buffer would name another file.
std::string LoadedOptionsProblem();

// --config FILE names the options file; empty returns to the default beside the program.
void SetOptionsFile(const std::string& path);
// The options file: the --config file, or the first of OptionsFilePlaces() that is there
// (looked for once), or when none is, the first of them: the program's path with "ini" after
// its last "." in the file name (one is added when the name has none). Empty when the
// program's path cannot be had.
std::string GetOptionsFile();
// Beside the program, the user's configuration folder, /etc/pelvok (shell/file_search.h).
std::vector<std::string> OptionsFilePlaces();
// Whether --config named the options file.
bool OptionsFileNamed();
// Whether GetOptionsFile() names something that is there.
bool OptionsFileIsPresent();
// The default file name for a program path: /x/pelvok -> /x/pelvok.ini, /x/a.out -> /x/a.ini.
std::string OptionsFileForProgram(const std::string& programPath);

// Reads every key but "Service" and "SimFile" into the shell's options, then the command
// line's overrides over them; the dictionary's folder is then looked for (FindDictionaryFolder).
// A Secret, NasName or LastDir longer than its buffer is logged once at level 1 (the first 127
// characters of a text are used; a folder that does not fit is not used at all).
void LoadOptions();
// Writes "RadHost" (only when the server address was changed in the program: the text in the
// file, a host name included, stays as the user wrote it), "SessionId", "Secret", "NasName"
// and "LastDir" (a value that was too long to be read whole stays as it is in the file).
// False when a write failed: each failure is logged at level 1, the first one of the process
// also goes to standard error.
bool SaveOptions();
// Writes the engine's session counter as "SessionId"; false (and said as above) on failure.
bool SaveSessionId();
// Writes one value into any section of the options file; a failure is said as above.
bool WriteOptionsFileValue(const char* section, const char* key, const std::string& value);
// True when "Service" reads as a number other than 0; then "SimFile" is read too, whole (a
// name too long for its buffer is refused when the service starts); a relative one not found
// from the current folder counts from the options file's folder when it is there.
bool IsServiceMode();
