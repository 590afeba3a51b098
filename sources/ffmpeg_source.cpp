#include "sources/ffmpeg_source.h"

#include "platform/ffmpeg/ffmpeg_frame_samples.h"

#include <algorithm>
#include <climits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/samplefmt.h>
}

namespace velmora {

FfmpegSource::~FfmpegSource() = default;

void FfmpegSource::close() {
    m_frame = nullptr;
    m_frameLength = 0;
    m_frameCursor = 0;
    m_decoder.close();
    m_input.close();
    AudioSource::close();
}

bool FfmpegSource::open(const std::string& path, int /*renderRate*/) {
    close();
    const AVStream* stream = m_input.open(path) ? m_input.audioStream() : nullptr;
    const int materialChannels = stream ? stream->codecpar->ch_layout.nb_channels : 0;
    if (!stream || !m_decoder.open(*stream, materialChannels > 2)) {
        close();
        return false;
    }
    const AVCodecContext& codec = m_decoder.codec();
    // channels() describes the material; a decoder's stereo downmix only changes what is
    // delivered, and outChannels() is 2 either way.
    m_channels = materialChannels > 0 ? materialChannels : codec.ch_layout.nb_channels;
    m_sampleRate = codec.sample_rate;
    if (m_channels <= 0 || m_sampleRate <= 0) {
        close();
        return false;
    }
    m_outChannels = m_channels > 1 ? 2 : 1;
    m_channelMode = m_channels < 2 ? 3 : 0;
    const std::int64_t kbps = codec.bit_rate > 0 ? codec.bit_rate / 1000 : 0;
    m_bitrateKbps = kbps > INT_MAX ? INT_MAX : static_cast<int>(kbps);
    const AVSampleFormat format = av_get_packed_sample_fmt(codec.sample_fmt);
    m_bitsPerSample = format == AV_SAMPLE_FMT_U8 ? 8 : 16;
    m_bytesPerSample = m_bitsPerSample / 8;
    m_length = m_input.fileSize();
    m_position = m_input.bytePosition();
    m_durationSeconds = m_input.durationSeconds();
    return true;
}

int FfmpegSource::read(std::int16_t* left, std::int16_t* right) {
    if (!m_decoder.isOpen() || !left || (m_outChannels == 2 && !right))
        return 0;
    int frames = 0;
    while (frames < kMaxFramesPerRead) {
        if (m_frameCursor < m_frameLength) {
            frames += deliver(left, right, frames);
            continue;
        }
        m_frame = m_decoder.nextFrame(*m_input.context(), m_input.audioStreamIndex());
        m_frameLength = m_frame ? m_decoder.usableFrames() : 0;
        m_frameCursor = 0;
        if (!m_frame)
            break;
    }
    m_position = m_input.bytePosition();
    return frames;
}

bool FfmpegSource::readTags(TagSet& tags) {
    return m_input.readTags(tags);
}

int FfmpegSource::deliver(std::int16_t* left, std::int16_t* right, int offset) {
    const FfmpegFrameSamples frame(*m_frame);
    const int count = std::min(m_frameLength - m_frameCursor, kMaxFramesPerRead - offset);
    // A mono frame in a stereo stream gives the same samples to both sides.
    const int second = m_frame->ch_layout.nb_channels > 1 ? 1 : 0;
    const bool stereo = m_outChannels == 2;
    for (int i = 0; i < count; ++i) {
        const int index = m_frameCursor + i;
        const auto target = static_cast<std::size_t>(offset + i);
        if (m_bitsPerSample == 8) {
            asBytes(left)[target] = frame.sample8(0, index);
            if (stereo)
                asBytes(right)[target] = frame.sample8(second, index);
        } else {
            left[target] = frame.sample16(0, index);
            if (stereo)
                right[target] = frame.sample16(second, index);
        }
    }
    m_frameCursor += count;
    return count;
}

} // namespace velmora
