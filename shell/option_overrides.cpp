#include "shell/option_overrides.h"

#include "infra/path_text.h"
#include "shell/options.h"

namespace {

bool ParsePort(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const unsigned long value = std::stoul(text);
    if (value == 0 || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

bool ParseServerOption(const std::string& text, OptionOverrides& overrides, std::string& error) {
    std::string host = text;
    std::string portText;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        const std::string rest = close == std::string::npos ? "" : text.substr(close + 1);
        if (close == std::string::npos || (!rest.empty() && rest.front() != ':')) {
            error = "pelvok: --server needs HOST, HOST:PORT or [HOST]:PORT, not " + text;
            return false;
        }
        host = text.substr(1, close - 1);
        hasPort = !rest.empty();
        if (hasPort) portText = rest.substr(1);
    } else if (const std::size_t colon = text.find(':'); colon != std::string::npos) {
        if (text.find(':', colon + 1) != std::string::npos) {
            error = "pelvok: --server: a host with colons goes in brackets: [HOST]:PORT";
            return false;
        }
        host = text.substr(0, colon);
        hasPort = true;
        portText = text.substr(colon + 1);
    }
    if (host.empty() || host.size() >= kHostTextSize) {
        error = "pelvok: --server needs a host name or address of 1 to " + std::to_string(kHostTextSize - 1) +
                " characters";
        return false;
    }
    std::uint16_t port = 0;
    if (hasPort && !ParsePort(portText, port)) {
        error = "pelvok: --server needs a port from 1 to 65535, not \"" + portText + "\"";
        return false;
    }
    overrides.serverHost = host;
    if (hasPort) overrides.serverPort = port;
    return true;
}

bool ParseSecretOption(const std::string& text, OptionOverrides& overrides, std::string& error) {
    if (text.size() >= kOptionTextSize) {
        error = "pelvok: --secret is longer than " + std::to_string(kOptionTextSize - 1) + " characters";
        return false;
    }
    overrides.secret = text;
    return true;
}

bool ParseDictionaryOption(const std::string& text, OptionOverrides& overrides, std::string& error) {
    if (text.back() == '/') {
        error = "pelvok: --dictionary needs a file, not the folder " + text;
        return false;
    }
    overrides.dictionaryFile = text;
    return true;
}

void ApplyOptionOverrides(const OptionOverrides& overrides, Options& options) {
    if (overrides.serverHost) options.radHost = ReadServerAddress(overrides.serverHost->c_str());
    if (overrides.serverPort) options.quorlanPort = *overrides.serverPort;
    if (overrides.secret) options.secret = *overrides.secret;
    if (const std::optional<std::string>& file = overrides.dictionaryFile) {
        const std::string folder = FolderOf(*file);
        options.dictDir = folder.back() == '/' ? folder : folder + "/";
        options.dictName = file->substr(file->rfind('/') + 1);
    }
}
