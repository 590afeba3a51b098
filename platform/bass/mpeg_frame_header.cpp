#include "platform/bass/mpeg_frame_header.h"

#include <array>

namespace velmora {
namespace {

// kbit/s by bit rate index 0..14 (index 15 is reserved); index 0 is free format.
constexpr std::array<std::array<int, 15>, 5> kBitrates = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2/2.5 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2/2.5 II, III
}};

// Hz by sample rate index 0..2 (index 3 is reserved), per version.
constexpr std::array<std::array<int, 3>, 3> kSampleRates = {{
    {44100, 48000, 32000}, // MPEG-1
    {22050, 24000, 16000}, // MPEG-2
    {11025, 12000, 8000},  // MPEG-2.5
}};

} // namespace

std::optional<MpegFrameHeader> MpegFrameHeader::parse(std::span<const std::uint8_t, kBytes> bytes) {
    if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int versionBits = (bytes[1] >> 3) & 0x03;
    const int layerBits = (bytes[1] >> 1) & 0x03;
    const int bitrateIndex = bytes[2] >> 4;
    const int rateIndex = (bytes[2] >> 2) & 0x03;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;

    MpegFrameHeader header;
    header.version = versionBits == 3   ? MpegVersion::Mpeg1
                     : versionBits == 2 ? MpegVersion::Mpeg2
                                        : MpegVersion::Mpeg25;
    header.layer = 4 - layerBits;
    const bool mpeg1 = header.version == MpegVersion::Mpeg1;
    const std::size_t table =
        mpeg1 ? static_cast<std::size_t>(header.layer - 1) : (header.layer == 1 ? 3u : 4u);
    header.bitrateKbps = kBitrates[table][static_cast<std::size_t>(bitrateIndex)];
    header.sampleRate =
        kSampleRates[static_cast<std::size_t>(header.version)][static_cast<std::size_t>(rateIndex)];
    header.padded = (bytes[2] & 0x02) != 0;
    header.channelMode = bytes[3] >> 6;
    return header;
}

std::optional<int> MpegFrameHeader::channelModeOf(std::span<const std::uint8_t, kBytes> bytes) {
    const auto header = parse(bytes);
    if (!header || header->isFreeFormat())
        return std::nullopt;
    return header->channelMode;
}

int MpegFrameHeader::samplesPerFrame() const {
    if (layer == 1)
        return 384;
    if (layer == 3 && version != MpegVersion::Mpeg1)
        return 576;
    return 1152;
}

std::uint32_t MpegFrameHeader::frameBytes() const {
    if (isFreeFormat() || sampleRate == 0)
        return 0;
    const auto bitsPerSecond = static_cast<std::uint32_t>(bitrateKbps) * 1000;
    const auto rate = static_cast<std::uint32_t>(sampleRate);
    if (layer == 1)
        return (12 * bitsPerSecond / rate + (padded ? 1 : 0)) * 4;
    // Bytes per frame = samples per frame / 8 × bit rate / sample rate.
    const auto samplesPerByte = static_cast<std::uint32_t>(samplesPerFrame()) / 8;
    return samplesPerByte * bitsPerSecond / rate + (padded ? 1 : 0);
}

bool MpegFrameHeader::sameStreamAs(const MpegFrameHeader& other) const {
    return version == other.version && layer == other.layer && sampleRate == other.sampleRate &&
           isFreeFormat() == other.isFreeFormat();
}

} // namespace velmora
