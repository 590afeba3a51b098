#include "sources/codecs/ms_adpcm_decoder.h"

#include "platform/byte_reader.h"

#include <algorithm>
#include <climits>

namespace velmora {
namespace {

// The running state of one channel.
struct ChannelState {
    int coef1 = 0;
    int coef2 = 0;
    int delta = 0;
    int sample1 = 0;
    int sample2 = 0;

    std::int16_t expandNibble(unsigned nibble) {
        nibble &= 0x0Fu;
        const int signedNibble =
            (nibble & 8u) ? static_cast<int>(nibble) - 16 : static_cast<int>(nibble);
        // 64-bit: two products of 16-bit magnitudes can pass the 32-bit range.
        const std::int64_t prediction = (static_cast<std::int64_t>(sample1) * coef1 +
                                         static_cast<std::int64_t>(sample2) * coef2) /
                                            256 +
                                        static_cast<std::int64_t>(delta) * signedNibble;
        const int sample = static_cast<int>(std::clamp<std::int64_t>(prediction, -32768, 32767));
        const std::int64_t nextDelta =
            static_cast<std::int64_t>(delta) * MsAdpcmDecoder::kAdaptationTable[nibble] / 256;
        // The floor of 16 is the algorithm's; the ceiling (FFmpeg's) keeps a run of large codes
        // from growing the delta without bound.
        delta = static_cast<int>(std::clamp<std::int64_t>(nextDelta, 16, INT_MAX / 768));
        sample2 = sample1;
        sample1 = sample;
        return static_cast<std::int16_t>(sample);
    }
};

} // namespace

std::optional<MsAdpcmDecoder> MsAdpcmDecoder::create(int channels, int blockAlign,
                                                     int samplesPerBlock,
                                                     std::vector<Coefficients> coefficients) {
    if (channels < 1 || channels > 2 || blockAlign <= 0 || samplesPerBlock < 2)
        return std::nullopt;
    if (coefficients.empty() || coefficients.size() > kMaxCoefficients)
        return std::nullopt;
    // Two samples per channel are in the header; every further sample is one nibble.
    const long long nibbles = static_cast<long long>(samplesPerBlock - 2) * channels;
    const long long needed =
        static_cast<long long>(kHeaderBytesPerChannel) * channels + (nibbles + 1) / 2;
    if (needed > blockAlign)
        return std::nullopt;
    return MsAdpcmDecoder(channels, static_cast<std::size_t>(blockAlign), samplesPerBlock,
                          std::move(coefficients));
}

bool MsAdpcmDecoder::decodeBlock(std::span<const std::uint8_t> block,
                                 std::span<std::int16_t> out) const {
    if (block.size() != m_blockBytes || out.size() < blockSamples())
        return false;
    const auto channels = static_cast<std::size_t>(m_channels);
    ByteReader in(block);
    std::array<ChannelState, 2> state{};
    for (std::size_t c = 0; c < channels; ++c) {
        std::uint8_t predictor = 0;
        if (!in.readU8(predictor) || predictor >= m_coefficients.size())
            return false;
        state[c].coef1 = m_coefficients[predictor].coef1;
        state[c].coef2 = m_coefficients[predictor].coef2;
    }
    for (std::size_t c = 0; c < channels; ++c) {
        std::int16_t delta = 0;
        if (!in.readI16LE(delta))
            return false;
        state[c].delta = delta;
    }
    for (std::size_t c = 0; c < channels; ++c) {
        std::int16_t sample1 = 0;
        if (!in.readI16LE(sample1))
            return false;
        state[c].sample1 = sample1;
    }
    for (std::size_t c = 0; c < channels; ++c) {
        std::int16_t sample2 = 0;
        if (!in.readI16LE(sample2))
            return false;
        state[c].sample2 = sample2;
    }
    // The block starts with sample 2 (the older one), then sample 1.
    for (std::size_t c = 0; c < channels; ++c) {
        out[c] = static_cast<std::int16_t>(state[c].sample2);
        out[channels + c] = static_cast<std::int16_t>(state[c].sample1);
    }
    // The nibbles run through the interleaved output in order; create() made sure the block
    // holds them all.
    const std::size_t total = blockSamples();
    std::size_t index = 2 * channels;
    while (index < total) {
        std::uint8_t byte = 0;
        if (!in.readU8(byte))
            return false;
        out[index] = state[index % channels].expandNibble(byte >> 4u);
        ++index;
        if (index < total) {
            out[index] = state[index % channels].expandNibble(byte);
            ++index;
        }
    }
    return true;
}

} // namespace velmora
