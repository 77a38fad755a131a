#include "net/channel_set.h"

#include <cerrno>

ChannelSet::ChannelSet(std::unique_ptr<SocketFactory> factory)
    : factory_(factory ? std::move(factory) : std::make_unique<SystemSockets>()) {}

ChannelSet::OpenResult ChannelSet::Open(std::size_t count, const SocketAddress& local, const TlsSettings* tls) {
    OpenResult result;
    if (count > sockets_.size()) factory_->ReserveDescriptors(count - sockets_.size());
    for (std::size_t channel = 0; channel < count && result.failedAt == DatagramSocket::OpenStep::Done; ++channel) {
        if (channel == sockets_.size()) {
            std::unique_ptr<DatagramSocket> socket =
                tls != nullptr ? factory_->MakeStreamSocket(*tls) : factory_->MakeDatagramSocket();
            if (!socket) {
                result = {DatagramSocket::OpenStep::Create, EMFILE, channel, {}};
                break;
            }
            // The old descriptor is still open when it is told (fd, -1): it goes from the map now.
            socket->SetDescriptorChanged([this, channel](int oldFd, int newFd) {
                if (oldFd >= 0) channelOfFd_.erase(oldFd);
                if (newFd >= 0) channelOfFd_[newFd] = channel;
                if (descriptorChanged_) descriptorChanged_(oldFd, newFd);
            });
            sockets_.push_back(std::move(socket));
        }
        const DatagramSocket::OpenResult opened = sockets_[channel]->Open(local);
        if (opened.failedAt != DatagramSocket::OpenStep::Done)
            result = {opened.failedAt, opened.error, channel, sockets_[channel]->OpenProblem()};
    }
    MapDescriptors();
    return result;
}

std::optional<std::size_t> ChannelSet::ChannelOf(int fd) const {
    const auto found = channelOfFd_.find(fd);
    if (found == channelOfFd_.end()) return std::nullopt;
    return found->second;
}

std::vector<int> ChannelSet::Descriptors() const {
    std::vector<int> descriptors;
    for (const auto& socket : sockets_)
        if (socket->Fd() >= 0) descriptors.push_back(socket->Fd());
    return descriptors;
}

void ChannelSet::MapDescriptors() {
    channelOfFd_.clear();
    for (std::size_t channel = 0; channel < sockets_.size(); ++channel)
        if (sockets_[channel]->Fd() >= 0) channelOfFd_.emplace(sockets_[channel]->Fd(), channel);
}

void ChannelSet::Service() {
    for (const auto& socket : sockets_) socket->Service();
}

std::vector<int> ChannelSet::Buffered() const {
    std::vector<int> descriptors;
    for (const auto& socket : sockets_)
        if (socket->HasBuffered()) descriptors.push_back(socket->Fd());
    return descriptors;
}
