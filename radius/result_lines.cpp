#include "radius/result_lines.h"

#include <cstdio>

#include "protocol/ip_address.h"
#include "protocol/packet_attribute.h"
#include "radius/packet_builder.h"

namespace {

template <std::size_t N>
std::string NameOrNumber(std::int32_t value, const std::array<const char*, N>& names, std::int32_t first) {
    if (value >= first && value - first < static_cast<std::int32_t>(N)) return names[value - first];
    return std::to_string(value);
}

std::string Format(const char* format, auto... arguments) {
    char line[kMaxResultLineLength + 1];
    std::snprintf(line, sizeof line, format, arguments...);
    return line;
}

void AppendAcceptDetails(std::string& line, const AcceptValues& accept) {
    line += "Auth Accept";
    if (accept.serviceType > 0) line += ", Service=" + ServiceTypeName(accept.serviceType);
    if (accept.framedProtocol > 0) line += ", FramedProtocol=" + FramedProtocolName(accept.framedProtocol);
    if (accept.framedCompression == 1) line += ", FramedCompression=Van_Jacobsen_Tcp_Ip";
    if (accept.framedIpAddress != 0) line += ", Ip=" + FormatIpAddress(accept.framedIpAddress);
    if (accept.loginService >= 0) line += ", LoginService=" + LoginServiceName(accept.loginService);
    if (accept.loginIpHost != 0) line += ", HostIp=" + FormatIpAddress(accept.loginIpHost);
}

std::string ClockText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return Format("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
}

}  // namespace

std::string ServiceTypeName(std::int32_t value) {
    static constexpr std::array<const char*, 7> kNames = {"Login", "Framed", "DialbackLogin", "DialbackFramed",
                                                          "Outbound", "Shell", "Exec"};
    return NameOrNumber(value, kNames, 1);
}

std::string FramedProtocolName(std::int32_t value) {
    static constexpr std::array<const char*, 2> kNames = {"ppp", "slip"};
    return NameOrNumber(value, kNames, 1);
}

std::string LoginServiceName(std::int32_t value) {
    static constexpr std::array<const char*, 4> kNames = {"Telnet", "Rlogin", "Tcp_Clear", "Portmaster"};
    return NameOrNumber(value, kNames, 0);
}

std::string ComposeResultLine(ResultKind kind, const Session& session, std::span<const std::uint8_t> reply) {
    std::string line = session.userName + ": ";
    switch (kind) {
        case ResultKind::AuthAccept:
            AppendAcceptDetails(line, session.accept);
            break;
        case ResultKind::AuthReject:
            line += "Auth Reject";
            if (auto message = FindPacketAttribute(reply, attr::kReplyMessage))
                line += std::string(", Message=") + message->data.c_str();
            break;
        case ResultKind::AccountingReply:
            if (session.state == SessionState::AccountingInterim) {
                line += "Account INTERIM Reply";
            } else {
                line += session.state == SessionState::AccountingStart ? "Account START Reply" : "Account STOP Reply";
            }
            break;
        case ResultKind::AuthDropped:
            line += "No response from server - Dropping request.";
            break;
        case ResultKind::AccountingDropped:
            line += "No response from server - Dropping Accounting request.";
            break;
        case ResultKind::CounterReport:
            break;
    }
    if (line.size() > kMaxResultLineLength) line.resize(kMaxResultLineLength);
    return line;
}

std::array<std::string, 4> ComposeCounterReport(const RequestCounters& counters, std::time_t start, std::time_t end) {
    std::array<std::string, 4> lines = {
        "---------- Rquests Counter Report -----------",
        "Start=" + ClockText(start) + ", End=" + ClockText(end),
        Format("Requests: Auth=%ld, Acct-Start=%ld, Acct-Stop=%ld", static_cast<long>(counters.authRequests),
               static_cast<long>(counters.acctStartRequests), static_cast<long>(counters.acctStopRequests)),
        Format("Responses: Auth=%ld, Acct-Start=%ld, Acct-Stop=%ld", static_cast<long>(counters.authResponses),
               static_cast<long>(counters.acctStartResponses), static_cast<long>(counters.acctStopResponses)),
    };
    if (ShowsInterims(counters)) {
        lines[2] += Format(", Acct-Interim=%ld", static_cast<long>(counters.acctInterimRequests));
        lines[3] += Format(", Acct-Interim=%ld", static_cast<long>(counters.acctInterimResponses));
    }
    return lines;
}
