#include "protocol/byte_span.h"

#include <cstring>

bool ByteReader::Take(std::size_t count, const std::uint8_t*& where) {
    if (failed_ || count > Remaining()) {
        failed_ = true;
        return false;
    }
    where = data_ + position_;
    position_ += count;
    return true;
}

bool ByteReader::ReadU8(std::uint8_t& out) {
    const std::uint8_t* p = nullptr;
    if (!Take(1, p)) return false;
    out = p[0];
    return true;
}

bool ByteReader::ReadU16(std::uint16_t& out) {
    const std::uint8_t* p = nullptr;
    if (!Take(2, p)) return false;
    out = static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    return true;
}

bool ByteReader::ReadU32(std::uint32_t& out) {
    const std::uint8_t* p = nullptr;
    if (!Take(4, p)) return false;
    out = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
    return true;
}

bool ByteReader::ReadBytes(std::uint8_t* out, std::size_t count) {
    const std::uint8_t* p = nullptr;
    if (!Take(count, p)) return false;
    if (count > 0) std::memcpy(out, p, count);
    return true;
}

bool ByteReader::ReadSpan(std::size_t count, std::span<const std::uint8_t>& out) {
    const std::uint8_t* p = nullptr;
    if (!Take(count, p)) return false;
    out = {p, count};
    return true;
}

bool ByteReader::Skip(std::size_t count) {
    const std::uint8_t* p = nullptr;
    return Take(count, p);
}

bool ByteWriter::WriteBytes(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t* p = nullptr;
    if (!Claim(count, p)) return false;
    if (p && count > 0) std::memcpy(p, bytes, count);
    return true;
}

bool ByteWriter::PutBytesAt(std::size_t offset, const std::uint8_t* bytes, std::size_t count) {
    if (offset > position_ || count > position_ - offset) return false;
    if (!IsCounting() && count > 0) std::memcpy(buffer_ + offset, bytes, count);
    return true;
}

bool ByteWriter::PutU8At(std::size_t offset, std::uint8_t value) {
    return PutBytesAt(offset, &value, 1);
}

bool ByteWriter::PutU16At(std::size_t offset, std::uint16_t value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return PutBytesAt(offset, bytes, 2);
}
