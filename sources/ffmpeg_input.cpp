#include "sources/ffmpeg_input.h"

#include "platform/ffmpeg/ffmpeg_local_input.h"
#include "platform/ffmpeg/ffmpeg_log.h"
#include "platform/text_encoding.h"

#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
}

namespace velmora {
namespace {

// The value of `key` (case-insensitive) in the container's metadata, else in the stream's.
// Some demuxers (Ogg among them) keep the tags with the stream only.
std::string_view metadataValue(const AVFormatContext& context, const AVStream* stream,
                               const char* key) {
    for (const AVDictionary* dictionary :
         {static_cast<const AVDictionary*>(context.metadata),
          stream ? static_cast<const AVDictionary*>(stream->metadata) : nullptr}) {
        if (!dictionary)
            continue;
        const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
        if (entry && entry->value && entry->value[0] != '\0')
            return entry->value;
    }
    return {};
}

// The number that the text begins with (after blanks), when there is one and it is positive.
// "7/12" gives 7, "2021-05-03" gives 2021; a number beyond INT_MAX counts as none.
std::optional<int> leadingPositiveNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::int64_t value = 0;
    bool haveDigit = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return std::nullopt;
        haveDigit = true;
    }
    if (!haveDigit || value <= 0)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string numberText(std::string_view text) {
    const std::optional<int> number = leadingPositiveNumber(text);
    return number ? std::to_string(*number) : std::string();
}

} // namespace

FfmpegInput::~FfmpegInput() = default;

bool FfmpegInput::open(const std::string& path) {
    close();
    silenceFfmpegLogging();
    AVFormatContext* context = openLocalInput(path, nullptr);
    if (!context)
        return false;
    m_context.reset(context);
    if (avformat_find_stream_info(context, nullptr) < 0) {
        close();
        return false;
    }
    for (unsigned i = 0; i < context->nb_streams && i <= INT_MAX; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream && stream->codecpar && stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            m_audioStreamIndex = static_cast<int>(i);
            break;
        }
    }
    return true;
}

void FfmpegInput::close() {
    m_context.reset();
    m_audioStreamIndex = -1;
}

AVStream* FfmpegInput::audioStream() const {
    if (!m_context || m_audioStreamIndex < 0)
        return nullptr;
    return m_context->streams[m_audioStreamIndex];
}

std::uint64_t FfmpegInput::fileSize() const {
    if (!m_context || !m_context->pb)
        return 0;
    const std::int64_t size = avio_size(m_context->pb);
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

std::uint64_t FfmpegInput::bytePosition() const {
    if (!m_context || !m_context->pb)
        return 0;
    const std::int64_t position = avio_tell(m_context->pb);
    return position > 0 ? static_cast<std::uint64_t>(position) : 0;
}

int FfmpegInput::durationSeconds() const {
    if (!m_context || m_context->duration == AV_NOPTS_VALUE || m_context->duration <= 0)
        return 0;
    const std::int64_t seconds = m_context->duration / AV_TIME_BASE; // AV_TIME_BASE units: µs
    return seconds > INT_MAX ? INT_MAX : static_cast<int>(seconds);
}

bool FfmpegInput::readTags(TagSet& tags) const {
    tags = TagSet{};
    if (!m_context)
        return false;
    const AVFormatContext& context = *m_context;
    const AVStream* stream = audioStream();
    const auto text = [&](const char* key) {
        return repairUtf8(metadataValue(context, stream, key));
    };
    const auto firstOf = [&](const char* key, const char* fallback) {
        const std::string_view value = metadataValue(context, stream, key);
        return !value.empty() ? value : metadataValue(context, stream, fallback);
    };
    tags.title = text("title");
    tags.artist = repairUtf8(firstOf("artist", "author"));
    tags.album = text("album");
    tags.year = numberText(firstOf("date", "year"));
    tags.genre = text("genre");
    tags.comment = text("comment");
    tags.track = numberText(metadataValue(context, stream, "track"));
    tags.copyright = text("copyright");
    return tags != TagSet{};
}

} // namespace velmora
