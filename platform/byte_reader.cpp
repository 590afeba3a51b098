#include "platform/byte_reader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <sys/stat.h>

namespace velmora {

std::optional<ByteReader> ByteReader::fromFile(std::FILE* file) {
    if (!file)
        return std::nullopt;
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || info.st_size < 0)
        return std::nullopt;
    const off_t offset = ftello(file);
    if (offset < 0)
        return std::nullopt;
    return ByteReader(file, static_cast<std::uint64_t>(info.st_size),
                      static_cast<std::uint64_t>(offset));
}

bool ByteReader::readU8(std::uint8_t& value) {
    std::array<std::uint8_t, 1> byte{};
    if (!readBytes(byte))
        return false;
    value = byte[0];
    return true;
}

bool ByteReader::peekU8(std::uint8_t& value) {
    if (m_file) {
        const int c = std::getc(m_file);
        if (c == EOF)
            return false;
        std::ungetc(c, m_file);
        value = static_cast<std::uint8_t>(c);
        return true;
    }
    if (remaining() < 1)
        return false;
    value = m_bytes[static_cast<std::size_t>(m_offset)];
    return true;
}

bool ByteReader::readU16LE(std::uint16_t& value) {
    std::array<std::uint8_t, 2> b{};
    if (!readBytes(b))
        return false;
    value = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool ByteReader::readU32LE(std::uint32_t& value) {
    std::array<std::uint8_t, 4> b{};
    if (!readBytes(b))
        return false;
    value = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
            (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
}

bool ByteReader::readU16BE(std::uint16_t& value) {
    std::array<std::uint8_t, 2> b{};
    if (!readBytes(b))
        return false;
    value = static_cast<std::uint16_t>((b[0] << 8) | b[1]);
    return true;
}

bool ByteReader::readU32BE(std::uint32_t& value) {
    std::array<std::uint8_t, 4> b{};
    if (!readBytes(b))
        return false;
    value = (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
            (static_cast<std::uint32_t>(b[2]) << 8) | static_cast<std::uint32_t>(b[3]);
    return true;
}

bool ByteReader::readU64LE(std::uint64_t& value) {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    if (!readU32LE(low) || !readU32LE(high))
        return false;
    value = (static_cast<std::uint64_t>(high) << 32) | low;
    return true;
}

bool ByteReader::matchTag(std::string_view tag) {
    return matchBytes({reinterpret_cast<const std::uint8_t*>(tag.data()), tag.size()});
}

bool ByteReader::matchBytes(std::span<const std::uint8_t> expected) {
    const std::uint64_t start = m_offset;
    std::array<std::uint8_t, 16> bytes{};
    if (expected.size() > bytes.size())
        return false;
    const auto found = std::span(bytes).first(expected.size());
    if (readBytes(found) && std::equal(found.begin(), found.end(), expected.begin()))
        return true;
    seek(start);
    return false;
}

bool ByteReader::readI16LE(std::int16_t& value) {
    std::uint16_t raw = 0;
    if (!readU16LE(raw))
        return false;
    value = static_cast<std::int16_t>(raw);
    return true;
}

bool ByteReader::readBytes(std::span<std::uint8_t> out) {
    if (m_file) {
        // The stream, not the size taken at construction, decides: the file may have changed.
        const std::size_t got = std::fread(out.data(), 1, out.size(), m_file);
        m_offset += got;
        return got == out.size();
    }
    if (remaining() < out.size())
        return false;
    std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_offset), out.size(), out.begin());
    m_offset += out.size();
    return true;
}

std::size_t ByteReader::readUpTo(std::span<std::uint8_t> out) {
    if (m_file) {
        const std::size_t got = std::fread(out.data(), 1, out.size(), m_file);
        m_offset += got;
        return got;
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(remaining(), out.size()));
    std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_offset), count, out.begin());
    m_offset += count;
    return count;
}

bool ByteReader::takeView(std::uint64_t count, std::span<const std::uint8_t>& out) {
    if (m_file || count > remaining())
        return false;
    out = m_bytes.subspan(static_cast<std::size_t>(m_offset), static_cast<std::size_t>(count));
    m_offset += count;
    return true;
}

std::span<const std::uint8_t> ByteReader::takeViewUpTo(std::uint64_t count) {
    std::span<const std::uint8_t> out;
    takeView(std::min(count, remaining()), out);
    return out;
}

bool ByteReader::skip(std::uint64_t count) {
    if (count > remaining())
        return false;
    return seek(m_offset + count);
}

bool ByteReader::seek(std::uint64_t offset) {
    if (offset > m_size)
        return false;
    if (m_file) {
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
            fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0)
            return false;
    }
    m_offset = offset;
    return true;
}

} // namespace velmora
