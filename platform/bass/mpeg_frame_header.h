#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace velmora {

enum class MpegVersion { Mpeg1, Mpeg2, Mpeg25 };

// The four bytes that open every MPEG audio frame, decoded.
struct MpegFrameHeader {
    static constexpr std::size_t kBytes = 4;

    MpegVersion version = MpegVersion::Mpeg1;
    int layer = 0;       // 1, 2 or 3
    int bitrateKbps = 0; // 0: free format (the frame size is not in the header)
    int sampleRate = 0;  // Hz
    bool padded = false; // one extra slot in this frame
    int channelMode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono

    // A header with the frame sync, a version, layer, bit rate index and sample rate index that
    // are not reserved. Free format (bit rate index 0) is accepted; see isFreeFormat().
    static std::optional<MpegFrameHeader> parse(std::span<const std::uint8_t, kBytes> bytes);

    // The channel mode of a header that names its bit rate: none for a free-format header and
    // for anything parse() rejects.
    static std::optional<int> channelModeOf(std::span<const std::uint8_t, kBytes> bytes);

    bool isFreeFormat() const { return bitrateKbps == 0; }
    // PCM frames (samples per channel) one frame decodes to.
    int samplesPerFrame() const;
    // Bytes of the whole frame, header included; 0 for free format.
    std::uint32_t frameBytes() const;
    // Bytes of one padding slot (4 for layer I, else 1).
    std::uint32_t slotBytes() const { return layer == 1 ? 4 : 1; }
    // Two headers of one stream share version, layer and sample rate; a free-format stream stays
    // free format.
    bool sameStreamAs(const MpegFrameHeader& other) const;
};

} // namespace velmora
