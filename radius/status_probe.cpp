#include "radius/status_probe.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "radius/packet_builder.h"
#include "radius/random_source.h"
#include "radius/status_server.h"

StatusProbe::StatusProbe(DatagramSocket& socket, RandomSource& random, MicroClock clock, WaitReadable wait)
    : socket_(socket), random_(random), clock_(std::move(clock)), wait_(std::move(wait)) {}

StatusProbe::Result StatusProbe::Ask(const SocketAddress& server, std::string_view secret, std::uint8_t id,
                                     std::uint32_t timeoutMs) {
    Result result;
    Authenticator requestAuthenticator{};
    random_.Fill(requestAuthenticator.data(), requestAuthenticator.size());
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length = BuildStatusServer(buffer, id, requestAuthenticator, secret);
    const std::uint64_t sent = clock_();
    if (length == 0 || !socket_.SendTo(std::span(buffer).first(length), server, result.error)) {
        result.outcome = Outcome::SendFailed;
        return result;
    }
    const std::uint64_t deadline = sent + std::uint64_t{timeoutMs} * 1000;
    for (std::uint64_t now = clock_(); now < deadline; now = clock_()) {
        const auto leftMs = static_cast<std::uint32_t>((deadline - now + 999) / 1000);
        if (!wait_(socket_.Fd(), leftMs)) continue;
        SocketAddress sender;
        int error = 0;
        const long received = socket_.ReceiveFrom(buffer, &sender, error);
        // Only the server answers for itself (RFC 2865 section 3 matches by address and port).
        if (received <= 0 || !(sender == server)) continue;
        const auto reply = std::span<const std::uint8_t>(buffer).first(static_cast<std::size_t>(received));
        switch (CheckStatusReply(reply, id, requestAuthenticator, secret)) {
            case StatusReply::NotOurs: continue;
            case StatusReply::WrongResponseAuthenticator: result.outcome = Outcome::WrongResponseAuthenticator; break;
            case StatusReply::WrongMessageAuthenticator: result.outcome = Outcome::WrongMessageAuthenticator; break;
            case StatusReply::Answer:
                result.outcome = Outcome::Answered;
                result.replyCode = reply[0];
                result.roundTripMicroseconds = clock_() - sent;
                break;
        }
        return result;
    }
    return result;
}

std::string DescribeProbe(const SocketAddress& server, const StatusProbe::Result& result, std::uint32_t timeoutMs) {
    char text[160];
    const std::string to = server.Format();
    switch (result.outcome) {
        case StatusProbe::Outcome::Answered: {
            char scratch[16];
            const std::string name(ReplyCodeName(result.replyCode, scratch));
            std::snprintf(text, sizeof text, "Status-Server to %s: %s in %llu.%03llu ms", to.c_str(), name.c_str(),
                          static_cast<unsigned long long>(result.roundTripMicroseconds / 1000),
                          static_cast<unsigned long long>(result.roundTripMicroseconds % 1000));
            break;
        }
        case StatusProbe::Outcome::NoAnswer:
            std::snprintf(text, sizeof text, "Status-Server to %s: no answer within %u ms", to.c_str(), timeoutMs);
            break;
        case StatusProbe::Outcome::WrongResponseAuthenticator:
            std::snprintf(text, sizeof text, "Status-Server to %s: the answer fails its Response Authenticator "
                          "(is the secret right?)", to.c_str());
            break;
        case StatusProbe::Outcome::WrongMessageAuthenticator:
            std::snprintf(text, sizeof text, "Status-Server to %s: the answer fails its Message-Authenticator "
                          "(is the secret right?)", to.c_str());
            break;
        case StatusProbe::Outcome::SendFailed:
            std::snprintf(text, sizeof text, "Status-Server to %s: cannot send: %s", to.c_str(),
                          std::strerror(result.error));
            break;
    }
    return text;
}
