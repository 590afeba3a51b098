#include "platform/wmf/wmf_sync_reader.h"

#include "platform/ffmpeg_local_input.h"
#include "sources/codecs/float_sample.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/samplefmt.h>
}

namespace velmora {
namespace {

constexpr AVRational kHundredNs = {1, 10'000'000};

template <typename T>
T sampleAt(const AVFrame& frame, bool planar, int channels, int channel, int index) {
    if (planar)
        return reinterpret_cast<const T*>(frame.extended_data[channel])[index];
    return reinterpret_cast<const T*>(frame.extended_data[0])[index * channels + channel];
}

} // namespace

void WmfSyncReader::FormatCloser::operator()(AVFormatContext* context) const {
    avformat_close_input(&context);
}
void WmfSyncReader::CodecFreer::operator()(AVCodecContext* context) const {
    avcodec_free_context(&context);
}
void WmfSyncReader::FrameFreer::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}
void WmfSyncReader::PacketFreer::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

WmfSyncReader::WmfSyncReader() = default;

WmfSyncReader::~WmfSyncReader() {
    close();
}

void WmfSyncReader::close() {
    m_packet.reset();
    m_frame.reset();
    m_codec.reset();
    m_format.reset();
    m_streamIndex = -1;
    m_streamNumber = 0;
    m_sampleRate = 0;
    m_channels = 0;
    m_flushed = false;
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
    const AVCodec* decoder = audio ? avcodec_find_decoder(audio->codecpar->codec_id) : nullptr;
    if (decoder == nullptr) {
        close();
        return false;
    }
    m_codec.reset(avcodec_alloc_context3(decoder));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_codec || !m_frame || !m_packet ||
        avcodec_parameters_to_context(m_codec.get(), audio->codecpar) < 0) {
        close();
        return false;
    }
    m_codec->pkt_timebase = audio->time_base;
    if (avcodec_open2(m_codec.get(), decoder, nullptr) < 0 || m_codec->sample_rate <= 0 ||
        m_codec->ch_layout.nb_channels <= 0) {
        close();
        return false;
    }
    m_streamIndex = audio->index;
    m_streamNumber = audio->id;
    m_sampleRate = m_codec->sample_rate;
    m_channels = m_codec->ch_layout.nb_channels;
    return true;
}

bool WmfSyncReader::receiveFrame() {
    // Every pass either takes a frame, or reads one packet of the file, or drains the decoder
    // after the last packet, so the loop ends with the file.
    for (;;) {
        const int received = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (received == 0)
            return true;
        if (received != AVERROR(EAGAIN) || m_flushed)
            return false;
        if (av_read_frame(m_format.get(), m_packet.get()) < 0) {
            m_flushed = true;
            avcodec_send_packet(m_codec.get(), nullptr);
            continue;
        }
        if (m_packet->stream_index == m_streamIndex) {
            // A packet the decoder refuses is damaged data: it is skipped.
            avcodec_send_packet(m_codec.get(), m_packet.get());
        }
        av_packet_unref(m_packet.get());
    }
}

bool WmfSyncReader::convertFrame(std::vector<std::int16_t>& pcm) const {
    const AVFrame& frame = *m_frame;
    if (frame.ch_layout.nb_channels != m_channels || frame.nb_samples <= 0)
        return false;
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int frames = frame.nb_samples;
    pcm.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(m_channels));
    std::size_t out = 0;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < m_channels; ++c) {
            std::int16_t value = 0;
            switch (av_get_packed_sample_fmt(format)) {
            case AV_SAMPLE_FMT_U8:
                value = static_cast<std::int16_t>(
                    (sampleAt<std::uint8_t>(frame, planar, m_channels, c, i) - 128) * 256);
                break;
            case AV_SAMPLE_FMT_S16:
                value = sampleAt<std::int16_t>(frame, planar, m_channels, c, i);
                break;
            case AV_SAMPLE_FMT_S32:
                value = static_cast<std::int16_t>(
                    sampleAt<std::int32_t>(frame, planar, m_channels, c, i) >> 16);
                break;
            case AV_SAMPLE_FMT_S64:
                value = static_cast<std::int16_t>(
                    sampleAt<std::int64_t>(frame, planar, m_channels, c, i) >> 48);
                break;
            case AV_SAMPLE_FMT_FLT:
                value = floatToSample(sampleAt<float>(frame, planar, m_channels, c, i));
                break;
            case AV_SAMPLE_FMT_DBL:
                value = floatToSample(sampleAt<double>(frame, planar, m_channels, c, i));
                break;
            default:
                return false;
            }
            pcm[out++] = value;
        }
    }
    return true;
}

bool WmfSyncReader::nextSample(std::vector<std::int16_t>& pcm, std::uint64_t& time) {
    if (!isOpen())
        return false;
    while (receiveFrame()) {
        const bool converted = convertFrame(pcm);
        const std::int64_t stamp = m_frame->best_effort_timestamp;
        const AVRational timeBase = m_format->streams[m_streamIndex]->time_base;
        av_frame_unref(m_frame.get());
        // A frame of another shape than the output's (a changed channel count) is not
        // delivered: its samples would be misread with the output's stride.
        if (!converted)
            continue;
        if (stamp != AV_NOPTS_VALUE && timeBase.num > 0 && timeBase.den > 0) {
            const std::int64_t hundredNs = av_rescale_q(stamp, timeBase, kHundredNs);
            time = hundredNs > 0 ? static_cast<std::uint64_t>(hundredNs) : 0;
        }
        return true;
    }
    return false;
}

} // namespace velmora
