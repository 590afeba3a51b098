#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

namespace velmora {

// A bounds-checked reader of file bytes, over an open stdio stream or over memory. Every
// fixed-size read either delivers all the bytes it was asked for and returns true, or returns
// false; readUpTo is the one call that may deliver fewer (bulk sample data near the end of a
// file). Offsets are in bytes from the start of the file or memory block.
//
// The reader does not own the stream or the memory; both must outlive it. Format readers (WAV,
// AIFF, AU, ASF, MIDI) parse their headers through it, and the block decoders read a block's bytes
// through its memory form, so no format code does pointer arithmetic on file bytes.
class ByteReader {
public:
    // A reader over a stream opened for binary reading, positioned at its current offset. The
    // size is what the file system reports when the reader is made. None when the stream's
    // size or offset cannot be queried.
    static std::optional<ByteReader> fromFile(std::FILE* file);
    // A reader over a block of memory, starting at its first byte.
    explicit ByteReader(std::span<const std::uint8_t> bytes)
        : m_bytes(bytes), m_size(bytes.size()) {}

    std::uint64_t size() const { return m_size; }
    std::uint64_t tell() const { return m_offset; }
    // Bytes between the current offset and the end (0 when the offset lies beyond the end).
    std::uint64_t remaining() const { return m_offset < m_size ? m_size - m_offset : 0; }

    bool readU8(std::uint8_t& value);
    // The next byte without consuming it.
    bool peekU8(std::uint8_t& value);
    bool readU16LE(std::uint16_t& value);
    bool readU32LE(std::uint32_t& value);
    bool readU16BE(std::uint16_t& value);
    bool readU32BE(std::uint32_t& value);
    bool readU64LE(std::uint64_t& value);
    bool readI16LE(std::int16_t& value);
    // Consumes the next bytes only when they equal `tag` (a chunk identifier or GUID, at most
    // 16 bytes); otherwise fails without moving.
    bool matchTag(std::string_view tag);
    bool matchBytes(std::span<const std::uint8_t> expected);
    // Fills all of `out`, or fails.
    bool readBytes(std::span<std::uint8_t> out);
    // Reads as much of `out` as there is; returns the number of bytes delivered.
    std::size_t readUpTo(std::span<std::uint8_t> out);
    // The memory form's next `count` bytes as a view, consumed; fails without moving when fewer
    // remain, and always over a file (there is no memory to view).
    bool takeView(std::uint64_t count, std::span<const std::uint8_t>& out);
    // Up to `count` bytes of the memory form: all of them, or what is left.
    std::span<const std::uint8_t> takeViewUpTo(std::uint64_t count);
    // Moves forward by `count` bytes; fails (without moving) when that passes the end.
    bool skip(std::uint64_t count);
    // Moves to an absolute offset; fails (without moving) when it lies beyond the end.
    bool seek(std::uint64_t offset);

private:
    ByteReader(std::FILE* file, std::uint64_t size, std::uint64_t offset)
        : m_file(file), m_size(size), m_offset(offset) {}

    std::FILE* m_file = nullptr;           // file mode when set, else memory mode
    std::span<const std::uint8_t> m_bytes; // memory mode
    std::uint64_t m_size = 0;
    std::uint64_t m_offset = 0;
};

} // namespace velmora
