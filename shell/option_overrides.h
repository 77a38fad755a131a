// What the command line of a run puts in place of the options file's values, and what it lets
// the program write back there. Overrides hold for the run only: they are never written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct Options;

struct OptionOverrides {
    std::optional<std::string> serverHost;      // --server HOST[:PORT], read as RadHost is
    std::optional<std::uint16_t> serverPort;    // as QuorlanPort
    std::optional<std::string> secret;          // --secret
    std::optional<std::string> dictionaryFile;  // --dictionary FILE: DictDir and DictName
};

// What the program writes into its options file: everything it keeps there (the interactive
// program and the service), only SessionId (--run --save-session-id), or nothing (--run).
enum class OptionsSaving { Everything, SessionIdOnly, Nothing };

// "HOST", "HOST:PORT", "[HOST]" or "[HOST]:PORT" (brackets for a host with colons); PORT from
// 1 to 65535. False with a message naming the option.
bool ParseServerOption(const std::string& text, OptionOverrides& overrides, std::string& error);
// The secret and the dictionary must fit where the options file's values go.
bool ParseSecretOption(const std::string& text, OptionOverrides& overrides, std::string& error);
bool ParseDictionaryOption(const std::string& text, OptionOverrides& overrides, std::string& error);

// Puts the overrides into options just loaded. The server's host name is looked up here.
void ApplyOptionOverrides(const OptionOverrides& overrides, Options& options);
