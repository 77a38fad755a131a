#include "net/channel_set.h"

#include <cerrno>

ChannelSet::ChannelSet(std::unique_ptr<SocketFactory> factory)
    : factory_(factory ? std::move(factory) : std::make_unique<SystemSockets>()) {}

ChannelSet::OpenResult ChannelSet::Open(std::size_t count, const SocketAddress& local) {
    OpenResult result;
    if (count > sockets_.size()) factory_->ReserveDescriptors(count - sockets_.size());
    for (std::size_t channel = 0; channel < count && result.failedAt == DatagramSocket::OpenStep::Done; ++channel) {
        if (channel == sockets_.size()) {
            std::unique_ptr<DatagramSocket> socket = factory_->MakeDatagramSocket();
            if (!socket) {
                result = {DatagramSocket::OpenStep::Create, EMFILE, channel};
                break;
            }
            sockets_.push_back(std::move(socket));
        }
        const DatagramSocket::OpenResult opened = sockets_[channel]->Open(local);
        if (opened.failedAt != DatagramSocket::OpenStep::Done) result = {opened.failedAt, opened.error, channel};
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
