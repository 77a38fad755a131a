#include "shell/options.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "infra/log.h"
#include "infra/profile_file.h"
#include "platform/platform.h"
#include "protocol/ip_address.h"
#include "shell/shell_state.h"

namespace {

std::string configuredOptionsFile;
HostResolver hostResolver = nullptr;

// Reads one key of section "Options" through a buffer of the key's size.
std::string ReadOption(const std::string& file, const char* key, const char* defaultValue,
                       std::size_t size) {
    std::array<char, kOptionPathSize> buffer{};
    if (size > buffer.size()) size = buffer.size();
    ReadProfileString(file.c_str(), kOptionsSection, key, defaultValue, buffer.data(), size);
    return buffer.data();
}

std::int64_t ReadNumberOption(const std::string& file, const char* key, const char* defaultValue) {
    return ReadLenientNumber(ReadOption(file, key, defaultValue, kNumberTextSize).c_str());
}

// Values are text cut to the size of their buffer, as they would be when read back.
std::string Bounded(const std::string& value, std::size_t size) {
    return value.size() < size ? value : value.substr(0, size - 1);
}

void WriteOption(const std::string& file, const char* key, const std::string& value) {
    if (file.empty()) return;
    if (!WriteProfileString(file.c_str(), kOptionsSection, key, value.c_str()))
        Log(1, "Cannot write \"%s\" to the options file %s", key, file.c_str());
}

}  // namespace

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

bool ResolveHostName(const char* name, std::uint32_t& address) {
    if (hostResolver != nullptr) return hostResolver(name, address);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    address = ntohl(ipv4->sin_addr.s_addr);
    freeaddrinfo(found);
    return true;
}

void SetHostResolver(HostResolver resolver) { hostResolver = resolver; }

std::uint32_t ReadServerAddress(const char* text) {
    std::string host = (text == nullptr || text[0] == '\0') ? "localhost" : text;
    if (static_cast<unsigned char>(host[0]) > '9') {
        std::uint32_t address = 0;
        if (ResolveHostName(host.c_str(), address)) return address;
        char message[kHostTextSize + 32];
        std::snprintf(message, sizeof message, "Radius host not found: %s", host.c_str());
        CurrentPlatform().MessageBox(kNoWindow, message, "gethostbyname", MB_OK);
        return 0;
    }
    return ParseIpAddress(host.c_str());
}

void SetOptionsFile(const std::string& path) { configuredOptionsFile = path; }

std::string OptionsFileForProgram(const std::string& programPath) {
    std::size_t slash = programPath.rfind('/');
    std::size_t dot = programPath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return programPath + ".ini";
    return programPath.substr(0, dot + 1) + "ini";
}

std::string GetOptionsFile() {
    if (!configuredOptionsFile.empty()) return configuredOptionsFile;
    std::array<char, 4096> path{};
    ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) {
        Log(0, "Invalid module file name: %s", "/proc/self/exe");
        return {};
    }
    return OptionsFileForProgram(std::string(path.data(), static_cast<std::size_t>(length)));
}

void LoadOptions() {
    const std::string file = GetOptionsFile();
    Options& options = Shell().options;

    options.radHost = ReadServerAddress(ReadOption(file, "RadHost", "", kHostTextSize).c_str());
    options.sessionId = static_cast<std::uint32_t>(ReadNumberOption(file, "SessionId", "1"));
    options.secret = ReadOption(file, "Secret", "MeadowLantern", kOptionTextSize);
    options.nasName = ReadOption(file, "NasName", "", kOptionTextSize);
    options.numPorts = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        ReadNumberOption(file, "NumPorts", "100"), std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max()));
    options.dictDir = ReadOption(file, "DictDir", "./", kOptionPathSize);
    options.dictName = ReadOption(file, "DictName", "default.dic", kOptionPathSize);
    options.lastDir = ReadOption(file, "LastDir", "", kOptionPathSize);
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
}

void SaveOptions() {
    const std::string file = GetOptionsFile();
    const Options& options = Shell().options;
    WriteOption(file, "RadHost", FormatIpAddress(options.radHost));
    SaveSessionId();
    WriteOption(file, "Secret", Bounded(options.secret, kOptionTextSize));
    WriteOption(file, "NasName", Bounded(options.nasName, kOptionTextSize));
    WriteOption(file, "LastDir", Bounded(options.lastDir, kOptionPathSize));
}

void SaveSessionId() {
    WriteOption(GetOptionsFile(), "SessionId", std::to_string(CurrentSessionCounter()));
}

bool IsServiceMode() {
    const std::string file = GetOptionsFile();
    if (ReadLenientNumber(ReadOption(file, "Service", "", kServiceTextSize).c_str()) == 0)
        return false;
    Shell().options.simFile = ReadOption(file, "SimFile", "", kOptionPathSize);
    return true;
}
