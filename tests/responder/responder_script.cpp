#include "tests/responder/responder_script.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

namespace responder {
namespace {

enum class ValueKind { Text, Integer, Address };

struct NamedAttribute {
    const char* name;
    std::uint8_t type;
    ValueKind kind;
};

// The reply attributes a script may name; anything else goes by number.
constexpr NamedAttribute kNamedAttributes[] = {
    {"service-type", 6, ValueKind::Integer},       {"framed-protocol", 7, ValueKind::Integer},
    {"framed-ip-address", 8, ValueKind::Address},  {"framed-ip-netmask", 9, ValueKind::Address},
    {"framed-mtu", 12, ValueKind::Integer},        {"framed-compression", 13, ValueKind::Integer},
    {"login-ip-host", 14, ValueKind::Address},     {"login-service", 15, ValueKind::Integer},
    {"class", 25, ValueKind::Text},                {"session-timeout", 27, ValueKind::Integer},
    {"idle-timeout", 28, ValueKind::Integer},      {"filter-id", 11, ValueKind::Text},
};

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool ParseNumber(const std::string& text, long long low, long long high, long long& out) {
    long long value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (status != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
    out = value;
    return true;
}

bool ParseBool(const std::string& text, bool& out) {
    const std::string value = Lower(text);
    if (value == "yes" || value == "true" || value == "1" || value == "on") return out = true, true;
    if (value == "no" || value == "false" || value == "0" || value == "off") return out = false, true;
    return false;
}

bool ParsePacketKinds(const std::string& text, unsigned& out) {
    unsigned kinds = 0;
    std::istringstream parts(text);
    std::string part;
    while (std::getline(parts, part, '|')) {
        const std::string name = Lower(Trim(part));
        if (name == "access") kinds |= kAccessPackets;
        else if (name == "start") kinds |= kAccountingStartPackets;
        else if (name == "stop") kinds |= kAccountingStopPackets;
        else if (name == "accounting") kinds |= kAccountingPackets;
        else if (name == "any" || name == "all") kinds |= kAllPackets;
        else return false;
    }
    if (kinds == 0) return false;
    out = kinds;
    return true;
}

std::optional<WireAttribute> MakeAttribute(std::uint8_t type, ValueKind kind, const std::string& value) {
    long long number = 0;
    switch (kind) {
        case ValueKind::Integer:
            if (!ParseNumber(value, 0, 0xffffffffLL, number)) return std::nullopt;
            return WireAttribute::Integer(type, static_cast<std::uint32_t>(number));
        case ValueKind::Address:
            return WireAttribute::Address(type, value);
        case ValueKind::Text:
            if (value.size() > 253) return std::nullopt;
            return WireAttribute::Text(type, value);
    }
    return std::nullopt;
}

// "TYPE:VALUE" where VALUE is a number, a dotted quad, 0x followed by hex digits, or text.
std::optional<WireAttribute> ParseNumberedAttribute(const std::string& text) {
    const auto colon = text.find(':');
    long long type = 0;
    if (colon == std::string::npos || !ParseNumber(Trim(text.substr(0, colon)), 1, 255, type)) return std::nullopt;
    const std::string value = Trim(text.substr(colon + 1));
    const auto octet = static_cast<std::uint8_t>(type);
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        const std::string digits = value.substr(2);
        if (digits.size() % 2 != 0 || digits.size() > 2 * 253) return std::nullopt;
        WireAttribute attribute{octet, {}};
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            unsigned byte = 0;
            const auto [end, status] = std::from_chars(digits.data() + i, digits.data() + i + 2, byte, 16);
            if (status != std::errc() || end != digits.data() + i + 2) return std::nullopt;
            attribute.value.push_back(static_cast<std::uint8_t>(byte));
        }
        return attribute;
    }
    long long number = 0;
    if (ParseNumber(value, 0, 0xffffffffLL, number)) return WireAttribute::Integer(octet, static_cast<std::uint32_t>(number));
    if (auto address = WireAttribute::Address(octet, value)) return address;
    return MakeAttribute(octet, ValueKind::Text, value);
}

class ScriptParser {
public:
    explicit ScriptParser(ResponderScript& script) : script_(script) {}

    bool Line(std::string_view raw, std::string& reason) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') return true;
        if (line.front() == '[') return Section(line, reason);
        const auto equals = line.find('=');
        if (equals == std::string::npos) return reason = "expected key = value", false;
        const std::string key = Lower(Trim(line.substr(0, equals)));
        const std::string value = Trim(line.substr(equals + 1));
        if (inResponder_) return ResponderKey(key, value, reason);
        if (!rule_) return reason = "key outside a section", false;
        return RuleKey(key, value, reason);
    }

private:
    bool Section(const std::string& line, std::string& reason) {
        if (line.back() != ']') return reason = "unclosed section header", false;
        const std::string name = Trim(line.substr(1, line.size() - 2));
        const std::string lower = Lower(name);
        inResponder_ = lower == "responder";
        faultsOn_ = kAllPackets;
        if (inResponder_) {
            rule_ = nullptr;
        } else if (lower == "default") {
            rule_ = &script_.defaultRule;
        } else if (lower.rfind("user ", 0) == 0 && !Trim(name.substr(5)).empty()) {
            rule_ = &script_.users[Trim(name.substr(5))];
        } else {
            return reason = "unknown section [" + name + "] (responder, default or user NAME)", false;
        }
        return true;
    }

    bool ResponderKey(const std::string& key, const std::string& value, std::string& reason) {
        long long number = 0;
        if (key == "secret") {
            if (value.empty()) return reason = "empty secret", false;
            script_.secret = value;
        } else if (key == "port") {
            if (!ParseNumber(value, 0, 65534, number)) return reason = "port must be 0 to 65534", false;
            script_.port = static_cast<std::uint16_t>(number);
        } else if (key == "drop_bad_accounting") {
            if (!ParseBool(value, script_.dropBadAccounting)) return reason = "expected yes or no", false;
        } else {
            return reason = "unknown key " + key, false;
        }
        return true;
    }

    bool RuleKey(const std::string& key, const std::string& value, std::string& reason) {
        Rule& rule = *rule_;
        long long number = 0;
        bool flag = false;
        if (key == "answer") {
            const std::string answer = Lower(value);
            if (answer == "accept") rule.answer = Answer::Accept;
            else if (answer == "reject") rule.answer = Answer::Reject;
            else if (answer == "challenge") rule.answer = Answer::Challenge;
            else return reason = "answer must be accept, reject or challenge", false;
        } else if (key == "password") {
            rule.password = value;
        } else if (key == "reply-message") {
            rule.replyMessage = value;
        } else if (key == "state") {
            if (value.empty()) return reason = "empty State", false;
            rule.state = value;
        } else if (key == "response") {
            rule.challengeResponse = value;
        } else if (key == "attribute") {
            auto attribute = ParseNumberedAttribute(value);
            if (!attribute) return reason = "attribute must be TYPE:VALUE with TYPE 1 to 255", false;
            rule.attributes.push_back(std::move(*attribute));
        } else if (key == "faults_on") {
            if (!ParsePacketKinds(value, faultsOn_))
                return reason = "faults_on takes access, start, stop, accounting or any, joined with |", false;
        } else if (key == "silent") {
            if (Lower(value) == "all") number = -1;
            else if (!ParseNumber(value, 1, 1000000, number)) return reason = "silent takes a count or all", false;
            rule.faults.push_back(Fault::SilentFor(static_cast<int>(number), faultsOn_));
        } else if (key == "twice" || key == "wrong_secret" || key == "echo") {
            if (!ParseBool(value, flag)) return reason = "expected yes or no", false;
            if (flag)
                rule.faults.push_back(key == "twice"          ? Fault::Twice(faultsOn_)
                                      : key == "wrong_secret" ? Fault::WrongSecret(faultsOn_)
                                                              : Fault::Echo(faultsOn_));
        } else if (key == "late_ms") {
            if (!ParseNumber(value, 0, 3600000, number)) return reason = "late_ms must be 0 to 3600000", false;
            rule.faults.push_back(Fault::LateBy(static_cast<int>(number), faultsOn_));
        } else if (key == "late_after") {
            if (!ParseNumber(value, 1, 100000, number)) return reason = "late_after must be 1 to 100000", false;
            rule.faults.push_back(Fault::LateAfterRequests(static_cast<int>(number), faultsOn_));
        } else if (key == "padding") {
            if (!ParseNumber(value, 1, 4096, number)) return reason = "padding must be 1 to 4096", false;
            rule.faults.push_back(Fault::Padding(static_cast<std::size_t>(number), faultsOn_));
        } else if (key == "garbage") {
            const std::string style = Lower(value);
            if (style == "short") rule.faults.push_back(Fault::Garbage(GarbageStyle::Short, faultsOn_));
            else if (style == "length") rule.faults.push_back(Fault::Garbage(GarbageStyle::LengthBeyondData, faultsOn_));
            else if (style == "attribute") rule.faults.push_back(Fault::Garbage(GarbageStyle::BrokenAttribute, faultsOn_));
            else return reason = "garbage must be short, length or attribute", false;
        } else {
            for (const auto& named : kNamedAttributes) {
                if (key != named.name) continue;
                auto attribute = MakeAttribute(named.type, named.kind, value);
                if (!attribute) return reason = "bad value for " + key, false;
                rule.attributes.push_back(std::move(*attribute));
                return true;
            }
            return reason = "unknown key " + key, false;
        }
        return true;
    }

    ResponderScript& script_;
    Rule* rule_ = nullptr;
    bool inResponder_ = false;
    unsigned faultsOn_ = kAllPackets;
};

}  // namespace

bool ParseResponderScript(std::string_view text, ResponderScript& script, std::string& error) {
    ScriptParser parser(script);
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        std::string reason;
        if (!parser.Line(line, reason)) {
            error = "line " + std::to_string(lineNumber) + ": " + reason;
            return false;
        }
    }
    return true;
}

bool LoadResponderScript(const std::string& path, ResponderScript& script, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (!ParseResponderScript(text.str(), script, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace responder
