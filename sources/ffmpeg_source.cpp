#include "sources/ffmpeg_source.h"

#include "platform/float_sample.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace velmora {
namespace {

// A damaged file ends after this many packets, decode errors and empty frames in a row without
// a single decoded sample. Real decoders need a handful at most (priming, delay).
constexpr int kMaxFruitlessSteps = 1000;
// Packets of other streams (video, subtitles) read in a row while looking for the next audio
// packet; an hour of 30 fps video between two audio packets is about 108000.
constexpr int kMaxForeignPackets = 1 << 20;

// Owns an option dictionary; avcodec_open2 takes out the entries the decoder knows.
struct Options {
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() { av_dict_free(&dictionary); }
    AVDictionary* dictionary = nullptr;
};

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

// One stored sample of a packed format (the planar ones store the same per plane) as a signed
// 16-bit sample.
std::int16_t sample16(const std::uint8_t* stored, AVSampleFormat packedFormat) {
    switch (packedFormat) {
    case AV_SAMPLE_FMT_U8:
        return static_cast<std::int16_t>((stored[0] - 128) * 256);
    case AV_SAMPLE_FMT_S16: {
        std::int16_t value = 0;
        std::memcpy(&value, stored, sizeof value);
        return value;
    }
    case AV_SAMPLE_FMT_S32: {
        std::int32_t value = 0;
        std::memcpy(&value, stored, sizeof value);
        return static_cast<std::int16_t>(value >> 16);
    }
    case AV_SAMPLE_FMT_S64: {
        std::int64_t value = 0;
        std::memcpy(&value, stored, sizeof value);
        return static_cast<std::int16_t>(value >> 48);
    }
    case AV_SAMPLE_FMT_FLT: {
        float value = 0;
        std::memcpy(&value, stored, sizeof value);
        return floatToSample(static_cast<double>(value));
    }
    case AV_SAMPLE_FMT_DBL: {
        double value = 0;
        std::memcpy(&value, stored, sizeof value);
        return floatToSample(value);
    }
    default:
        return 0;
    }
}

// The same as an unsigned 8-bit sample. Only a stream whose format changes after open needs the
// narrowing: 8-bit output is chosen for 8-bit decoders.
std::uint8_t sample8(const std::uint8_t* stored, AVSampleFormat packedFormat) {
    if (packedFormat == AV_SAMPLE_FMT_U8)
        return stored[0];
    return static_cast<std::uint8_t>((sample16(stored, packedFormat) >> 8) + 128);
}

// The frames of a decoded frame that can be read without leaving its buffers; 0 when none.
// linesize[0] is the size in bytes of each plane (of the one buffer when interleaved).
int usableFrames(const AVFrame& frame) {
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
    const int planesRead = planar ? std::min(channels, 2) : 1;
    for (int plane = 0; plane < planesRead; ++plane)
        if (!frame.extended_data[plane])
            return 0;
    return frame.nb_samples;
}

} // namespace

void FfmpegSource::CodecContextFreer::operator()(AVCodecContext* context) const {
    avcodec_free_context(&context);
}

void FfmpegSource::FrameFreer::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

void FfmpegSource::PacketFreer::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

FfmpegSource::~FfmpegSource() = default;

void FfmpegSource::close() {
    m_frame.reset();
    m_packet.reset();
    m_codec.reset();
    m_input.close();
    m_frameLength = 0;
    m_frameCursor = 0;
    m_inputEnded = false;
    m_decoderEnded = false;
    m_fruitlessSteps = 0;
    AudioSource::close();
}

bool FfmpegSource::open(const std::string& path, int /*renderRate*/) {
    close();
    const auto fail = [this] {
        close();
        return false;
    };
    if (!m_input.open(path))
        return fail();
    const AVStream* stream = m_input.audioStream();
    if (!stream)
        return fail();
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder)
        return fail();
    m_codec.reset(avcodec_alloc_context3(decoder));
    if (!m_codec || avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0)
        return fail();
    // Decoders that honour priming and end trimming read them in this time base.
    m_codec->pkt_timebase = stream->time_base;
    const int materialChannels = stream->codecpar->ch_layout.nb_channels;
    Options options;
    if (materialChannels > 2 && av_dict_set(&options.dictionary, "downmix", "stereo", 0) < 0)
        return fail();
    if (avcodec_open2(m_codec.get(), decoder, &options.dictionary) < 0)
        return fail();
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_packet || !m_frame)
        return fail();

    // channels() describes the material; a decoder's stereo downmix only changes what is
    // delivered, and outChannels() is 2 either way.
    m_channels = materialChannels > 0 ? materialChannels : m_codec->ch_layout.nb_channels;
    m_sampleRate = m_codec->sample_rate;
    if (m_channels <= 0 || m_sampleRate <= 0)
        return fail();
    m_outChannels = m_channels > 1 ? 2 : 1;
    m_channelMode = m_channels < 2 ? 3 : 0;
    const std::int64_t kbps = m_codec->bit_rate > 0 ? m_codec->bit_rate / 1000 : 0;
    m_bitrateKbps = kbps > INT_MAX ? INT_MAX : static_cast<int>(kbps);
    const AVSampleFormat format = av_get_packed_sample_fmt(m_codec->sample_fmt);
    m_bitsPerSample = format == AV_SAMPLE_FMT_U8 ? 8 : 16;
    m_bytesPerSample = m_bitsPerSample / 8;
    m_length = m_input.fileSize();
    m_position = m_input.bytePosition();
    m_durationSeconds = m_input.durationSeconds();
    return true;
}

int FfmpegSource::read(std::int16_t* left, std::int16_t* right) {
    if (!m_codec || !left || (m_outChannels == 2 && !right))
        return 0;
    int frames = 0;
    while (frames < kMaxFramesPerRead) {
        if (m_frameCursor < m_frameLength) {
            frames += deliver(left, right, frames);
            continue;
        }
        if (!decodeNextFrame())
            break;
    }
    m_position = m_input.bytePosition();
    return frames;
}

bool FfmpegSource::readTags(TagSet& tags) {
    return m_input.readTags(tags);
}

bool FfmpegSource::decodeNextFrame() {
    m_frameLength = 0;
    m_frameCursor = 0;
    while (!m_decoderEnded) {
        if (m_fruitlessSteps > kMaxFruitlessSteps) {
            m_decoderEnded = true;
            break;
        }
        av_frame_unref(m_frame.get());
        const int received = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (received == 0) {
            m_frameLength = usableFrames(*m_frame);
            if (m_frameLength > 0) {
                m_fruitlessSteps = 0;
                return true;
            }
            ++m_fruitlessSteps;
        } else if (received == AVERROR_EOF) {
            m_decoderEnded = true;
        } else if (received != AVERROR(EAGAIN)) {
            // A decode error: the decoder has dropped that packet; go on with the next.
            ++m_fruitlessSteps;
        } else if (m_inputEnded) {
            // Draining and still asking for input: nothing more will come.
            m_decoderEnded = true;
        } else {
            feedDecoder();
        }
    }
    av_frame_unref(m_frame.get());
    return false;
}

void FfmpegSource::feedDecoder() {
    AVFormatContext* context = m_input.context();
    const int audioStream = m_input.audioStreamIndex();
    for (int foreign = 0; foreign <= kMaxForeignPackets; ++foreign) {
        if (av_read_frame(context, m_packet.get()) < 0)
            break; // end of input, or a read error that ends it just the same
        if (m_packet->stream_index != audioStream) {
            av_packet_unref(m_packet.get());
            continue;
        }
        // An error here (a packet the decoder refuses) only loses that packet.
        avcodec_send_packet(m_codec.get(), m_packet.get());
        av_packet_unref(m_packet.get());
        ++m_fruitlessSteps;
        return;
    }
    avcodec_send_packet(m_codec.get(), nullptr); // drain the frames the decoder still holds
    m_inputEnded = true;
}

int FfmpegSource::deliver(std::int16_t* left, std::int16_t* right, int offset) {
    const AVFrame& frame = *m_frame;
    const int count = std::min(m_frameLength - m_frameCursor, kMaxFramesPerRead - offset);
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const auto bytes = static_cast<std::size_t>(av_get_bytes_per_sample(format));
    const auto channels = static_cast<std::size_t>(frame.ch_layout.nb_channels);
    // A mono frame in a stereo stream gives the same samples to both sides.
    const std::size_t second = channels > 1 ? 1 : 0;
    const auto at = [&](std::size_t channel, std::size_t index) -> const std::uint8_t* {
        return planar ? frame.extended_data[channel] + index * bytes
                      : frame.extended_data[0] + (index * channels + channel) * bytes;
    };
    const bool stereo = m_outChannels == 2;
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(m_frameCursor + i);
        const auto target = static_cast<std::size_t>(offset + i);
        if (m_bitsPerSample == 8) {
            asBytes(left)[target] = sample8(at(0, index), packed);
            if (stereo)
                asBytes(right)[target] = sample8(at(second, index), packed);
        } else {
            left[target] = sample16(at(0, index), packed);
            if (stereo)
                right[target] = sample16(at(second, index), packed);
        }
    }
    m_frameCursor += count;
    return count;
}

} // namespace velmora
