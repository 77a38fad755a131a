#include "net/tls_channel.h"

#include <poll.h>

#include <array>
#include <cerrno>
#include <string>

#include "infra/clock.h"
#include "infra/log.h"

TlsChannel::TlsChannel(TlsSettings settings) : settings_(std::move(settings)) {}

TlsChannel::~TlsChannel() = default;

std::uint32_t TlsChannel::Now() const {
    return settings_.clock != nullptr ? settings_.clock->TickCount() : SystemClock::Instance().TickCount();
}

DatagramSocket::OpenResult TlsChannel::Open(const SocketAddress& local) {
    if (open_) return {};
    local_ = local;
    context_ = MakeClientContext(settings_, problem_);
    if (!context_) return {OpenStep::Create, EINVAL};
    if (!Connect()) return {OpenStep::Connect, ECONNREFUSED};
    // The start waits for the handshake's outcome: a server that cannot be trusted stops the
    // run with the reason rather than behind a line in the log.
    const std::uint32_t start = Now();
    while (connection_->Current() != TlsConnection::Step::Up) {
        const std::uint32_t elapsed = Now() - start;
        if (connection_->Current() == TlsConnection::Step::Failed || elapsed >= kOpenTimeoutMs) {
            problem_ = connection_->Current() == TlsConnection::Step::Failed
                           ? connection_->Problem()
                           : "TLS connection to " + settings_.server.Format() + " timed out";
            connection_.reset();
            return {OpenStep::Connect, ETIMEDOUT};
        }
        pollfd ready{connection_->Fd(), connection_->Awaits(), 0};
        ::poll(&ready, 1, static_cast<int>(kOpenTimeoutMs - elapsed));
        connection_->Advance();
    }
    open_ = true;
    wasUp_ = true;
    Log(2, "TLS connection to %s up", settings_.server.Format().c_str());
    return {};
}

bool TlsChannel::Connect() {
    connection_ = std::make_unique<TlsConnection>();
    const TlsConnection::Step step = connection_->Start(context_.get(), settings_, local_);
    if (step == TlsConnection::Step::Failed) {
        problem_ = connection_->Problem();
        connection_.reset();
        return false;
    }
    attemptStart_ = Now();
    if (open_ && descriptorChanged_) descriptorChanged_(-1, connection_->Fd());
    return true;
}

void TlsChannel::Connected() {
    backoffMs_ = kFirstBackoffMs;
    wasUp_ = true;
    Log(1, "TLS connection to %s up again", settings_.server.Format().c_str());
    Flush();
}

void TlsChannel::Drop(std::string reason) {
    Log(1, "TLS connection to %s %s: %s; next attempt in %u ms", settings_.server.Format().c_str(),
        wasUp_ ? "lost" : "not made", reason.c_str(), backoffMs_);
    wasUp_ = false;
    if (connection_ && descriptorChanged_) descriptorChanged_(connection_->Fd(), -1);
    connection_.reset();
    framer_.Clear();
    // RFC 6614 section 2.5: the stream does not lose what it carries, so a request is written
    // once per connection and not retransmitted on it; one left unanswered when its connection
    // dropped goes once on the next connection. One already carried over is given up: the
    // session's own time-out ends it.
    std::deque<Outgoing> carried;
    for (auto& [id, outgoing] : inFlight_) {
        if (outgoing.resent) continue;
        outgoing.resent = true;
        carried.push_back(std::move(outgoing));
    }
    inFlight_.clear();
    if (written_ > 0 && !waiting_.empty()) waiting_.front().resent = true;  // cut part way
    written_ = 0;
    waiting_.insert(waiting_.begin(), carried.begin(), carried.end());
    nextAttempt_ = Now() + backoffMs_;
    backoffMs_ = std::min(backoffMs_ * 2, kMaxBackoffMs);
}

void TlsChannel::Progress() {
    if (!connection_) return;
    if (connection_->Current() != TlsConnection::Step::Up &&
        connection_->Advance() == TlsConnection::Step::Failed) {
        Drop(connection_->Problem());
        return;
    }
    // However the handshake ended, what waits goes out once and the back-off starts anew.
    if (Up() && !wasUp_) Connected();
}

void TlsChannel::Service() {
    if (!open_) return;
    if (!connection_) {
        if (static_cast<std::int32_t>(Now() - nextAttempt_) < 0) return;
        if (!Connect()) {
            Drop(problem_);
            return;
        }
    }
    Progress();
    if (connection_ && !Up() && Now() - attemptStart_ >= kOpenTimeoutMs) {
        Drop("no connection within " + std::to_string(kOpenTimeoutMs / 1000) + " s");
        return;
    }
    if (Up()) Flush();
}

void TlsChannel::Flush() {
    while (Up() && !waiting_.empty()) {
        const std::vector<std::uint8_t>& packet = waiting_.front().packet;
        const long wrote = connection_->Write(std::span(packet).subspan(written_));
        if (wrote == 0) return;  // the socket is full: the next tick goes on
        if (wrote < 0) {
            Drop(connection_->Problem());
            return;
        }
        written_ += static_cast<std::size_t>(wrote);
        if (written_ < packet.size()) continue;
        written_ = 0;
        const std::uint8_t id = packet[1];
        inFlight_[id] = std::move(waiting_.front());
        waiting_.pop_front();
    }
}

bool TlsChannel::SendTo(std::span<const std::uint8_t> packet, const SocketAddress& to, int& error) {
    (void)to;
    if (packet.size() < LengthFramer::kMinLength || packet.size() > LengthFramer::kMaxLength) {
        error = EMSGSIZE;
        return false;
    }
    // A new request under an identifier supersedes the one that had it: that one was given up,
    // and is not written any more if it still waits.
    const std::uint8_t id = packet[1];
    inFlight_.erase(id);
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        const bool started = it == waiting_.begin() && written_ > 0;  // its rest must still follow
        it = !started && it->packet[1] == id ? waiting_.erase(it) : it + 1;
    }
    waiting_.push_back({std::vector<std::uint8_t>(packet.begin(), packet.end()), false});
    Flush();
    return true;
}

long TlsChannel::ReceiveFrom(std::span<std::uint8_t> buffer, SocketAddress* sender, int& error) {
    Received one{buffer, 0, {}};
    if (ReceiveMany(std::span(&one, 1), error) == 0) return -1;
    if (sender != nullptr) *sender = one.sender;
    return static_cast<long>(one.length);
}

std::size_t TlsChannel::ReceiveMany(std::span<Received> batch, int& error) {
    error = EAGAIN;
    if (!Up()) {
        Progress();  // the handshake's answers arrive as read events too
        return 0;
    }
    std::size_t count = 0;
    std::array<std::uint8_t, 16384> octets;
    while (count < batch.size()) {
        Received& slot = batch[count];
        const std::size_t length = framer_.Next(slot.buffer);
        if (length > 0) {
            slot.length = length;
            slot.sender = settings_.server;
            slot.waitedMicroseconds = 0;  // read from the stream, not timed by the kernel
            inFlight_.erase(slot.buffer[1]);  // the reply carries its request's identifier
            ++count;
            continue;
        }
        if (framer_.Broken()) {
            Drop("a packet's Length is below 20 or above 4096");
            break;
        }
        const long read = connection_->Read(octets);
        if (read == 0) break;
        if (read < 0) {
            Drop(connection_->Problem());
            break;
        }
        framer_.Append(std::span(octets.data(), static_cast<std::size_t>(read)));
    }
    return count;
}

bool TlsChannel::HasBuffered() const {
    if (!Up()) return false;
    if (framer_.HasPacket() || connection_->Pending()) return true;
    // A connection reset or hung up is read too, so it is dropped and made anew even when the
    // watch of its descriptor was given up on the error.
    pollfd ready{connection_->Fd(), POLLIN, 0};
    return ::poll(&ready, 1, 0) == 1 && (ready.revents & (POLLERR | POLLHUP)) != 0;
}
