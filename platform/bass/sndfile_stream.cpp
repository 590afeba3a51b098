#include "platform/bass/sndfile_stream.h"

#include "platform/ascii_case.h"
#include "platform/bass/input_file.h"
#include "platform/bass/mpeg_layout.h"
#include "platform/regular_file.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

namespace velmora {
namespace {

// Frames decoded per step of the length scan.
constexpr sf_count_t kScanFrames = 4096;

// Names the library takes for MPEG audio when it does not recognise the file's header; its MPEG
// decoder would then hunt for frames in anything and report damage on the terminal.
bool hasMpegExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    const std::string extension = lowerCaseAscii(std::string_view(path).substr(dot + 1));
    return extension == "mp1" || extension == "mp2" || extension == "mp3" || extension == "mpa" ||
           extension == "mpga" || extension == "mpeg";
}

bool isEightBit(const SF_INFO& info) {
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_S8;
}

// Frames of a stream whose header does not state them, counted by decoding it once.
std::uint64_t countFrames(SNDFILE* file, int channels) {
    std::vector<short> scratch(static_cast<std::size_t>(kScanFrames) *
                               static_cast<std::size_t>(channels));
    std::uint64_t frames = 0;
    for (;;) {
        const sf_count_t got = sf_readf_short(file, scratch.data(), kScanFrames);
        if (got <= 0)
            return frames;
        frames += static_cast<std::uint64_t>(got);
    }
}

} // namespace

std::unique_ptr<SndfileStream> SndfileStream::open(const std::string& path) {
    std::unique_ptr<SndfileStream> stream(new SndfileStream());
    if (!stream->start(path))
        return nullptr;
    return stream;
}

SndfileStream::~SndfileStream() {
    if (m_file)
        sf_close(m_file);
}

SNDFILE* SndfileStream::openChecked(const std::string& path, SF_INFO& info) {
    // The library gets the descriptor that passed the regular-file check, so the path cannot be
    // swapped for a FIFO in between. It owns the descriptor from then on: it closes it when it
    // cannot open the file even when told not to, so a descriptor kept here as well would be
    // closed a second time, perhaps after another thread had been given the same number.
    if (m_file) {
        sf_close(m_file);
        m_file = nullptr;
    }
    OpenedFile opened = openRegularFile(path);
    if (!opened.ok())
        return nullptr;
    // Opening writes the library's global error text and log; files opened on several
    // conversion threads at once would write them together.
    static std::mutex openMutex;
    const std::lock_guard lock(openMutex);
    return sf_open_fd(opened.descriptor.release(), SFM_READ, &info, SF_TRUE);
}

bool SndfileStream::start(const std::string& path) {
    // The input file check refuses folders, devices and FIFOs before the library sees them.
    const auto input = InputFile::open(path);
    if (!input)
        return false;
    m_fileBytes = input->size();
    // MPEG audio is MpegStream's alone: a file named like MPEG audio is read here only when it
    // is in fact one of the containers this library reads (a WAV file misnamed, say).
    if (hasMpegExtension(path) && !MpegLayout::startsLikeOtherContainer(*input))
        return false;

    m_file = openChecked(path, m_sfInfo);
    if (!m_file)
        return false;
    if ((m_sfInfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG)
        return false;
    if (m_sfInfo.channels < 1 || m_sfInfo.channels > kMaxChannels || m_sfInfo.samplerate < 1 ||
        m_sfInfo.samplerate > kMaxSampleRate)
        return false;
    // Float material beyond full scale is clipped rather than wrapped around.
    sf_command(m_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

    std::uint64_t frames = 0;
    if (m_sfInfo.frames > 0 && m_sfInfo.frames != SF_COUNT_MAX) {
        frames = static_cast<std::uint64_t>(m_sfInfo.frames);
    } else {
        // No length in the header (a streamed FLAC, for one): decode once to count, then start
        // again from a fresh handle.
        frames = countFrames(m_file, m_sfInfo.channels);
        SF_INFO again{};
        m_file = openChecked(path, again);
        if (!m_file || again.channels != m_sfInfo.channels ||
            again.samplerate != m_sfInfo.samplerate)
            return false;
        sf_command(m_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    if (frames == 0)
        return false;
    const bool eightBit = isEightBit(m_sfInfo);
    return setFormat(StreamInfo{m_sfInfo.samplerate, m_sfInfo.channels, eightBit}, frames);
}

std::size_t SndfileStream::decodeFrames(std::uint8_t* out, std::size_t frames) {
    const auto channels = static_cast<std::size_t>(m_sfInfo.channels);
    // Decoded through a buffer of shorts: the caller's byte buffer carries no alignment promise.
    m_samples.resize(frames * channels);
    const sf_count_t got =
        sf_readf_short(m_file, m_samples.data(), static_cast<sf_count_t>(frames));
    if (got <= 0)
        return 0;
    const std::size_t count = static_cast<std::size_t>(got) * channels;
    if (!info().eightBit) {
        std::memcpy(out, m_samples.data(), count * sizeof(short));
    } else {
        // The library widens 8-bit samples to value × 256 (signed); the unsigned byte is the
        // high byte moved up by 128.
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<std::uint8_t>((m_samples[i] >> 8) + 128);
    }
    return static_cast<std::size_t>(got);
}

} // namespace velmora
