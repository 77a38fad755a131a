#include "protocol/value_hiding.h"

#include <array>

namespace {

constexpr std::size_t kBlock = 16;
constexpr std::size_t kSaltLength = 2;

std::size_t RoundUpToBlocks(std::size_t length) { return (length + kBlock - 1) / kBlock * kBlock; }

}  // namespace

std::size_t HiddenLength(ValueHiding hiding, std::size_t plainLength) {
    switch (hiding) {
        case ValueHiding::UserPassword:
            return plainLength == 0 ? kBlock : RoundUpToBlocks(plainLength);
        case ValueHiding::TunnelPassword:
            return kSaltLength + RoundUpToBlocks(1 + plainLength);
        case ValueHiding::None:
            break;
    }
    return plainLength;
}

bool PlaceholderHider::Hide(ValueHiding hiding, std::span<const std::uint8_t> plain, ByteWriter& out) {
    static constexpr std::array<std::uint8_t, 256> kZeros{};
    const std::size_t length = HiddenLength(hiding, plain.size());
    return length <= kZeros.size() && out.WriteBytes(kZeros.data(), length);
}
