#pragma once

#include <cstddef>
#include <cstdint>

struct AVFrame;

namespace velmora {

// The samples of one decoded frame read one by one as PCM, whatever FFmpeg's sample format
// (8, 16, 32, 64-bit integers or floating point, planar or interleaved). The frame's layout is
// looked up once. Indexes must lie within the frame's usable frames (FfmpegDecoder) and channels
// within its channel count.
class FfmpegFrameSamples {
public:
    explicit FfmpegFrameSamples(const AVFrame& frame);

    // Signed 16-bit: integers keep their top 16 bits, floating point is scaled and clamped.
    std::int16_t sample16(int channel, int index) const;
    // Unsigned 8-bit; 8-bit material is delivered as it is.
    std::uint8_t sample8(int channel, int index) const;

private:
    const std::uint8_t* stored(int channel, int index) const;

    const AVFrame& m_frame;
    int m_packedFormat;
    std::size_t m_bytes; // per stored sample
    std::size_t m_channels;
    bool m_planar;
};

} // namespace velmora
