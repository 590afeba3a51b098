#include "sources/ffmpeg_probe_source.h"

#include <climits>
#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/samplefmt.h>
}

namespace velmora {

FfmpegProbeSource::~FfmpegProbeSource() = default;

void FfmpegProbeSource::close() {
    m_input.close();
    AudioSource::close();
}

bool FfmpegProbeSource::open(const std::string& path, int /*renderRate*/) {
    close();
    if (!m_input.open(path)) {
        close();
        return false;
    }
    m_length = m_input.fileSize();
    m_durationSeconds = m_input.durationSeconds();
    const AVStream* stream = m_input.audioStream();
    if (!stream)
        return true;
    const AVCodecParameters& parameters = *stream->codecpar;
    // The count of the material itself: a stereo downmix would only happen in a decoder.
    m_channels = parameters.ch_layout.nb_channels > 0 ? parameters.ch_layout.nb_channels : 0;
    m_outChannels = m_channels > 1 ? 2 : 1;
    m_channelMode = m_channels < 2 ? 3 : 0;
    m_sampleRate = parameters.sample_rate > 0 ? parameters.sample_rate : 0;
    const std::int64_t kbps = parameters.bit_rate > 0 ? parameters.bit_rate / 1000 : 0;
    m_bitrateKbps = kbps > INT_MAX ? INT_MAX : static_cast<int>(kbps);
    const auto format = static_cast<AVSampleFormat>(parameters.format);
    m_bitsPerSample = format == AV_SAMPLE_FMT_U8 || format == AV_SAMPLE_FMT_U8P ? 8 : 16;
    m_bytesPerSample = m_bitsPerSample / 8;
    return true;
}

int FfmpegProbeSource::read(std::int16_t* /*left*/, std::int16_t* /*right*/) {
    return 0;
}

} // namespace velmora
