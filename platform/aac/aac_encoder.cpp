#include "platform/aac/aac_encoder.h"

#include "platform/ffmpeg/ffmpeg_dictionary.h"
#include "platform/ffmpeg/ffmpeg_log.h"

#include <array>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

namespace velmora {
namespace {

// The AAC sampling-frequency table; the index goes into every header and the
// AudioSpecificConfig.
constexpr std::array<int, 13> kSampleRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                              22050, 16000, 12000, 11025, 8000,  7350};

// FFmpeg allocates each packet of its AAC encoder at this size per channel, so no frame is
// larger.
constexpr int kMaxRawBytesPerChannel = 8192;
// The 13-bit frame_length field of an ADTS header counts the header too.
constexpr int kMaxAdtsFrameBytes = 0x1FFF;
// quantqual 100 is the encoder's default lambda; the exponent keeps the top of the range below
// the lambda (about 300) where the per-frame bit ceiling makes files stop growing or shrink.
constexpr double kDefaultLambda = 120.0;
constexpr double kLambdaExponent = 0.55;
constexpr float kSampleScale = 1.0f / 32768.0f;

} // namespace

AacEncoder::AacEncoder() = default;

AacEncoder::~AacEncoder() {
    close();
}

int AacEncoder::sampleRateIndex(int sampleRate) {
    for (std::size_t i = 0; i < kSampleRates.size(); ++i) {
        if (kSampleRates[i] == sampleRate)
            return static_cast<int>(i);
    }
    return -1;
}

bool AacEncoder::open(int sampleRate, int channels) {
    close();
    silenceFfmpegLogging();
    if (sampleRateIndex(sampleRate) < 0 || (channels != 1 && channels != 2))
        return false;
    if (!avcodec_find_encoder_by_name("aac"))
        return false;
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_config = AacEncoderConfig{};
    return true;
}

void AacEncoder::close() {
    m_codec.reset();
    m_frame.reset();
    m_packet.reset();
    m_pending.clear();
    m_sampleRate = 0;
    m_channels = 0;
    m_config = AacEncoderConfig{};
    m_framesSent = 0;
    m_lastFrameSent = false;
    m_endOfStream = false;
    m_drained = false;
}

int AacEncoder::maxOutputBytes() const {
    return m_channels * kMaxRawBytesPerChannel + kAdtsHeaderBytes;
}

bool AacEncoder::validConfiguration(const AacEncoderConfig& config) const {
    const bool flags = (config.useTns == 0 || config.useTns == 1) &&
                       (config.allowMidside == 0 || config.allowMidside == 1);
    return config.aacObjectType == AacEncoderConfig::kLowComplexity &&
           (config.mpegVersion == AacEncoderConfig::kMpeg4 ||
            config.mpegVersion == AacEncoderConfig::kMpeg2) &&
           (config.outputFormat == AacEncoderConfig::kRawOutput ||
            config.outputFormat == AacEncoderConfig::kAdtsOutput) &&
           config.inputFormat == AacEncoderConfig::k16BitInput && flags && config.bandWidth >= 0 &&
           config.bandWidth <= m_sampleRate / 2 &&
           config.quantqual >= AacEncoderConfig::kMinQuantqual &&
           config.quantqual <= AacEncoderConfig::kMaxQuantqual && config.bitRate >= 0 &&
           config.shortctl >= AacEncoderConfig::kLongAndShortBlocks &&
           config.shortctl <= AacEncoderConfig::kNoLongBlocks;
}

bool AacEncoder::setConfiguration(const AacEncoderConfig& config) {
    if (!isOpen() || m_framesSent > 0 || m_endOfStream || !validConfiguration(config))
        return false;
    if (!openCodec(config)) {
        m_codec.reset();
        return false;
    }
    m_config = config;
    return true;
}

bool AacEncoder::openCodec(const AacEncoderConfig& config) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return false;
    m_codec.reset(avcodec_alloc_context3(codec));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_codec || !m_frame || !m_packet)
        return false;

    AVCodecContext& c = *m_codec;
    c.sample_rate = m_sampleRate;
    c.sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&c.ch_layout, m_channels);
    c.time_base = AVRational{1, m_sampleRate};
    c.profile = FF_PROFILE_AAC_LOW;
    c.cutoff = config.bandWidth;
    if (config.bitRate > 0) {
        c.bit_rate = static_cast<std::int64_t>(config.bitRate) * m_channels;
    } else {
        c.bit_rate = 0;
        c.flags |= AV_CODEC_FLAG_QSCALE;
        // In quality mode the encoder takes global_quality as its lambda.
        c.global_quality = static_cast<int>(
            std::lround(kDefaultLambda *
                        std::pow(config.quantqual / double{AacEncoderConfig::kDefaultQuantqual},
                                 kLambdaExponent)));
    }

    FfmpegDictionary options;
    if (!options.set("aac_tns", config.useTns != 0 ? "1" : "0") ||
        !options.set("aac_ms", config.allowMidside != 0 ? "auto" : "0"))
        return false;
    if (avcodec_open2(&c, codec, options.address()) < 0)
        return false;

    m_frame->format = AV_SAMPLE_FMT_FLTP;
    m_frame->sample_rate = m_sampleRate;
    m_frame->nb_samples = kFrameLength;
    if (av_channel_layout_copy(&m_frame->ch_layout, &c.ch_layout) < 0 ||
        av_frame_get_buffer(m_frame.get(), 0) < 0)
        return false;
    return true;
}

int AacEncoder::encode(const std::int16_t* pcm, int samples, std::uint8_t* out, int outCapacity) {
    if (!m_codec || !out || samples < 0 || samples > inputSamples() || samples % m_channels != 0)
        return -1;
    if (samples > 0) {
        // The codec pads a short frame with silence, so only the last frame may be short.
        if (!pcm || m_lastFrameSent || !sendFrame(pcm, samples))
            return -1;
    } else if (!m_endOfStream && !sendEndOfStream()) {
        return -1;
    }
    if (!receivePackets())
        return -1;
    return deliver(out, outCapacity);
}

bool AacEncoder::sendFrame(const std::int16_t* pcm, int samples) {
    AVFrame& frame = *m_frame;
    // The codec may still hold a reference to the previous frame's buffers.
    if (av_frame_make_writable(&frame) < 0)
        return false;
    const int frames = samples / m_channels;
    frame.nb_samples = frames;
    frame.pts = m_framesSent;
    for (int ch = 0; ch < m_channels; ++ch) {
        auto* plane = reinterpret_cast<float*>(frame.extended_data[ch]);
        for (int i = 0; i < frames; ++i)
            plane[i] = static_cast<float>(pcm[i * m_channels + ch]) * kSampleScale;
    }
    if (avcodec_send_frame(m_codec.get(), &frame) < 0)
        return false;
    m_framesSent += frames;
    if (frames < kFrameLength)
        m_lastFrameSent = true;
    return true;
}

bool AacEncoder::sendEndOfStream() {
    m_endOfStream = true;
    m_lastFrameSent = true;
    return avcodec_send_frame(m_codec.get(), nullptr) >= 0;
}

bool AacEncoder::receivePackets() {
    while (!m_drained) {
        const int result = avcodec_receive_packet(m_codec.get(), m_packet.get());
        if (result == AVERROR(EAGAIN))
            return true;
        if (result == AVERROR_EOF) {
            m_drained = true;
            return true;
        }
        if (result < 0)
            return false;
        m_pending.emplace_back(m_packet->data, m_packet->data + m_packet->size);
        av_packet_unref(m_packet.get());
    }
    return true;
}

int AacEncoder::deliver(std::uint8_t* out, int outCapacity) {
    if (m_pending.empty())
        return 0;
    const std::vector<std::uint8_t>& payload = m_pending.front();
    const int header =
        m_config.outputFormat == AacEncoderConfig::kAdtsOutput ? kAdtsHeaderBytes : 0;
    const int frameBytes = header + static_cast<int>(payload.size());
    if (frameBytes > outCapacity || (header > 0 && frameBytes > kMaxAdtsFrameBytes))
        return -1;
    if (header > 0)
        putAdtsHeader(out, frameBytes);
    std::memcpy(out + header, payload.data(), payload.size());
    m_pending.pop_front();
    return frameBytes;
}

void AacEncoder::putAdtsHeader(std::uint8_t* out, int frameBytes) const {
    const unsigned id = m_config.mpegVersion == AacEncoderConfig::kMpeg2 ? 1 : 0;
    const unsigned profile = static_cast<unsigned>(m_config.aacObjectType - 1);
    const auto rateIndex = static_cast<unsigned>(sampleRateIndex(m_sampleRate));
    const auto channelConfig = static_cast<unsigned>(m_channels);
    const auto length = static_cast<unsigned>(frameBytes);
    constexpr unsigned kVariableFullness = 0x7FF;
    // syncword 12, ID 1, layer 2, protection_absent 1 | profile 2, rate 4, private 1,
    // channels 3, original 1, home 1 | copyright bits 2, frame_length 13, fullness 11,
    // raw data blocks - 1: 2.
    out[0] = 0xFF;
    out[1] = static_cast<std::uint8_t>(0xF0 | id << 3 | 0x01);
    out[2] = static_cast<std::uint8_t>(profile << 6 | rateIndex << 2 | channelConfig >> 2);
    out[3] = static_cast<std::uint8_t>((channelConfig & 3) << 6 | length >> 11);
    out[4] = static_cast<std::uint8_t>(length >> 3);
    out[5] = static_cast<std::uint8_t>((length & 7) << 5 | kVariableFullness >> 6);
    out[6] = static_cast<std::uint8_t>((kVariableFullness & 0x3F) << 2);
}

std::vector<std::uint8_t> AacEncoder::decoderSpecificInfo() const {
    if (!isOpen())
        return {};
    // objectType 5 bits, rate index 4, channel configuration 4, then frameLength flag,
    // dependsOnCoreCoder and extension flag, all 0.
    const auto objectType = static_cast<unsigned>(m_config.aacObjectType);
    const auto rateIndex = static_cast<unsigned>(sampleRateIndex(m_sampleRate));
    const auto channelConfig = static_cast<unsigned>(m_channels);
    return {static_cast<std::uint8_t>(objectType << 3 | rateIndex >> 1),
            static_cast<std::uint8_t>((rateIndex & 1) << 7 | channelConfig << 3)};
}

} // namespace velmora
