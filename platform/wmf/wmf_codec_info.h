#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The wave format of an audio codec format, as the runtime describes it in a media type.
struct WmfMediaType {
    std::uint16_t formatTag = 0; // 0x161 Windows Media Audio, 0x162 its Professional variant
    int sampleRate = 0;          // Hz
    int channels = 0;

    bool operator==(const WmfMediaType&) const = default;
};

// One format an audio codec of the runtime offers: its description, its media type and the bit
// rate of its stream configuration.
struct WmfCodecFormat {
    std::string description;
    WmfMediaType mediaType;
    std::uint32_t bitRate = 0; // bit/s
};

// What the runtime's codecs can write. On this platform the one Windows Media Audio encoder is
// FFmpeg's wmav2; a format is offered when that encoder opens with it.
class WmfCodecInfo {
public:
    static constexpr std::uint16_t kWmaFormatTag = 0x161;
    static constexpr std::uint16_t kWmaProFormatTag = 0x162;

    // Every format offered, codec by codec, in the runtime's own order. The encoder takes any
    // rate up to 48000 Hz at 24 kbit/s and more, without an upper bound worth the name: the
    // formats are the usual rates and bit rates the encoder accepts, up to 4 bits per sample
    // and channel (beyond that it only pads its blocks). Empty when the encoder is missing.
    static std::vector<WmfCodecFormat> audioFormats();

    // True when the writer's encoder opens with the format at the bit rate.
    static bool encoderAccepts(const WmfMediaType& format, std::uint32_t bitRate);
};

} // namespace velmora
