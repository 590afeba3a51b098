#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace velmora {

// IMA/DVI ADPCM in the Microsoft WAVE block layout (format tag 0x11, 4 bits per sample).
//
// A block holds, per channel, a 4-byte header (first sample, signed 16-bit; step index byte;
// one reserved byte), then groups of 4 bytes per channel (8 samples, low nibble first),
// interleaved channel by channel. The step and index tables and the per-channel nibble
// expansion are public so that the AIFF reader's Apple IMA4 decoder can use the same ones.
class ImaAdpcmDecoder {
public:
    static constexpr int kMaxStepIndex = 88;
    static constexpr std::array<std::int16_t, kMaxStepIndex + 1> kStepTable = {
        7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
        25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
        88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
        307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
        1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
        3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
        12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
    // Step index change per nibble (the sign bit, bit 3, does not matter).
    static constexpr std::array<std::int8_t, 16> kIndexTable = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                                -1, -1, -1, -1, 2, 4, 6, 8};

    // The running state of one channel.
    struct Channel {
        int predictor = 0; // −32768..32767
        int stepIndex = 0; // 0..kMaxStepIndex

        // Decodes one 4-bit code (low 4 bits of `nibble`) and returns the new sample.
        std::int16_t expandNibble(unsigned nibble);
    };

    // A decoder for blocks of `blockAlign` bytes, each yielding `samplesPerBlock` frames of
    // `channels` channels. None when the geometry is impossible: channels other than 1 or 2, a
    // block too small for its headers, no samples, or more samples claimed than the block holds.
    static std::optional<ImaAdpcmDecoder> create(int channels, int blockAlign, int samplesPerBlock);

    int channels() const { return m_channels; }
    std::size_t blockBytes() const { return m_blockBytes; }
    int samplesPerBlock() const { return m_samplesPerBlock; }
    // Samples one block decodes to (samplesPerBlock × channels, interleaved).
    std::size_t blockSamples() const {
        return static_cast<std::size_t>(m_samplesPerBlock) * static_cast<std::size_t>(m_channels);
    }

    // Decodes one block of exactly blockBytes() bytes into `out`, which must hold
    // blockSamples() samples. False (and nothing decoded) when the sizes do not match.
    bool decodeBlock(std::span<const std::uint8_t> block, std::span<std::int16_t> out) const;

private:
    ImaAdpcmDecoder(int channels, std::size_t blockBytes, int samplesPerBlock)
        : m_channels(channels), m_blockBytes(blockBytes), m_samplesPerBlock(samplesPerBlock) {}

    int m_channels = 0;
    std::size_t m_blockBytes = 0;
    int m_samplesPerBlock = 0;
};

} // namespace velmora
