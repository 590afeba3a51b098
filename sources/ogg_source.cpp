#include "sources/ogg_source.h"

#include "platform/regular_file.h"
#include "platform/text_encoding.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

// The header's static callback tables are not used: the file is handed over through our own
// stdio callbacks, after the regular-file check.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

namespace velmora {
namespace {

std::size_t readStream(void* out, std::size_t size, std::size_t count, void* stream) {
    return std::fread(out, size, count, static_cast<std::FILE*>(stream));
}

int seekStream(void* stream, ogg_int64_t offset, int whence) {
    return ::fseeko(static_cast<std::FILE*>(stream), static_cast<off_t>(offset), whence);
}

int closeStream(void* stream) {
    return std::fclose(static_cast<std::FILE*>(stream));
}

long tellStream(void* stream) {
    return static_cast<long>(::ftello(static_cast<std::FILE*>(stream)));
}

constexpr ov_callbacks kStdioCallbacks = {readStream, seekStream, closeStream, tellStream};

constexpr int kBytesPerSample = 2;
constexpr int kLittleEndian = 0;
constexpr int kSigned = 1;

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A comment as program text: cut at a NUL as a C string would be, cut to kMaxCommentBytes
// without splitting a character, repaired to valid UTF-8.
std::string commentText(const char* bytes, int length) {
    if (bytes == nullptr || length <= 0)
        return {};
    std::string_view text(bytes, static_cast<std::size_t>(length));
    text = text.substr(0, text.find('\0'));
    if (text.size() > OggSource::kMaxCommentBytes) {
        std::size_t cut = OggSource::kMaxCommentBytes;
        // Step back over the continuation bytes of the character the limit falls into.
        for (std::size_t back = 0; back < 3 && cut > 0 && isContinuationByte(text[cut]); ++back)
            --cut;
        text = text.substr(0, cut);
    }
    return repairUtf8(text);
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

std::int16_t sampleAt(const char* bytes) {
    std::int16_t sample = 0;
    std::memcpy(&sample, bytes, sizeof sample);
    return sample;
}

int clampToInt(double value) {
    if (!(value >= 0.0))
        return 0;
    return value >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

} // namespace

void OggSource::VorbisFileCloser::operator()(OggVorbis_File* file) const {
    ov_clear(file);
    delete file;
}

OggSource::OggSource() = default;

OggSource::~OggSource() {
    close();
}

void OggSource::close() {
    m_stream = {};
    resetBaseFields();
}

bool OggSource::open(const std::string& path, int /*renderRate*/) {
    close();
    std::FILE* stream = openRegularFileStream(path);
    if (!stream)
        return false;
    auto* raw = new OggVorbis_File{};
    // On success the library owns the stream and closes it in ov_clear; a failed open has
    // cleared the state but left the stream to us.
    if (ov_open_callbacks(stream, raw, nullptr, 0, kStdioCallbacks) < 0) {
        std::fclose(stream);
        delete raw;
        return false;
    }
    m_stream.file.reset(raw);

    const vorbis_info* info = ov_info(m_stream.file.get(), -1);
    if (info == nullptr || info->channels <= 0 || info->rate <= 0 || info->rate > INT_MAX) {
        close();
        return false;
    }
    // Links of a chained file may differ in channels: the request is sized for the link with
    // the fewest, so that no link yields more than kMaxFramesPerRead frames per read.
    int fewestChannels = info->channels;
    const long links = ov_streams(m_stream.file.get());
    for (long link = 0; link < links && link < INT_MAX; ++link) {
        const vorbis_info* linkInfo = ov_info(m_stream.file.get(), static_cast<int>(link));
        if (linkInfo == nullptr || linkInfo->channels <= 0) {
            close();
            return false;
        }
        fewestChannels = std::min(fewestChannels, linkInfo->channels);
    }
    m_stream.requestBytes =
        std::min(kInterleavedBytes, kMaxFramesPerRead * kBytesPerSample * fewestChannels);
    m_stream.interleaved.resize(kInterleavedBytes);

    keepComments();

    const ogg_int64_t rawTotal = ov_raw_total(m_stream.file.get(), -1);
    m_length = rawTotal > 0 ? static_cast<std::uint64_t>(rawTotal) : 0;
    m_durationSeconds = clampToInt(ov_time_total(m_stream.file.get(), -1));
    m_sampleRate = static_cast<int>(info->rate);
    m_channels = info->channels;
    m_outChannels = m_channels < 3 ? m_channels : 2;
    m_bitsPerSample = 16;
    m_bytesPerSample = 2;
    m_bitrateKbps = info->bitrate_nominal > 0
                        ? static_cast<int>(std::min<long>(info->bitrate_nominal / 1000, INT_MAX))
                        : 0;
    return true;
}

void OggSource::keepComments() {
    const vorbis_comment* comment = ov_comment(m_stream.file.get(), -1);
    if (comment == nullptr)
        return;
    if (comment->vendor != nullptr)
        m_stream.vendor =
            commentText(comment->vendor, static_cast<int>(std::strlen(comment->vendor) & INT_MAX));
    if (comment->user_comments == nullptr || comment->comment_lengths == nullptr)
        return;
    for (int i = 0; i < comment->comments; ++i)
        m_stream.comments.push_back(
            commentText(comment->user_comments[i], comment->comment_lengths[i]));
}

std::uint64_t OggSource::position() const {
    if (!m_stream.file)
        return 0;
    // The library's total stops at the start of the last page while its read position runs to
    // the end of the file: the position is held at the total so progress never passes 100%.
    const ogg_int64_t tell = ov_raw_tell(m_stream.file.get());
    return tell > 0 ? std::min(static_cast<std::uint64_t>(tell), m_length) : 0;
}

int OggSource::read(std::int16_t* left, std::int16_t* right) {
    if (!m_stream.file || m_stream.ended)
        return 0;
    long bytes = 0;
    int link = 0;
    for (;;) {
        bytes = ov_read(m_stream.file.get(), m_stream.interleaved.data(), m_stream.requestBytes,
                        kLittleEndian, kBytesPerSample, kSigned, &link);
        if (bytes >= 0)
            break;
        // A hole (OV_HOLE) is skipped by the next call; errors that keep coming end the stream.
        if (++m_stream.errorsInRow >= kMaxConsecutiveErrors) {
            m_stream.ended = true;
            return 0;
        }
    }
    m_stream.errorsInRow = 0;
    const vorbis_info* info = ov_info(m_stream.file.get(), link);
    if (bytes == 0 || bytes > m_stream.requestBytes || info == nullptr || info->channels <= 0) {
        m_stream.ended = true;
        return 0;
    }
    // The link's own layout: ov_read interleaves the channels of the link it decoded.
    const auto linkChannels = static_cast<std::size_t>(info->channels);
    const std::size_t stride = linkChannels * kBytesPerSample;
    const std::size_t frames = static_cast<std::size_t>(bytes) / stride;
    const std::size_t rightOffset = linkChannels >= 2 ? kBytesPerSample : 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const char* frame = m_stream.interleaved.data() + i * stride;
        left[i] = sampleAt(frame);
        if (m_outChannels == 2)
            right[i] = sampleAt(frame + rightOffset);
    }
    return static_cast<int>(frames);
}

bool OggSource::readTags(TagSet& tags) {
    tags = {};
    const std::array<std::pair<std::string_view, std::string*>, 9> fields = {{
        {"TITLE", &tags.title},
        {"ARTIST", &tags.artist},
        {"ALBUM", &tags.album},
        {"DATE", &tags.year},
        {"GENRE", &tags.genre},
        {"COMMENT", &tags.comment},
        {"TRACKNUMBER", &tags.track},
        {"COMPOSER", &tags.composer},
        {"COPYRIGHT", &tags.copyright},
    }};
    for (const std::string& comment : m_stream.comments) {
        const std::size_t equals = comment.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string_view name = std::string_view(comment).substr(0, equals);
        for (const auto& [fieldName, field] : fields)
            if (sameNameIgnoringCase(name, fieldName))
                *field = comment.substr(equals + 1);
    }
    return true;
}

} // namespace velmora
