#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace velmora {

// Builds a tree of MPEG-4 boxes in memory, big-endian, each box's 32-bit size filled in when
// it ends. One stretch of the tree may be left out and counted only (`external`): a table too
// large to hold, which the caller streams into the file between the two halves of bytes().
class Mp4BoxBuilder {
public:
    void begin(std::string_view type);
    // A full box: version and 24 bits of flags after the header.
    void beginFull(std::string_view type, std::uint8_t version, std::uint32_t flags = 0);
    // Ends the innermost open box. False when its size passes 32 bits.
    bool end();

    void u8(std::uint8_t value) { m_bytes.push_back(value); }
    void u16(std::uint16_t value);
    void u24(std::uint32_t value);
    void u32(std::uint32_t value);
    void u64(std::uint64_t value);
    void fourcc(std::string_view code);
    void zeros(std::size_t count) { m_bytes.insert(m_bytes.end(), count, 0); }
    void append(std::span<const std::uint8_t> bytes);
    // `size` bytes that belong here but are not held; at most one such stretch per tree.
    void external(std::uint64_t size);

    // Whether every box has ended.
    bool complete() const { return m_open.empty(); }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    // Where in bytes() the left-out stretch belongs, if there is one.
    std::optional<std::size_t> externalAt() const { return m_externalAt; }
    std::uint64_t externalSize() const { return m_externalSize; }
    // Bytes of the tree, the left-out stretch included.
    std::uint64_t totalSize() const { return m_bytes.size() + m_externalSize; }

private:
    std::vector<std::uint8_t> m_bytes;
    struct OpenBox {
        std::size_t start;
        bool holdsExternal; // open when external() was called
    };
    std::vector<OpenBox> m_open;
    std::optional<std::size_t> m_externalAt;
    std::uint64_t m_externalSize = 0;
};

} // namespace velmora
