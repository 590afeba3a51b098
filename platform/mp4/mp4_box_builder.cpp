#include "platform/mp4/mp4_box_builder.h"

#include <limits>

namespace velmora {

void Mp4BoxBuilder::begin(std::string_view type) {
    m_open.push_back({m_bytes.size(), false});
    u32(0); // the size, known at end()
    fourcc(type);
}

void Mp4BoxBuilder::beginFull(std::string_view type, std::uint8_t version, std::uint32_t flags) {
    begin(type);
    u8(version);
    u24(flags);
}

bool Mp4BoxBuilder::end() {
    if (m_open.empty())
        return false;
    const OpenBox box = m_open.back();
    m_open.pop_back();
    const std::size_t start = box.start;
    std::uint64_t size = m_bytes.size() - start;
    if (box.holdsExternal)
        size += m_externalSize;
    if (size > std::numeric_limits<std::uint32_t>::max())
        return false;
    for (int i = 0; i < 4; ++i)
        m_bytes[start + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(size >> (24 - 8 * i));
    return true;
}

void Mp4BoxBuilder::u16(std::uint16_t value) {
    u8(static_cast<std::uint8_t>(value >> 8));
    u8(static_cast<std::uint8_t>(value));
}

void Mp4BoxBuilder::u24(std::uint32_t value) {
    u8(static_cast<std::uint8_t>(value >> 16));
    u16(static_cast<std::uint16_t>(value));
}

void Mp4BoxBuilder::u32(std::uint32_t value) {
    u16(static_cast<std::uint16_t>(value >> 16));
    u16(static_cast<std::uint16_t>(value));
}

void Mp4BoxBuilder::u64(std::uint64_t value) {
    u32(static_cast<std::uint32_t>(value >> 32));
    u32(static_cast<std::uint32_t>(value));
}

void Mp4BoxBuilder::fourcc(std::string_view code) {
    for (std::size_t i = 0; i < 4; ++i)
        u8(i < code.size() ? static_cast<std::uint8_t>(code[i]) : ' ');
}

void Mp4BoxBuilder::append(std::span<const std::uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void Mp4BoxBuilder::external(std::uint64_t size) {
    m_externalAt = m_bytes.size();
    m_externalSize = size;
    for (OpenBox& box : m_open)
        box.holdsExternal = true;
}

} // namespace velmora
