// Bounded reading and writing of packet octets. Every packet byte that the system reads or
// writes goes through these two classes: a short buffer makes the operation fail (and every
// later one too), it never reads or writes past the end. Numbers are big-endian on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}
    explicit ByteReader(std::span<const std::uint8_t> bytes) : ByteReader(bytes.data(), bytes.size()) {}

    // Each read takes the octets and moves on, or fails without moving (and without touching
    // out) when fewer remain. After one failure every later read fails as well.
    bool ReadU8(std::uint8_t& out);
    bool ReadU16(std::uint16_t& out);
    bool ReadU32(std::uint32_t& out);
    bool ReadBytes(std::uint8_t* out, std::size_t count);
    // The next count octets as a view into the buffer.
    bool ReadSpan(std::size_t count, std::span<const std::uint8_t>& out);
    bool Skip(std::size_t count);

    std::size_t Position() const { return position_; }
    std::size_t Remaining() const { return size_ - position_; }
    bool Failed() const { return failed_; }
    // The octets not yet read.
    std::span<const std::uint8_t> Rest() const { return {data_ + position_, Remaining()}; }

private:
    bool Take(std::size_t count, const std::uint8_t*& where);

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    bool failed_ = false;
};

class ByteWriter {
public:
    ByteWriter(std::uint8_t* buffer, std::size_t capacity) : buffer_(buffer), capacity_(buffer ? capacity : 0) {}
    explicit ByteWriter(std::span<std::uint8_t> buffer) : ByteWriter(buffer.data(), buffer.size()) {}
    // A writer without a buffer: it keeps no octet and only counts them, failing like a buffer
    // of that capacity would. What a packet takes is measured by the code that writes it.
    static ByteWriter Counting(std::size_t capacity) { return ByteWriter(capacity); }

    // Each write puts all its octets and moves on, or fails writing none of them when they do
    // not fit. After one failure every later write fails as well. (The fixed-size writes are
    // inline, below: every octet of every packet goes through them.)
    bool WriteU8(std::uint8_t value);
    bool WriteU16(std::uint16_t value);
    bool WriteU32(std::uint32_t value);
    bool WriteBytes(const std::uint8_t* bytes, std::size_t count);
    bool WriteBytes(std::span<const std::uint8_t> bytes) { return WriteBytes(bytes.data(), bytes.size()); }

    // Overwrite octets already written (a length field filled in afterwards). Fails, without
    // setting the failed flag, when the place is not inside the written part.
    bool PutU8At(std::size_t offset, std::uint8_t value);
    bool PutU16At(std::size_t offset, std::uint16_t value);
    bool PutBytesAt(std::size_t offset, const std::uint8_t* bytes, std::size_t count);

    std::size_t Position() const { return position_; }
    std::size_t Remaining() const { return capacity_ - position_; }
    std::size_t Capacity() const { return capacity_; }
    bool Failed() const { return failed_; }
    bool IsCounting() const { return counting_; }
    // The octets written so far (none for a counting writer).
    std::span<const std::uint8_t> Written() const {
        return IsCounting() ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(buffer_, position_);
    }

private:
    explicit ByteWriter(std::size_t countingCapacity)
        : buffer_(nullptr), capacity_(countingCapacity), counting_(true) {}
    // Claims count octets: false, failing the writer, when they do not fit. where is the place
    // to write them, null for a counting writer.
    bool Claim(std::size_t count, std::uint8_t*& where);

    std::uint8_t* buffer_;
    std::size_t capacity_;
    std::size_t position_ = 0;
    bool failed_ = false;
    bool counting_ = false;
};

inline bool ByteWriter::Claim(std::size_t count, std::uint8_t*& where) {
    if (failed_ || count > Remaining()) {
        failed_ = true;
        return false;
    }
    where = counting_ ? nullptr : buffer_ + position_;
    position_ += count;
    return true;
}

inline bool ByteWriter::WriteU8(std::uint8_t value) {
    std::uint8_t* p = nullptr;
    if (!Claim(1, p)) return false;
    if (p) p[0] = value;
    return true;
}

inline bool ByteWriter::WriteU16(std::uint16_t value) {
    std::uint8_t* p = nullptr;
    if (!Claim(2, p)) return false;
    if (p) {
        p[0] = static_cast<std::uint8_t>(value >> 8);
        p[1] = static_cast<std::uint8_t>(value);
    }
    return true;
}

inline bool ByteWriter::WriteU32(std::uint32_t value) {
    std::uint8_t* p = nullptr;
    if (!Claim(4, p)) return false;
    if (p) {
        p[0] = static_cast<std::uint8_t>(value >> 24);
        p[1] = static_cast<std::uint8_t>(value >> 16);
        p[2] = static_cast<std::uint8_t>(value >> 8);
        p[3] = static_cast<std::uint8_t>(value);
    }
    return true;
}
