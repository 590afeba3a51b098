#include "platform/wmf/wmf_sync_reader.h"

#include "platform/ffmpeg/ffmpeg_frame_samples.h"
#include "platform/ffmpeg/ffmpeg_local_input.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace velmora {
namespace {

constexpr AVRational kHundredNs = {1, 10'000'000};

} // namespace

WmfSyncReader::WmfSyncReader() = default;

WmfSyncReader::~WmfSyncReader() {
    close();
}

void WmfSyncReader::close() {
    m_decoder.close();
    m_format.reset();
    m_streamIndex = -1;
    m_streamNumber = 0;
    m_sampleRate = 0;
    m_channels = 0;
}

bool WmfSyncReader::open(const std::string& path) {
    close();
    const AVInputFormat* asf = av_find_input_format("asf");
    if (asf == nullptr)
        return false;
    m_format.reset(openLocalInput(path, asf));
    if (!m_format)
        return false;

    const AVStream* audio = nullptr;
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        AVStream* stream = m_format->streams[i];
        if (audio == nullptr && stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            audio = stream;
        else
            stream->discard = AVDISCARD_ALL; // only the first audio stream is selected
    }
    if (audio == nullptr || !m_decoder.open(*audio, false) || m_decoder.codec().sample_rate <= 0 ||
        m_decoder.codec().ch_layout.nb_channels <= 0) {
        close();
        return false;
    }
    m_streamIndex = audio->index;
    m_streamNumber = audio->id;
    m_sampleRate = m_decoder.codec().sample_rate;
    m_channels = m_decoder.codec().ch_layout.nb_channels;
    return true;
}

bool WmfSyncReader::convertFrame(const AVFrame& frame, std::vector<std::int16_t>& pcm) const {
    if (frame.ch_layout.nb_channels != m_channels)
        return false;
    const int frames = m_decoder.usableFrames();
    const FfmpegFrameSamples samples(frame);
    pcm.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(m_channels));
    std::size_t out = 0;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < m_channels; ++c)
            pcm[out++] = samples.sample16(c, i);
    return true;
}

bool WmfSyncReader::nextSample(std::vector<std::int16_t>& pcm, std::uint64_t& time) {
    if (!isOpen())
        return false;
    while (const AVFrame* frame = m_decoder.nextFrame(*m_format, m_streamIndex)) {
        // A frame of another shape than the output's (a changed channel count) is not
        // delivered: its samples would be misread with the output's stride.
        if (!convertFrame(*frame, pcm))
            continue;
        const std::int64_t stamp = frame->best_effort_timestamp;
        const AVRational timeBase = m_format->streams[m_streamIndex]->time_base;
        if (stamp != AV_NOPTS_VALUE && timeBase.num > 0 && timeBase.den > 0) {
            const std::int64_t hundredNs = av_rescale_q(stamp, timeBase, kHundredNs);
            time = hundredNs > 0 ? static_cast<std::uint64_t>(hundredNs) : 0;
        }
        return true;
    }
    return false;
}

} // namespace velmora
