#include "shell/options.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

#include "infra/atomic_file.h"
#include "infra/file_helpers.h"
#include "infra/log.h"
#include "infra/path_text.h"
#include "infra/profile_file.h"
#include "infra/regular_file.h"
#include "net/socket_address.h"
#include "platform/platform.h"
#include "protocol/ip_address.h"
#include "shell/file_search.h"
#include "shell/install_layout.h"
#include "shell/option_overrides.h"
#include "shell/session_life_options.h"
#include "shell/shell_state.h"

namespace {

std::string configuredOptionsFile;
std::string foundOptionsFile;  // the search's result, kept for the process (empty: not searched yet)
HostResolver hostResolver = nullptr;
bool saveFailureShown = false;  // the first failed write of the process went to standard error

// Reads one key of section "Options" through a buffer of the key's size.
std::string ReadOption(const std::string& file, const char* key, const char* defaultValue,
                       std::size_t size) {
    std::array<char, kOptionPathSize> buffer{};
    if (size > buffer.size()) size = buffer.size();
    ReadProfileString(file.c_str(), kOptionsSection, key, defaultValue, buffer.data(), size);
    return buffer.data();
}

// A key's whole text, however long.
std::string ReadWholeOption(const std::string& file, const char* key, const char* defaultValue) {
    return ReadProfileString(file, kOptionsSection, key, defaultValue);
}

// Values are text cut to the size of their buffer, as they would be when read back.
std::string Bounded(const std::string& value, std::size_t size) {
    return value.size() < size ? value : value.substr(0, size - 1);
}

bool TooLong(const std::string& value, std::size_t size) { return value.size() >= size; }

void WarnTooLong(const char* key, std::size_t size, const char* consequence) {
    Log(1, "%s in the options file is longer than %zu characters: %s", key, size - 1, consequence);
}

// A text key: its first size - 1 characters, with a warning when there were more.
std::string ReadTextOption(const std::string& file, const char* key, const char* defaultValue,
                           std::size_t size) {
    const std::string whole = ReadWholeOption(file, key, defaultValue);
    if (!TooLong(whole, size)) return whole;
    WarnTooLong(key, size, "only the first ones are used");
    return Bounded(whole, size);
}

bool WriteValue(const std::string& file, const char* section, const char* key,
                const std::string& value) {
    if (file.empty()) return false;
    int error = 0;
    if (WriteProfileString(file.c_str(), section, key, value.c_str(), &error)) return true;
    const std::string reason = FileErrorText(error);
    Log(1, "Cannot write \"%s\" to the options file %s: %s", key, file.c_str(), reason.c_str());
    if (!saveFailureShown) {
        saveFailureShown = true;
        std::fprintf(stderr, "pelvok: cannot save the options file %s: %s\n", file.c_str(),
                     reason.c_str());
    }
    return false;
}

bool WriteOption(const std::string& file, const char* key, const std::string& value) {
    return WriteValue(file, kOptionsSection, key, value);
}

// What loading made of a value too long for its buffer: a text is cut, a folder not used.
enum class LongValue { Cut, Unused };

// Writes a value unless the file holds a longer one that loading cut (or left unused) and the
// program has not changed since: writing it back would lose the rest.
bool WriteUnlessKeptLonger(const std::string& file, const char* key, const std::string& value,
                           std::size_t size, LongValue longValue) {
    const std::string stored = ReadWholeOption(file, key, "");
    const std::string loaded = longValue == LongValue::Cut ? Bounded(stored, size) : std::string();
    if (TooLong(stored, size) && value == loaded) return true;
    return WriteOption(file, key, Bounded(value, size));
}

}  // namespace

std::int64_t ReadNumberOption(const std::string& file, const char* key, const char* defaultValue) {
    return ReadLenientNumber(ReadOption(file, key, defaultValue, kNumberTextSize).c_str());
}

std::int64_t ReadLenientNumber(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 9;
    std::int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value < kLimit) value = value * 10 + (*p - '0');  // saturates: never overflows
    }
    return negative ? -value : value;
}

namespace {

// IPv4 first: a name that has an IPv4 address goes on reaching the server it always reached.
bool ResolveWithSystem(const char* name, SocketAddress& address) {
    std::optional<SocketAddress> found = SocketAddress::Resolve(name, 0, AddressFamily::Ipv4);
    if (!found) found = SocketAddress::Resolve(name, 0, AddressFamily::Ipv6);
    if (!found) return false;
    address = *found;
    return true;
}

}  // namespace

bool ResolveHostName(const char* name, SocketAddress& address) {
    return CurrentHostResolver()(name, address);
}

void SetHostResolver(HostResolver resolver) { hostResolver = resolver; }

HostResolver CurrentHostResolver() {
    return hostResolver != nullptr ? hostResolver : ResolveWithSystem;
}

std::optional<SocketAddress> NumericServerAddress(const std::string& text) {
    // An IPv6 address may start with a letter or a colon, which would otherwise make it a name.
    if (text.find(':') != std::string::npos) {
        if (std::optional<SocketAddress> ipv6 = SocketAddress::Parse(text); ipv6) return ipv6;
    }
    if (!text.empty() && static_cast<unsigned char>(text[0]) > '9') return std::nullopt;
    return SocketAddress::Ipv4(ParseIpAddress(text.c_str()), 0);
}

SocketAddress ReadServerAddress(const char* text) {
    const std::string host = (text == nullptr || text[0] == '\0') ? "localhost" : text;
    if (std::optional<SocketAddress> numeric = NumericServerAddress(host)) return *numeric;
    SocketAddress address;
    if (ResolveHostName(host.c_str(), address)) return address;
    char message[kHostTextSize + 32];
    std::snprintf(message, sizeof message, "Radius host not found: %s", host.c_str());
    CurrentPlatform().MessageBox(kNoWindow, message, "gethostbyname", MB_OK);
    return SocketAddress::Ipv4(0, 0);
}

std::optional<SocketAddress> ReadSourceAddress(const Options& options, std::string& problem) {
    if (options.sourceAddress.empty()) return SocketAddress();
    std::optional<SocketAddress> source = SocketAddress::Parse(options.sourceAddress);
    if (!source) problem = "SourceAddress is no numeric IPv4 or IPv6 address: " + options.sourceAddress;
    return source;
}

bool UsableServerAddress(const SocketAddress& address) {
    return address.Family() != AddressFamily::None && !(address.WithPort(0) == SocketAddress::Any(address.Family()));
}

std::string OptionsFileProblem(bool missingIsProblem) {
    const std::string file = GetOptionsFile();
    int error = 0;
    switch (FindProfileSection(file, kOptionsSection, &error)) {
        case ProfileSection::Present: return {};
        case ProfileSection::Unreadable:
            if (error == ENOENT && !missingIsProblem) return {};
            return "cannot read the options file " + file + ": " + FileErrorText(error);
        case ProfileSection::Missing: break;
    }
    std::string contents;
    ReadWholeFile(file, &contents);
    if (contents.find_first_not_of(" \t\r\n") == std::string::npos)
        return "the options file " + file + " is empty";
    return "the options file " + file + " has no [" + kOptionsSection + "] section";
}

std::string LoadedOptionsProblem() {
    const Options& options = Shell().options;
    for (const auto& [key, value] : {std::pair{"DictDir", &options.dictDir}, std::pair{"DictName", &options.dictName}})
        if (TooLong(*value, kOptionPathSize))
            return std::string(key) + " in the options file is longer than " +
                   std::to_string(kOptionPathSize - 1) + " characters";
    return {};
}

void SetOptionsFile(const std::string& path) {
    configuredOptionsFile = path;
    foundOptionsFile.clear();
}

std::string OptionsFileForProgram(const std::string& programPath) {
    std::size_t slash = programPath.rfind('/');
    std::size_t dot = programPath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return programPath + ".ini";
    return programPath.substr(0, dot + 1) + "ini";
}

std::string GetOptionsFile() {
    if (!configuredOptionsFile.empty()) return configuredOptionsFile;
    const std::string program = ProgramPath();
    if (program.empty()) {
        Log(0, "Invalid module file name: %s", "/proc/self/exe");
        return {};
    }
    // Searched once: the interactive program's first save makes the file beside the program.
    if (foundOptionsFile.empty()) {
        const std::vector<std::string> places = OptionsFilePlaces();
        foundOptionsFile = FirstPresent(places, PathIsPresent).value_or(places.front());
    }
    return foundOptionsFile;
}

std::vector<std::string> OptionsFilePlaces() {
    return OptionsFileCandidates(ProgramPath(), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

bool OptionsFileNamed() { return !configuredOptionsFile.empty(); }

bool OptionsFileIsPresent() {
    const std::string file = GetOptionsFile();
    return !file.empty() && PathIsPresent(file);
}

void LoadOptions() {
    const std::string file = GetOptionsFile();
    ShellState& shell = Shell();
    Options& options = shell.options;

    // An address from the command line is looked up instead of the file's, and never saved.
    if (!shell.overrides.serverHost)
        options.radHost = ReadServerAddress(ReadOption(file, "RadHost", "", kHostTextSize).c_str());
    options.sessionId = static_cast<std::uint32_t>(ReadNumberOption(file, "SessionId", "1"));
    options.secret = ReadTextOption(file, "Secret", "MeadowLantern", kOptionTextSize);
    options.nasName = ReadTextOption(file, "NasName", "", kOptionTextSize);
    options.numPorts = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        ReadNumberOption(file, "NumPorts", "100"), std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max()));
    // Folders and file names are kept whole: one cut to its buffer would name another file.
    options.dictDir = ReadWholeOption(file, "DictDir", "./");
    options.dictName = ReadWholeOption(file, "DictName", "default.dic");
    options.lastDir = ReadWholeOption(file, "LastDir", "");
    if (TooLong(options.lastDir, kOptionPathSize)) {
        WarnTooLong("LastDir", kOptionPathSize, "the Open dialog starts in the current folder");
        options.lastDir.clear();
    }
    options.resendAuth = ReadNumberOption(file, "ResendAuth", "1") > 0;
    options.authTimeout = static_cast<std::uint32_t>(ReadNumberOption(file, "AuthTimeout", "5"));
    options.resendAcct = ReadNumberOption(file, "ResendAcct", "1") > 0;
    options.acctTimeout = static_cast<std::uint32_t>(ReadNumberOption(file, "AcctTimeout", "15"));
    options.quorlanPort =
        static_cast<std::uint16_t>(ReadNumberOption(file, "QuorlanPort", "0") & 0xFFFF);
    options.authOnly = ReadNumberOption(file, "AuthOnly", "0") > 0;
    options.incomingNotify = ReadNumberOption(file, "IncomingNotify", "1") > 0;
    options.messageAuthenticator = ReadNumberOption(file, "MessageAuthenticator", "0") > 0;
    options.requireMessageAuthenticator = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(ReadNumberOption(file, "RequireMessageAuthenticator", "0"), 0, 2));
    options.traceValueNames = ReadNumberOption(file, "TraceValueNames", "0") > 0;
    options.sockets = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(ReadNumberOption(file, "Sockets", "1"), 1, std::numeric_limits<std::int32_t>::max()));
    options.largeNasPorts = ReadNumberOption(file, "LargeNasPorts", "0") > 0;
    options.sourceAddress = ReadOption(file, "SourceAddress", "", kHostTextSize);
    options.statusServerInterval = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(ReadNumberOption(file, "StatusServerInterval", "0"), 0, 86400));
    options.sessionLife = ReadSessionLifeOptions(file);
    options.pacing = ReadNumberOption(file, "Pacing", "0") > 0;
    options.waitForId = ReadNumberOption(file, "WaitForId", "0") > 0;
    options.discardUnauthenticated = ReadNumberOption(file, "DiscardUnauthenticated", "0") > 0;
    options.tls = ReadTlsOptions(file);
    options.radHostText =
        shell.overrides.serverHost ? *shell.overrides.serverHost : ReadWholeOption(file, "RadHost", "");

    ApplyOptionOverrides(shell.overrides, options);
    shell.radHostInFile = options.radHost;
    // A dictionary named on the command line counts from the current folder alone.
    const bool fromCommandLine = shell.overrides.dictionaryFile.has_value();
    const DictionaryPlace place = FindDictionaryFolder(
        {options.dictDir, options.dictName, fromCommandLine || !OptionsFileIsPresent() ? "" : FolderOf(file),
         fromCommandLine ? "" : InstalledDataFolder()},
        PathIsPresent);
    if (place.folder != options.dictDir) Log(2, "Dictionary folder = %s", place.folder.c_str());
    options.dictDir = place.folder;
    shell.dictionaryPathsTried = place.tried;
}

bool SaveOptions() {
    const std::string file = GetOptionsFile();
    ShellState& shell = Shell();
    const Options& options = shell.options;
    bool saved = true;
    // The file's own text (a host name, or nothing for localhost) is never replaced by an
    // address the program looked up: only an address changed in the program is written.
    if (options.radHost != shell.radHostInFile) {
        if (WriteOption(file, "RadHost", options.radHost.FormatAddress()))
            shell.radHostInFile = options.radHost;
        else
            saved = false;
    }
    saved = SaveSessionId() && saved;
    saved = WriteUnlessKeptLonger(file, "Secret", options.secret, kOptionTextSize, LongValue::Cut) && saved;
    saved = WriteUnlessKeptLonger(file, "NasName", options.nasName, kOptionTextSize, LongValue::Cut) && saved;
    saved = WriteUnlessKeptLonger(file, "LastDir", options.lastDir, kOptionPathSize, LongValue::Unused) && saved;
    return saved;
}

bool WriteOptionsFileValue(const char* section, const char* key, const std::string& value) {
    return WriteValue(GetOptionsFile(), section, key, value);
}

bool SaveSessionId() {
    return WriteOption(GetOptionsFile(), "SessionId", std::to_string(CurrentSessionCounter()));
}

bool IsServiceMode() {
    const std::string file = GetOptionsFile();
    if (ReadLenientNumber(ReadOption(file, "Service", "", kServiceTextSize).c_str()) == 0)
        return false;
    // Relative to the options file's folder when it is not there from the current folder.
    Shell().options.simFile = ResolveOptionsPath(ReadWholeOption(file, "SimFile", ""), FolderOf(file), PathIsPresent);
    return true;
}
