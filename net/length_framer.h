// Cuts a byte stream into RADIUS packets by their Length field (octets 3 and 4). Over TLS the
// stream carries packets back to back with nothing between them; a read may end anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class LengthFramer {
public:
    // RFC 2865 section 3: "The minimum length is 20 and maximum length is 4096."
    static constexpr std::size_t kMinLength = 20;
    static constexpr std::size_t kMaxLength = 4096;

    // Takes the octets read. False, and nothing taken, once a Length out of bounds was seen: the
    // stream cannot be cut into packets any more and the connection must go.
    bool Append(std::span<const std::uint8_t> octets);
    // The next whole packet, if one has come: its octets are copied to out (room for
    // kMaxLength) and its length returned; 0 when none is whole yet or the stream is broken.
    std::size_t Next(std::span<std::uint8_t> out);
    // A whole packet waits to be taken.
    bool HasPacket() const;
    // A Length below kMinLength or above kMaxLength was seen.
    bool Broken() const;
    // Forgets everything (a new connection).
    void Clear() { buffer_.clear(); start_ = 0; }

private:
    // The Length field of the packet at start_, 0 while its header has not fully come.
    std::size_t PendingLength() const;

    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;  // where the next packet begins in buffer_
};
