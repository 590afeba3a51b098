#include "platform/wmf/wmf_writer.h"

#include "platform/wmf/asf_file_properties.h"

#include <algorithm>
#include <climits>
#include <taglib/asfattribute.h>
#include <taglib/asffile.h>
#include <taglib/asftag.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

namespace velmora {
namespace {

constexpr const char* kContainer = "asf";

TagLib::String utf8(const std::string& text) {
    return TagLib::String(text, TagLib::String::UTF8);
}

} // namespace

WmfWriter::WmfWriter() = default;

WmfWriter::~WmfWriter() {
    release();
}

bool WmfWriter::isWriting() const {
    return m_file != nullptr;
}

bool WmfWriter::setProfile(const WmfMediaType& format, std::uint32_t bitRate) {
    if (format.formatTag != WmfCodecInfo::kWmaFormatTag || format.sampleRate <= 0 ||
        format.channels < 1 || format.channels > 2 || bitRate == 0 || bitRate > INT_MAX)
        return false;
    m_format = format;
    m_bitRate = bitRate;
    return true;
}

bool WmfWriter::setInputProps(int sampleRate, int bitsPerSample, int channels) {
    if (sampleRate <= 0 || (bitsPerSample != 8 && bitsPerSample != 16) || channels < 1 ||
        channels > 2)
        return false;
    m_inRate = sampleRate;
    m_inBits = bitsPerSample;
    m_inChannels = channels;
    return true;
}

void WmfWriter::setAttribute(const std::string& name, const std::string& text) {
    m_attributes.push_back({name, text, 0, false});
}

void WmfWriter::setAttribute(const std::string& name, std::uint32_t number) {
    m_attributes.push_back({name, {}, number, true});
}

void WmfWriter::closeContexts() {
    m_packet.reset();
    m_frame.reset();
    m_fifo.reset();
    m_converter.reset();
    m_encoder.reset();
    m_file.reset();
}

void WmfWriter::release() {
    closeContexts();
    for (auto& plane : m_converted)
        plane = {};
    m_samplesEncoded = 0;
    m_lastTime = 0;
    m_anySample = false;
    m_path.clear();
    m_format = {};
    m_bitRate = 0;
    m_inRate = m_inBits = m_inChannels = 0;
    m_attributes.clear();
}

bool WmfWriter::openEncoder() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec)
        return false;
    m_encoder.reset(avcodec_alloc_context3(codec));
    if (!m_encoder)
        return false;
    AVCodecContext& encoder = *m_encoder;
    encoder.sample_rate = m_format.sampleRate;
    av_channel_layout_default(&encoder.ch_layout, m_format.channels);
    encoder.sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder.bit_rate = m_bitRate;
    encoder.time_base = {1, m_format.sampleRate};
    if (m_file->oformat->flags & AVFMT_GLOBALHEADER)
        encoder.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return avcodec_open2(&encoder, codec, nullptr) >= 0 && encoder.frame_size > 0;
}

bool WmfWriter::openFile(const std::string& path) {
    AVStream* stream = avformat_new_stream(m_file.get(), nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, m_encoder.get()) < 0)
        return false;
    stream->time_base = m_encoder->time_base;
    if (avio_open(&m_file->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        return false;
    return avformat_write_header(m_file.get(), nullptr) >= 0;
}

bool WmfWriter::openConverter() {
    AVChannelLayout inLayout;
    AVChannelLayout outLayout;
    av_channel_layout_default(&inLayout, m_inChannels);
    av_channel_layout_default(&outLayout, m_format.channels);
    SwrContext* converter = nullptr;
    const AVSampleFormat inFormat = m_inBits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
    const int made =
        swr_alloc_set_opts2(&converter, &outLayout, AV_SAMPLE_FMT_FLTP, m_format.sampleRate,
                            &inLayout, inFormat, m_inRate, 0, nullptr);
    m_converter.reset(converter);
    if (made < 0 || !m_converter)
        return false;
    // The library's own downmix weighs channels by 1/sqrt(2); the runtime folds to the plain
    // average and copies a mono input into both channels.
    if (m_inChannels == 2 && m_format.channels == 1) {
        const double fold[2] = {0.5, 0.5};
        if (swr_set_matrix(m_converter.get(), fold, 2) < 0)
            return false;
    } else if (m_inChannels == 1 && m_format.channels == 2) {
        const double spread[2] = {1.0, 1.0};
        if (swr_set_matrix(m_converter.get(), spread, 1) < 0)
            return false;
    }
    return swr_init(m_converter.get()) >= 0;
}

bool WmfWriter::beginWriting(const std::string& path) {
    if (isWriting() || m_bitRate == 0 || m_inRate == 0)
        return false;
    AVFormatContext* file = nullptr;
    if (avformat_alloc_output_context2(&file, nullptr, kContainer, nullptr) < 0 || !file)
        return false;
    m_file.reset(file);
    // Without this the muxer adds an encoder attribute of its own to the header.
    m_file->flags |= AVFMT_FLAG_BITEXACT;
    m_path = path;
    m_creationTime = AsfFileProperties::fileTimeNow();
    m_fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, m_format.channels, 4096));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    bool ready =
        m_fifo && m_frame && m_packet && openEncoder() && openFile(path) && openConverter();
    if (ready) {
        AVFrame& frame = *m_frame;
        frame.format = AV_SAMPLE_FMT_FLTP;
        frame.sample_rate = m_format.sampleRate;
        frame.nb_samples = m_encoder->frame_size;
        ready = av_channel_layout_copy(&frame.ch_layout, &m_encoder->ch_layout) >= 0 &&
                av_frame_get_buffer(&frame, 0) >= 0;
    }
    if (!ready) {
        closeContexts();
        return false;
    }
    m_samplesEncoded = 0;
    m_anySample = false;
    return true;
}

bool WmfWriter::convert(const std::uint8_t* input, int frames) {
    const int capacity = swr_get_out_samples(m_converter.get(), frames);
    if (capacity < 0)
        return false;
    if (capacity == 0)
        return true;
    for (int c = 0; c < m_format.channels; ++c)
        if (m_converted[c].size() < static_cast<std::size_t>(capacity))
            m_converted[c].resize(static_cast<std::size_t>(capacity));
    std::uint8_t* out[2] = {reinterpret_cast<std::uint8_t*>(m_converted[0].data()),
                            reinterpret_cast<std::uint8_t*>(m_converted[1].data())};
    const std::uint8_t* in[1] = {input};
    const int produced =
        swr_convert(m_converter.get(), out, capacity, input ? in : nullptr, input ? frames : 0);
    if (produced < 0)
        return false;
    return produced == 0 ||
           av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(out), produced) == produced;
}

bool WmfWriter::sendToEncoder(const AVFrame* frame) {
    if (avcodec_send_frame(m_encoder.get(), frame) < 0)
        return false;
    AVStream* stream = m_file->streams[0];
    for (;;) {
        const int received = avcodec_receive_packet(m_encoder.get(), m_packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return true;
        if (received < 0)
            return false;
        m_packet->stream_index = stream->index;
        av_packet_rescale_ts(m_packet.get(), m_encoder->time_base, stream->time_base);
        if (av_interleaved_write_frame(m_file.get(), m_packet.get()) < 0)
            return false;
    }
}

bool WmfWriter::encodeFrame(int samples) {
    AVFrame& frame = *m_frame;
    if (av_frame_make_writable(&frame) < 0)
        return false;
    const int frameSize = m_encoder->frame_size;
    if (samples > 0 &&
        av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void**>(frame.data), samples) != samples)
        return false;
    // The encoder takes whole frames only; a short last one is filled with silence.
    for (int c = 0; c < m_format.channels; ++c) {
        float* plane = reinterpret_cast<float*>(frame.data[c]);
        std::fill(plane + samples, plane + frameSize, 0.0f);
    }
    frame.nb_samples = frameSize;
    frame.pts = m_samplesEncoded;
    m_samplesEncoded += frameSize;
    return sendToEncoder(&frame);
}

bool WmfWriter::encodeWaiting(bool all) {
    const int frameSize = m_encoder->frame_size;
    while (av_audio_fifo_size(m_fifo.get()) >= frameSize)
        if (!encodeFrame(frameSize))
            return false;
    const int rest = av_audio_fifo_size(m_fifo.get());
    return !all || rest == 0 || encodeFrame(rest);
}

bool WmfWriter::writeSample(std::span<const std::uint8_t> pcm, std::uint64_t time) {
    if (!isWriting())
        return false;
    const std::size_t blockAlign = static_cast<std::size_t>(m_inBits / 8 * m_inChannels);
    if (pcm.size() % blockAlign != 0 || pcm.size() / blockAlign > INT_MAX)
        return false;
    if (m_anySample && time < m_lastTime)
        return false;
    m_anySample = true;
    m_lastTime = time;
    const auto frames = static_cast<int>(pcm.size() / blockAlign);
    return frames == 0 || (convert(pcm.data(), frames) && encodeWaiting(false));
}

bool WmfWriter::endWriting() {
    if (!isWriting())
        return false;
    // What the resampler holds back, the padded last frame, then one frame of silence: the
    // encoder keeps its last frame's worth of audio back and would drop it on the flush.
    bool whole = true;
    for (int drained = 1; whole && drained > 0;) {
        const int before = av_audio_fifo_size(m_fifo.get());
        whole = convert(nullptr, 0);
        drained = av_audio_fifo_size(m_fifo.get()) - before;
    }
    whole = whole && encodeWaiting(true) && encodeFrame(0) && sendToEncoder(nullptr);
    whole = av_write_trailer(m_file.get()) >= 0 && whole;
    whole = avio_closep(&m_file->pb) >= 0 && whole;
    closeContexts();
    // The attributes go in once the audio is complete: the muxer's own metadata would turn the
    // track number into text and keep the description out of the content description. Like the
    // runtime's attribute calls, their outcome does not decide the file's.
    if (whole) {
        writeAttributes();
        whole = stampFileProperties();
    }
    release();
    return whole;
}

bool WmfWriter::stampFileProperties() const {
    AsfFileProperties::Guid fileId{};
    return AsfFileProperties::freshGuid(fileId) &&
           AsfFileProperties::stamp(m_path, fileId, m_creationTime);
}

bool WmfWriter::writeAttributes() const {
    TagLib::ASF::File file(m_path.c_str(), false);
    TagLib::ASF::Tag* tag = file.tag();
    if (!file.isValid() || !tag)
        return false;
    for (const Attribute& attribute : m_attributes) {
        if (attribute.isNumber) {
            tag->setAttribute(utf8(attribute.name), TagLib::ASF::Attribute(attribute.number));
            continue;
        }
        const TagLib::String text = utf8(attribute.text);
        if (attribute.name == "Title")
            tag->setTitle(text);
        else if (attribute.name == "Author")
            tag->setArtist(text);
        else if (attribute.name == "Description")
            tag->setComment(text);
        else if (attribute.name == "Copyright")
            tag->setCopyright(text);
        else
            tag->setAttribute(utf8(attribute.name), TagLib::ASF::Attribute(text));
    }
    return file.save();
}

} // namespace velmora
