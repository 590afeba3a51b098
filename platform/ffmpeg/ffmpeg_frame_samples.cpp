#include "platform/ffmpeg/ffmpeg_frame_samples.h"

#include "platform/float_sample.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace velmora {
namespace {

template <typename T> T storedValue(const std::uint8_t* stored) {
    T value{};
    std::memcpy(&value, stored, sizeof value);
    return value;
}

} // namespace

FfmpegFrameSamples::FfmpegFrameSamples(const AVFrame& frame)
    : m_frame(frame),
      m_packedFormat(av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame.format))),
      m_bytes(static_cast<std::size_t>(
          av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame.format)))),
      m_channels(static_cast<std::size_t>(frame.ch_layout.nb_channels)),
      m_planar(av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame.format)) != 0) {}

const std::uint8_t* FfmpegFrameSamples::stored(int channel, int index) const {
    const auto at = static_cast<std::size_t>(index);
    if (m_planar)
        return m_frame.extended_data[channel] + at * m_bytes;
    return m_frame.extended_data[0] +
           (at * m_channels + static_cast<std::size_t>(channel)) * m_bytes;
}

std::int16_t FfmpegFrameSamples::sample16(int channel, int index) const {
    const std::uint8_t* at = stored(channel, index);
    switch (m_packedFormat) {
    case AV_SAMPLE_FMT_U8:
        return static_cast<std::int16_t>((at[0] - 128) * 256);
    case AV_SAMPLE_FMT_S16:
        return storedValue<std::int16_t>(at);
    case AV_SAMPLE_FMT_S32:
        return static_cast<std::int16_t>(storedValue<std::int32_t>(at) >> 16);
    case AV_SAMPLE_FMT_S64:
        return static_cast<std::int16_t>(storedValue<std::int64_t>(at) >> 48);
    case AV_SAMPLE_FMT_FLT:
        return floatToSample(static_cast<double>(storedValue<float>(at)));
    case AV_SAMPLE_FMT_DBL:
        return floatToSample(storedValue<double>(at));
    default:
        return 0;
    }
}

std::uint8_t FfmpegFrameSamples::sample8(int channel, int index) const {
    // Only a stream whose format changes after open needs the narrowing: 8-bit output is
    // chosen for 8-bit decoders.
    if (m_packedFormat == AV_SAMPLE_FMT_U8)
        return *stored(channel, index);
    return static_cast<std::uint8_t>((sample16(channel, index) >> 8) + 128);
}

} // namespace velmora
