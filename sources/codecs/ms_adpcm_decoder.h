#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmora {

// Microsoft ADPCM (WAVE format tag 2), the published algorithm.
//
// A block holds per channel a predictor index byte, then per channel the initial delta, then per
// channel sample 1, then per channel sample 2 (all signed 16-bit), then nibbles, high nibble
// first, alternating channels when stereo. The coefficient table comes from the fmt chunk.
class MsAdpcmDecoder {
public:
    struct Coefficients {
        std::int16_t coef1 = 0;
        std::int16_t coef2 = 0;
        bool operator==(const Coefficients&) const = default;
    };

    // A predictor index is one byte, so a longer table could never be addressed.
    static constexpr std::size_t kMaxCoefficients = 256;
    static constexpr std::size_t kHeaderBytesPerChannel = 7;
    static constexpr std::array<int, 16> kAdaptationTable = {
        230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

    // A decoder for blocks of `blockAlign` bytes, each yielding `samplesPerBlock` frames of
    // `channels` channels. None when the geometry is impossible (channels other than 1 or 2, a
    // block too small for its headers, fewer than the 2 header samples, more samples claimed
    // than the block holds) or the coefficient table is empty or longer than kMaxCoefficients.
    static std::optional<MsAdpcmDecoder> create(int channels, int blockAlign, int samplesPerBlock,
                                                std::vector<Coefficients> coefficients);

    int channels() const { return m_channels; }
    std::size_t blockBytes() const { return m_blockBytes; }
    int samplesPerBlock() const { return m_samplesPerBlock; }
    const std::vector<Coefficients>& coefficients() const { return m_coefficients; }
    // Samples one block decodes to (samplesPerBlock × channels, interleaved).
    std::size_t blockSamples() const {
        return static_cast<std::size_t>(m_samplesPerBlock) * static_cast<std::size_t>(m_channels);
    }

    // Decodes one block of exactly blockBytes() bytes into `out`, which must hold
    // blockSamples() samples. False when the sizes do not match or a predictor index lies
    // beyond the coefficient table (the stream is then to be treated as ended).
    bool decodeBlock(std::span<const std::uint8_t> block, std::span<std::int16_t> out) const;

private:
    MsAdpcmDecoder(int channels, std::size_t blockBytes, int samplesPerBlock,
                   std::vector<Coefficients> coefficients)
        : m_channels(channels), m_blockBytes(blockBytes), m_samplesPerBlock(samplesPerBlock),
          m_coefficients(std::move(coefficients)) {}

    int m_channels = 0;
    std::size_t m_blockBytes = 0;
    int m_samplesPerBlock = 0;
    std::vector<Coefficients> m_coefficients;
};

} // namespace velmora
