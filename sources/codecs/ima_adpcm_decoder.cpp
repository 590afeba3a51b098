#include "sources/codecs/ima_adpcm_decoder.h"

#include "platform/byte_reader.h"

#include <algorithm>

namespace velmora {
namespace {

constexpr int kHeaderBytesPerChannel = 4;
constexpr int kGroupBytesPerChannel = 4;
constexpr int kSamplesPerGroup = 8;

} // namespace

std::int16_t ImaAdpcmDecoder::Channel::expandNibble(unsigned nibble) {
    nibble &= 0x0Fu;
    const int step = kStepTable[static_cast<std::size_t>(stepIndex)];
    int difference = step >> 3;
    if (nibble & 1u)
        difference += step >> 2;
    if (nibble & 2u)
        difference += step >> 1;
    if (nibble & 4u)
        difference += step;
    if (nibble & 8u)
        difference = -difference;
    predictor = std::clamp(predictor + difference, -32768, 32767);
    stepIndex = std::clamp(stepIndex + kIndexTable[nibble], 0, kMaxStepIndex);
    return static_cast<std::int16_t>(predictor);
}

std::optional<ImaAdpcmDecoder> ImaAdpcmDecoder::create(int channels, int blockAlign,
                                                       int samplesPerBlock) {
    if (channels < 1 || channels > 2 || blockAlign <= 0 || samplesPerBlock < 1)
        return std::nullopt;
    // The first sample of each channel is in its header; the rest come in groups of 8.
    const long long groups =
        (static_cast<long long>(samplesPerBlock) - 1 + kSamplesPerGroup - 1) / kSamplesPerGroup;
    const long long needed = static_cast<long long>(kHeaderBytesPerChannel) * channels +
                             groups * kGroupBytesPerChannel * channels;
    if (needed > blockAlign)
        return std::nullopt;
    return ImaAdpcmDecoder(channels, static_cast<std::size_t>(blockAlign), samplesPerBlock);
}

bool ImaAdpcmDecoder::decodeBlock(std::span<const std::uint8_t> block,
                                  std::span<std::int16_t> out) const {
    if (block.size() != m_blockBytes || out.size() < blockSamples())
        return false;
    const auto channels = static_cast<std::size_t>(m_channels);
    const auto samplesPerBlock = static_cast<std::size_t>(m_samplesPerBlock);
    ByteReader in(block);
    std::array<Channel, 2> state{};
    for (std::size_t c = 0; c < channels; ++c) {
        std::int16_t first = 0;
        std::uint8_t index = 0;
        std::uint8_t reserved = 0;
        if (!in.readI16LE(first) || !in.readU8(index) || !in.readU8(reserved))
            return false;
        state[c].predictor = first;
        state[c].stepIndex = std::min<int>(index, kMaxStepIndex);
        out[c] = first;
    }
    // create() made sure the block holds every group these loops read.
    for (std::size_t groupStart = 1; groupStart < samplesPerBlock; groupStart += kSamplesPerGroup) {
        for (std::size_t c = 0; c < channels; ++c) {
            for (std::size_t pair = 0; pair < kSamplesPerGroup / 2; ++pair) {
                std::uint8_t byte = 0;
                if (!in.readU8(byte))
                    return false;
                const std::size_t sample = groupStart + 2 * pair;
                const std::int16_t low = state[c].expandNibble(byte);
                const std::int16_t high = state[c].expandNibble(byte >> 4u);
                // A last group may be only partly used when samplesPerBlock − 1 is not a
                // multiple of 8; the rest of it is decoded but not stored.
                if (sample < samplesPerBlock)
                    out[sample * channels + c] = low;
                if (sample + 1 < samplesPerBlock)
                    out[(sample + 1) * channels + c] = high;
            }
        }
    }
    return true;
}

} // namespace velmora
