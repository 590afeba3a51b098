#include "sources/codecs/dwvw_decoder.h"

#include <algorithm>

namespace velmora {

class DwvwDecoder::BitCursor {
public:
    BitCursor(std::span<const std::uint8_t> bytes, std::size_t bitOffset)
        : m_bytes(bytes), m_offset(bitOffset) {}

    std::size_t offset() const { return m_offset; }

    // The next `count` bits (at most 31) as an unsigned number, first bit most significant;
    // false when the bytes end first.
    bool read(int count, std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            const std::size_t byte = m_offset / 8;
            if (byte >= m_bytes.size())
                return false;
            const unsigned bit = (m_bytes[byte] >> (7 - m_offset % 8)) & 1u;
            value = (value << 1) | bit;
            ++m_offset;
        }
        return true;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_offset;
};

DwvwDecoder::DwvwDecoder(int bits)
    : m_bits(std::clamp(bits, kMinBits, kMaxBits)), m_maxModifier(m_bits / 2),
      m_maxDelta(std::int32_t{1} << (m_bits - 1)), m_span(std::int64_t{1} << m_bits) {}

void DwvwDecoder::feed(std::span<const std::uint8_t> bytes) {
    // Drop the bytes every decoded sample has passed, so the buffer holds at most one partial
    // sample (a few bytes) plus what is fed.
    const std::size_t usedBytes = m_bitOffset / 8;
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(usedBytes));
    m_bitOffset -= usedBytes * 8;
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
}

std::size_t DwvwDecoder::pendingBits() const {
    return m_pending.size() * 8 - m_bitOffset;
}

std::size_t DwvwDecoder::decode(std::span<std::int32_t> out) {
    std::size_t count = 0;
    while (count < out.size() && decodeOne(out[count]))
        ++count;
    return count;
}

bool DwvwDecoder::decodeOne(std::int32_t& out) {
    BitCursor in(m_pending, m_bitOffset);
    std::uint32_t bit = 0;

    int modifier = 0;
    while (modifier < m_maxModifier) {
        if (!in.read(1, bit))
            return false;
        if (bit)
            break;
        ++modifier;
    }
    if (modifier != 0) {
        if (!in.read(1, bit))
            return false;
        if (bit)
            modifier = -modifier;
    }
    // The modifier lies within ±bits ÷ 2, so the sum is never negative.
    const int deltaWidth = (m_deltaWidth + modifier + m_bits) % m_bits;

    std::int32_t delta = 0;
    if (deltaWidth != 0) {
        std::uint32_t low = 0;
        std::uint32_t negative = 0;
        if (!in.read(deltaWidth - 1, low) || !in.read(1, negative))
            return false;
        delta = static_cast<std::int32_t>(low | (1u << (deltaWidth - 1)));
        if (delta == m_maxDelta - 1) {
            if (!in.read(1, bit))
                return false;
            delta += static_cast<std::int32_t>(bit);
        }
        if (negative)
            delta = -delta;
    }

    std::int64_t sample = std::int64_t{m_lastSample} + delta;
    if (sample >= m_maxDelta)
        sample -= m_span;
    else if (sample < -std::int64_t{m_maxDelta})
        sample += m_span;

    // The whole sample was there: commit.
    m_bitOffset = in.offset();
    m_deltaWidth = deltaWidth;
    m_lastSample = static_cast<std::int32_t>(sample);
    out = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_lastSample) << (32 - m_bits));
    return true;
}

} // namespace velmora
