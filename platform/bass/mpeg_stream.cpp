#include "platform/bass/mpeg_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace velmora {

std::unique_ptr<MpegStream> MpegStream::open(const std::string& path) {
    auto file = InputFile::open(path);
    if (!file)
        return nullptr;
    const auto layout = MpegLayout::scan(*file);
    if (!layout)
        return nullptr;
    std::unique_ptr<MpegStream> stream(new MpegStream(std::move(*file), *layout));
    if (!stream->start())
        return nullptr;
    return stream;
}

MpegStream::MpegStream(InputFile file, const MpegLayout& layout)
    : m_file(std::move(file)), m_layout(layout), m_view(std::make_unique<AudioView>()) {
    m_view->file = &m_file;
    m_view->begin = layout.audioStart;
    m_view->end = layout.audioEnd;
}

MpegStream::~MpegStream() {
    if (m_decoder) {
        mpg123_close(m_decoder);
        mpg123_delete(m_decoder);
    }
}

bool MpegStream::start() {
    int error = MPG123_OK;
    m_decoder = mpg123_new(nullptr, &error);
    if (!m_decoder)
        return false;
    // Quiet: a damaged frame is not worth a line on the terminal. Gapless: the encoder delay
    // and padding that a LAME/Info frame records are cut, so the length is the encoded audio.
    // No Frankenstein streams: a header that changes the format in mid-stream (a damaged one,
    // as a rule) is treated as lost sync instead of a new format.
    if (mpg123_param(m_decoder, MPG123_ADD_FLAGS,
                     MPG123_QUIET | MPG123_GAPLESS | MPG123_NO_FRANKENSTEIN, 0.0) != MPG123_OK)
        return false;
    // Always signed 16-bit, at the stream's own rate and channel count.
    mpg123_format_none(m_decoder);
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i)
        mpg123_format(m_decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

    if (mpg123_replace_reader_handle(m_decoder, &MpegStream::readView, &MpegStream::seekView,
                                     nullptr) != MPG123_OK ||
        mpg123_open_handle(m_decoder, m_view.get()) != MPG123_OK)
        return false;
    int encoding = 0;
    if (mpg123_getformat(m_decoder, &m_rate, &m_channels, &encoding) != MPG123_OK ||
        encoding != MPG123_ENC_SIGNED_16 || m_rate <= 0 || m_channels < 1 || m_channels > 2)
        return false;
    // The scan reads every frame header once: the exact length, at the cost of one pass over
    // the file. It returns the decoder to the first frame.
    if (mpg123_scan(m_decoder) != MPG123_OK)
        return false;
    const off_t samples = mpg123_length(m_decoder);
    if (samples <= 0)
        return false;
    return setFormat(StreamInfo{static_cast<int>(m_rate), m_channels, false},
                     static_cast<std::uint64_t>(samples));
}

std::size_t MpegStream::decodeFrames(std::uint8_t* out, std::size_t frames) {
    const std::size_t frameSize = frameBytes();
    std::size_t made = 0;
    while (made < frames * frameSize) {
        std::size_t done = 0;
        const int result = mpg123_read(m_decoder, out + made, frames * frameSize - made, &done);
        made += done;
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            // The format announced at open is the only one delivered; a change (which the
            // decoder should already refuse, see above) ends the stream.
            if (mpg123_getformat(m_decoder, &rate, &channels, &encoding) != MPG123_OK ||
                rate != m_rate || channels != m_channels)
                break;
            continue;
        }
        if (result != MPG123_OK || done == 0)
            break;
    }
    return made / frameSize;
}

std::vector<std::uint8_t> MpegStream::rawId3v1() const {
    if (!m_layout.hasId3v1)
        return {};
    std::vector<std::uint8_t> tag(128);
    if (!m_file.readAt(m_file.size() - tag.size(), tag))
        return {};
    return tag;
}

std::vector<std::uint8_t> MpegStream::rawId3v2() const {
    // The layout check made sure the tag lies inside the file.
    if (m_layout.id3v2Bytes == 0 || m_layout.id3v2Bytes > m_file.size())
        return {};
    std::vector<std::uint8_t> tag(static_cast<std::size_t>(m_layout.id3v2Bytes));
    if (!m_file.readAt(0, tag))
        return {};
    return tag;
}

mpg123_ssize_t MpegStream::readView(void* handle, void* buffer, std::size_t bytes) {
    auto* view = static_cast<AudioView*>(handle);
    return static_cast<mpg123_ssize_t>(view->read(static_cast<std::uint8_t*>(buffer), bytes));
}

std::size_t MpegStream::AudioView::read(std::uint8_t* out, std::size_t bytes) {
    const std::uint64_t size = end - begin;
    if (position >= size)
        return 0;
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes, size - position));
    // A request as large as the window gains nothing from it.
    if (wanted >= kReadAheadBytes) {
        const std::size_t got = file->readUpTo(begin + position, {out, wanted});
        position += got;
        return got;
    }
    std::size_t done = 0;
    while (done < wanted) {
        // position >= windowStart is checked first, so the subtraction cannot wrap.
        if (position < windowStart || position - windowStart >= windowBytes) {
            window.resize(kReadAheadBytes);
            const std::size_t span =
                static_cast<std::size_t>(std::min<std::uint64_t>(kReadAheadBytes, size - position));
            windowStart = position;
            windowBytes = file->readUpTo(begin + position, {window.data(), span});
            if (windowBytes == 0)
                break;
        }
        const auto offset = static_cast<std::size_t>(position - windowStart);
        const std::size_t count = std::min(wanted - done, windowBytes - offset);
        std::memcpy(out + done, window.data() + offset, count);
        done += count;
        position += count;
    }
    return done;
}

off_t MpegStream::seekView(void* handle, off_t offset, int whence) {
    auto* view = static_cast<AudioView*>(handle);
    const auto size = static_cast<std::int64_t>(view->end - view->begin);
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
        base = static_cast<std::int64_t>(view->position);
    else if (whence == SEEK_END)
        base = size;
    else if (whence != SEEK_SET)
        return -1;
    // Offsets come from the decoder and stay within the file; still refuse anything outside.
    if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) ||
        base + offset < 0 || base + offset > size)
        return -1;
    view->position = static_cast<std::uint64_t>(base + offset);
    return static_cast<off_t>(view->position);
}

} // namespace velmora
