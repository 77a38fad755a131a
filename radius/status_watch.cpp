#include "radius/status_watch.h"

#include <array>
#include <cstdio>

#include "infra/clock.h"
#include "infra/log.h"
#include "radius/random_source.h"
#include "radius/status_server.h"

StatusWatch::StatusWatch(const Clock& clock, RandomSource& random, std::unique_ptr<DatagramSocket> socket)
    : clock_(clock), random_(random), socket_(std::move(socket)) {}

bool StatusWatch::Start(const Settings& settings, Report report, int& error) {
    settings_ = settings;
    report_ = std::move(report);
    const DatagramSocket::OpenResult opened = socket_->Open(settings.bind);
    error = opened.error;
    started_ = opened.failedAt == DatagramSocket::OpenStep::Done;
    return started_;
}

void StatusWatch::Tick() {
    if (!started_) return;
    const std::uint32_t now = clock_.TickCount();
    if (awaiting_ && now - sentAt_ >= settings_.timeoutMs) {
        awaiting_ = false;
        if (!silent_) {
            silent_ = true;
            Tell("does not answer Status-Server");
        }
    }
    if (!awaiting_ && (!sentOnce_ || now - sentAt_ >= settings_.intervalMs)) Send();
}

void StatusWatch::Send() {
    random_.Fill(requestAuthenticator_.data(), requestAuthenticator_.size());
    ++id_;
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length = BuildStatusServer(buffer, id_, requestAuthenticator_, settings_.secret);
    int error = 0;
    sentOnce_ = true;
    sentAt_ = clock_.TickCount();
    // A probe that cannot leave counts as unanswered when its time-out passes.
    awaiting_ = true;
    if (length == 0 || !socket_->SendTo(std::span(buffer).first(length), settings_.server, error))
        Log(1, "Status-Server to %s not sent: error %d", settings_.server.Format().c_str(), error);
}

void StatusWatch::OnReadable() {
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    for (;;) {
        SocketAddress sender;
        int error = 0;
        const long received = socket_->ReceiveFrom(buffer, &sender, error);
        if (received < 0) return;  // nothing more waits
        if (!awaiting_ || !(sender == settings_.server)) continue;
        const auto reply = std::span<const std::uint8_t>(buffer).first(static_cast<std::size_t>(received));
        const StatusReply checked = CheckStatusReply(reply, id_, requestAuthenticator_, settings_.secret);
        if (checked == StatusReply::NotOurs) continue;
        if (checked != StatusReply::Answer) {
            Log(1, "Status-Server answer from %s fails its authenticators: is the secret right?",
                settings_.server.Format().c_str());
            continue;  // as good as no answer
        }
        awaiting_ = false;
        if (silent_) {
            silent_ = false;
            Tell("answers Status-Server again");
        }
    }
}

void StatusWatch::Tell(const char* what) {
    char line[160];
    std::snprintf(line, sizeof line, "Radius server %s %s", settings_.server.Format().c_str(), what);
    Log(1, "%s", line);
    if (report_) report_(line);
}
