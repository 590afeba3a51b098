#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

// DWVW (Delta With Variable Word width) decoding, as AIFF-C "DWVW" stores it: one bit stream,
// most significant bit first, of sample-to-sample deltas for every sample of the interleaved
// frames.
//
// Per sample: a unary delta-width modifier (up to width ÷ 2 zero bits ended by a one; at the
// maximum no one follows), then its sign bit when it is non-zero; the delta width changes by the
// modifier modulo the sample width. A non-zero delta width w is followed by the delta's w − 1 low
// bits (its top bit is implied), its sign bit, and one more bit when the delta is
// 2^(width − 1) − 1. The running sample adds the delta and wraps into the signed range of the
// sample width.
//
// Bytes are fed as they are read; a sample whose bits are not all there yet stays undecoded
// until more bytes come, so feeding in any portions gives the same samples.
class DwvwDecoder {
public:
    static constexpr int kMinBits = 8;
    static constexpr int kMaxBits = 24;

    // bits: the sample width, kMinBits..kMaxBits (clamped into that range).
    explicit DwvwDecoder(int bits);

    int bits() const { return m_bits; }

    // Appends stream bytes.
    void feed(std::span<const std::uint8_t> bytes);
    // Decodes samples into `out` while whole samples are available; each sample is stored
    // left-justified in 32 bits. Returns the number decoded (less than out.size() when the fed
    // bytes ran out).
    std::size_t decode(std::span<std::int32_t> out);
    // Bits fed but not yet used by a decoded sample.
    std::size_t pendingBits() const;

private:
    // Reads bits from the pending bytes at a tentative position; committed only when a whole
    // sample has been read.
    class BitCursor;

    bool decodeOne(std::int32_t& sample);

    int m_bits = 16;
    int m_maxModifier = 8;               // bits ÷ 2
    std::int32_t m_maxDelta = 0;         // 2^(bits − 1)
    std::int64_t m_span = 0;             // 2^bits
    int m_deltaWidth = 0;                // bits of the last delta
    std::int32_t m_lastSample = 0;       // right-justified, signed
    std::vector<std::uint8_t> m_pending; // fed bytes from the one holding m_bitOffset on
    std::size_t m_bitOffset = 0;         // next unread bit within m_pending
};

} // namespace velmora
