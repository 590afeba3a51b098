#include "platform/ffmpeg/ffmpeg_decoder.h"

#include "platform/ffmpeg/ffmpeg_dictionary.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace velmora {
namespace {

// A damaged file ends after this many packets, decode errors and empty frames in a row without
// a single decoded sample. Real decoders need a handful at most (priming, delay).
constexpr int kMaxFruitlessSteps = 1000;
// Packets of other streams (video, subtitles) read in a row while looking for the next packet
// of the stream; an hour of 30 fps video between two audio packets is about 108000.
constexpr int kMaxForeignPackets = 1 << 20;

bool isSupportedFormat(AVSampleFormat format) {
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S64:
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_DBL:
        return true;
    default:
        return false;
    }
}

// The frames of a decoded frame that can be read without leaving its buffers; 0 when none.
// linesize[0] is the size in bytes of each plane (of the one buffer when interleaved).
int countUsableFrames(const AVFrame& frame) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const int channels = frame.ch_layout.nb_channels;
    if (frame.nb_samples <= 0 || channels <= 0 || !frame.extended_data ||
        !isSupportedFormat(format))
        return 0;
    const auto bytes = static_cast<std::int64_t>(av_get_bytes_per_sample(format));
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    // nb_samples and channels are ints and bytes at most 8: no overflow in 64 bits.
    const std::int64_t needed = frame.nb_samples * bytes * (planar ? 1 : channels);
    if (bytes <= 0 || frame.linesize[0] < needed)
        return 0;
    for (int plane = 0; plane < (planar ? channels : 1); ++plane)
        if (!frame.extended_data[plane])
            return 0;
    return frame.nb_samples;
}

} // namespace

FfmpegDecoder::FfmpegDecoder() = default;

FfmpegDecoder::~FfmpegDecoder() = default;

bool FfmpegDecoder::open(const AVStream& stream, bool downmixToStereo) {
    close();
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!decoder)
        return false;
    m_codec.reset(avcodec_alloc_context3(decoder));
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_codec || !m_packet || !m_frame ||
        avcodec_parameters_to_context(m_codec.get(), stream.codecpar) < 0) {
        close();
        return false;
    }
    // Decoders that honour priming and end trimming read them in this time base.
    m_codec->pkt_timebase = stream.time_base;
    FfmpegDictionary options;
    if ((downmixToStereo && !options.set("downmix", "stereo")) ||
        avcodec_open2(m_codec.get(), decoder, options.address()) < 0) {
        close();
        return false;
    }
    return true;
}

void FfmpegDecoder::close() {
    m_frame.reset();
    m_packet.reset();
    m_codec.reset();
    m_state = {};
}

const AVFrame* FfmpegDecoder::nextFrame(AVFormatContext& input, int streamIndex) {
    m_state.usableFrames = 0;
    if (!isOpen())
        return nullptr;
    while (!m_state.decoderEnded) {
        if (m_state.fruitlessSteps > kMaxFruitlessSteps) {
            m_state.decoderEnded = true;
            break;
        }
        av_frame_unref(m_frame.get());
        const int received = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (received == 0) {
            m_state.usableFrames = countUsableFrames(*m_frame);
            if (m_state.usableFrames > 0) {
                m_state.fruitlessSteps = 0;
                return m_frame.get();
            }
            ++m_state.fruitlessSteps;
        } else if (received == AVERROR_EOF) {
            m_state.decoderEnded = true;
        } else if (received != AVERROR(EAGAIN)) {
            // A decode error: the decoder has dropped that packet; go on with the next.
            ++m_state.fruitlessSteps;
        } else if (m_state.inputEnded) {
            // Draining and still asking for input: nothing more will come.
            m_state.decoderEnded = true;
        } else {
            feed(input, streamIndex);
        }
    }
    av_frame_unref(m_frame.get());
    return nullptr;
}

void FfmpegDecoder::feed(AVFormatContext& input, int streamIndex) {
    for (int foreign = 0; foreign <= kMaxForeignPackets; ++foreign) {
        if (av_read_frame(&input, m_packet.get()) < 0)
            break; // end of input, or a read error that ends it just the same
        if (m_packet->stream_index != streamIndex) {
            av_packet_unref(m_packet.get());
            continue;
        }
        // An error here (a packet the decoder refuses) only loses that packet.
        avcodec_send_packet(m_codec.get(), m_packet.get());
        av_packet_unref(m_packet.get());
        ++m_state.fruitlessSteps;
        return;
    }
    avcodec_send_packet(m_codec.get(), nullptr); // drain the frames the decoder still holds
    m_state.inputEnded = true;
}

} // namespace velmora
