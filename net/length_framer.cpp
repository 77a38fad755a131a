#include "net/length_framer.h"

#include <algorithm>

std::size_t LengthFramer::PendingLength() const {
    if (buffer_.size() - start_ < 4) return 0;
    return static_cast<std::size_t>(buffer_[start_ + 2]) << 8 | buffer_[start_ + 3];
}

bool LengthFramer::Broken() const {
    const std::size_t length = PendingLength();
    return buffer_.size() - start_ >= 4 && (length < kMinLength || length > kMaxLength);
}

bool LengthFramer::HasPacket() const {
    return !Broken() && PendingLength() != 0 && buffer_.size() - start_ >= PendingLength();
}

bool LengthFramer::Append(std::span<const std::uint8_t> octets) {
    if (Broken()) return false;
    // Packets taken are dropped from the front before the buffer grows.
    if (start_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), octets.begin(), octets.end());
    return !Broken();
}

std::size_t LengthFramer::Next(std::span<std::uint8_t> out) {
    if (!HasPacket()) return 0;
    const std::size_t length = PendingLength();
    if (out.size() < length) return 0;
    std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(start_), length, out.begin());
    start_ += length;
    return length;
}
