#include "platform/mp4/mp4_file.h"

#include "platform/ffmpeg/ffmpeg_dictionary.h"
#include "platform/ffmpeg/ffmpeg_log.h"

#include <cstring>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

namespace velmora {
namespace {

constexpr std::uint32_t kOnlyTrackId = 1;

// The AAC sampling-frequency table of an AudioSpecificConfig.
constexpr int kSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                22050, 16000, 12000, 11025, 8000,  7350};

bool endsWithMp4(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    std::string extension = path.substr(dot);
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".mp4";
}

// Reads an AudioSpecificConfig bit by bit; every read past the end fails.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool read(int bits, std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < bits; ++i) {
            if (m_bit >= m_bytes.size() * 8)
                return false;
            const std::uint8_t byte = m_bytes[m_bit / 8];
            value = value << 1 | ((byte >> (7 - m_bit % 8)) & 1u);
            ++m_bit;
        }
        return true;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_bit = 0;
};

struct AudioConfig {
    int sampleRate = 0;
    int channels = 0;
};

// Rate and channel count of an AudioSpecificConfig; channels 0 when it cannot be read or
// describes its channels in a program config element instead of a channel configuration.
AudioConfig parseAudioSpecificConfig(std::span<const std::uint8_t> bytes) {
    BitReader reader(bytes);
    std::uint32_t objectType = 0;
    std::uint32_t rateIndex = 0;
    std::uint32_t channelConfig = 0;
    if (!reader.read(5, objectType))
        return {};
    if (objectType == 31 && !reader.read(6, objectType)) // escape to a 6-bit extension
        return {};
    if (!reader.read(4, rateIndex))
        return {};
    AudioConfig config;
    if (rateIndex == 0xF) {
        std::uint32_t explicitRate = 0;
        if (!reader.read(24, explicitRate))
            return {};
        config.sampleRate = static_cast<int>(explicitRate);
    } else if (rateIndex < std::size(kSampleRates)) {
        config.sampleRate = kSampleRates[rateIndex];
    } else {
        return {};
    }
    if (!reader.read(4, channelConfig) || channelConfig == 0 || channelConfig > 7)
        return {};
    config.channels = channelConfig == 7 ? 8 : static_cast<int>(channelConfig);
    return config;
}

} // namespace

Mp4File::Mp4File() = default;

Mp4File::~Mp4File() {
    close();
}

bool Mp4File::create(const std::string& path) {
    close();
    silenceFfmpegLogging();
    AVFormatContext* context = nullptr;
    const char* muxer = endsWithMp4(path) ? "mp4" : "ipod";
    if (avformat_alloc_output_context2(&context, nullptr, muxer, nullptr) < 0 || !context)
        return false;
    m_context.reset(context);
    m_packet.reset(av_packet_alloc());
    context->url = av_strdup(path.c_str());
    // No "encoder" item and no time stamps of the run: the file holds what the program wrote.
    context->flags |= AVFMT_FLAG_BITEXACT;
    // "file:" keeps a name such as "http:x.m4r" from being taken for another protocol.
    if (!m_packet || !context->url ||
        avio_open(&context->pb, ("file:" + path).c_str(), AVIO_FLAG_WRITE) < 0) {
        m_context.reset();
        m_packet.reset();
        return false;
    }
    return true;
}

void Mp4File::setTimeScale(std::uint32_t timeScale) {
    if (timeScale > 0 && timeScale <= static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        m_movieTimeScale = timeScale;
}

std::uint32_t Mp4File::addAudioTrack(std::uint32_t timeScale, std::uint64_t sampleDuration,
                                     std::uint8_t audioType) {
    if (!isOpen() || m_hasTrack || audioType != kMpeg4AudioType || timeScale == 0 ||
        timeScale > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        return kInvalidTrackId;
    AVStream* stream = avformat_new_stream(m_context.get(), nullptr);
    if (!stream)
        return kInvalidTrackId;
    stream->time_base = AVRational{1, static_cast<int>(timeScale)};
    AVCodecParameters& codec = *stream->codecpar;
    codec.codec_type = AVMEDIA_TYPE_AUDIO;
    codec.codec_id = AV_CODEC_ID_AAC;
    codec.sample_rate = static_cast<int>(timeScale);
    const bool fixedDuration =
        sampleDuration != kInvalidDuration &&
        sampleDuration <= static_cast<std::uint64_t>(std::numeric_limits<int>::max());
    codec.frame_size = fixedDuration ? static_cast<int>(sampleDuration) : 0;
    m_trackTimeScale = timeScale;
    m_hasTrack = true;
    return kOnlyTrackId;
}

void Mp4File::setAudioProfileLevel(std::uint8_t level) {
    m_profileLevel = level;
}

bool Mp4File::setTrackEsConfiguration(std::uint32_t trackId, std::span<const std::uint8_t> config) {
    if (!m_hasTrack || trackId != kOnlyTrackId || m_headerWritten)
        return false;
    const AudioConfig audio = parseAudioSpecificConfig(config);
    if (audio.channels == 0)
        return false;
    AVCodecParameters& codec = *m_context->streams[0]->codecpar;
    av_freep(&codec.extradata);
    codec.extradata_size = 0;
    codec.extradata =
        static_cast<std::uint8_t*>(av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!codec.extradata)
        return false;
    std::memcpy(codec.extradata, config.data(), config.size());
    codec.extradata_size = static_cast<int>(config.size());
    av_channel_layout_uninit(&codec.ch_layout);
    av_channel_layout_default(&codec.ch_layout, audio.channels);
    m_configured = true;
    return true;
}

bool Mp4File::writeHeader() {
    FfmpegDictionary options;
    if (!options.set("movie_timescale", std::to_string(m_movieTimeScale)))
        return false;
    if (m_profileLevel >= 0 && (!options.set("skip_iods", "0") ||
                                !options.set("iods_audio_profile", std::to_string(m_profileLevel))))
        return false;
    if (avformat_write_header(m_context.get(), options.address()) < 0)
        return false;
    m_headerWritten = true;
    return true;
}

bool Mp4File::writeSample(std::uint32_t trackId, std::span<const std::uint8_t> bytes,
                          std::uint64_t duration, std::uint64_t renderingOffset,
                          bool isSyncSample) {
    constexpr auto kMaxTime = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    if (!m_configured || trackId != kOnlyTrackId || m_failed || bytes.empty() ||
        bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
        duration > kMaxTime || renderingOffset > kMaxTime || (m_samples > 0 && renderingOffset))
        return false;
    if (!m_headerWritten && !writeHeader()) {
        m_failed = true;
        return false;
    }
    if (m_samples == 0)
        m_presentationSkip = static_cast<std::int64_t>(renderingOffset);

    AVPacket& packet = *m_packet;
    if (av_new_packet(&packet, static_cast<int>(bytes.size())) < 0) {
        m_failed = true;
        return false;
    }
    std::memcpy(packet.data, bytes.data(), bytes.size());
    // Presentation starts `skip` units into the track; libavformat turns the negative start
    // into the edit list.
    packet.pts = packet.dts = m_nextDecodeTime - m_presentationSkip;
    packet.duration = static_cast<std::int64_t>(duration);
    packet.flags = isSyncSample ? AV_PKT_FLAG_KEY : 0;
    packet.stream_index = 0;
    AVStream* stream = m_context->streams[0];
    av_packet_rescale_ts(&packet, AVRational{1, static_cast<int>(m_trackTimeScale)},
                         stream->time_base);
    const int result = av_write_frame(m_context.get(), &packet);
    av_packet_unref(&packet);
    if (result < 0) {
        m_failed = true;
        return false;
    }
    m_nextDecodeTime += static_cast<std::int64_t>(duration);
    ++m_samples;
    return true;
}

const char* Mp4File::metadataKey(TextItem item) {
    switch (item) {
    case TextItem::Name:
        return "title";
    case TextItem::Artist:
        return "artist";
    case TextItem::Album:
        return "album";
    case TextItem::Year:
        return "date";
    case TextItem::Genre:
        return "genre";
    case TextItem::Comment:
        return "comment";
    case TextItem::Writer:
        return "composer";
    }
    return "comment";
}

void Mp4File::setMetadataText(TextItem item, std::string_view utf8) {
    if (!isOpen())
        return;
    const std::string value(utf8);
    av_dict_set(&m_context->metadata, metadataKey(item), value.empty() ? nullptr : value.c_str(),
                0);
}

void Mp4File::setMetadataTrack(std::uint16_t track, std::uint16_t total) {
    if (!isOpen())
        return;
    if (track == 0) {
        av_dict_set(&m_context->metadata, "track", nullptr, 0);
        return;
    }
    const std::string value =
        total > 0 ? std::to_string(track) + "/" + std::to_string(total) : std::to_string(track);
    av_dict_set(&m_context->metadata, "track", value.c_str(), 0);
}

bool Mp4File::close() {
    if (!isOpen())
        return true;
    bool complete = !m_failed;
    // A file without samples still gets its header and an empty track, as long as the track
    // is described.
    if (!m_headerWritten && m_configured)
        complete = writeHeader() && complete;
    if (m_headerWritten)
        complete = av_write_trailer(m_context.get()) >= 0 && complete;
    else
        complete = false;
    complete = avio_closep(&m_context->pb) >= 0 && complete;
    m_context.reset();
    m_packet.reset();
    m_movieTimeScale = 1000;
    m_trackTimeScale = 0;
    m_profileLevel = -1;
    m_hasTrack = false;
    m_configured = false;
    m_headerWritten = false;
    m_failed = false;
    m_samples = 0;
    m_nextDecodeTime = 0;
    m_presentationSkip = 0;
    return complete;
}

} // namespace velmora
