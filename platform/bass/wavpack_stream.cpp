#include "platform/bass/wavpack_stream.h"

#include "platform/bass/input_file.h"
#include "platform/regular_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace velmora {
namespace {

// Frames decoded per step of the length scan.
constexpr std::uint32_t kScanFrames = 4096;
// The library wants room for an 80-character message.
constexpr std::size_t kErrorBytes = 81;

std::int16_t floatToS16(std::int32_t bits) {
    const float value = std::bit_cast<float>(bits);
    if (!(value == value))
        return 0;
    const float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

void storeS16(std::uint8_t* out, std::int16_t sample) {
    std::memcpy(out, &sample, sizeof sample);
}

} // namespace

std::unique_ptr<WavpackStream> WavpackStream::open(const std::string& path) {
    std::unique_ptr<WavpackStream> stream(new WavpackStream());
    if (!stream->start(path))
        return nullptr;
    return stream;
}

WavpackStream::~WavpackStream() {
    if (m_context)
        WavpackCloseFile(m_context);
}

WavpackContext* WavpackStream::openContext(const std::string& path) {
    std::array<char, kErrorBytes> error{};
    // The library reads standard input for the name "-"; a file of that name is "./-".
    const std::string name = path == "-" ? "./-" : path;
    // The library opens NAME and its correction file NAMEc by path itself; a correction "file"
    // that is a FIFO or device would block it, so it is only asked for when it is a regular file.
    const bool correction = checkRegularFile(name + "c") == OpenFailure::None;
    return WavpackOpenFileInput(name.c_str(), error.data(),
                                (correction ? OPEN_WVC : 0) | OPEN_NORMALIZE, 0);
}

bool WavpackStream::start(const std::string& path) {
    const auto input = InputFile::open(path);
    if (!input)
        return false;
    m_fileBytes = input->size();
    m_context = openContext(path);
    if (!m_context)
        return false;
    const int channels = WavpackGetNumChannels(m_context);
    const auto rate = WavpackGetSampleRate(m_context);
    m_bytesPerSample = WavpackGetBytesPerSample(m_context);
    m_float = (WavpackGetMode(m_context) & MODE_FLOAT) != 0;
    if (channels < 1 || channels > kMaxChannels || rate < 1 ||
        rate > static_cast<std::uint32_t>(kMaxSampleRate) || m_bytesPerSample < 1 ||
        m_bytesPerSample > 4 || (m_float && m_bytesPerSample != 4))
        return false;

    std::int64_t frames = WavpackGetNumSamples64(m_context);
    if (frames < 0) {
        // The block headers did not state the length: decode once to count, then reopen.
        m_samples.resize(static_cast<std::size_t>(kScanFrames) *
                         static_cast<std::size_t>(channels));
        frames = 0;
        for (;;) {
            const std::uint32_t got =
                WavpackUnpackSamples(m_context, m_samples.data(), kScanFrames);
            if (got == 0)
                break;
            frames += got;
        }
        WavpackCloseFile(m_context);
        m_context = openContext(path);
        if (!m_context || WavpackGetNumChannels(m_context) != channels)
            return false;
    }
    if (frames <= 0)
        return false;
    const bool eightBit = m_bytesPerSample == 1 && !m_float;
    return setFormat(StreamInfo{static_cast<int>(rate), channels, eightBit},
                     static_cast<std::uint64_t>(frames));
}

std::size_t WavpackStream::decodeFrames(std::uint8_t* out, std::size_t frames) {
    const auto channels = static_cast<std::size_t>(info().channels);
    const auto step =
        static_cast<std::uint32_t>(std::min<std::size_t>(frames, UINT32_MAX / channels));
    m_samples.resize(static_cast<std::size_t>(step) * channels);
    const std::uint32_t got = WavpackUnpackSamples(m_context, m_samples.data(), step);
    const std::size_t count = static_cast<std::size_t>(got) * channels;
    if (m_float) {
        for (std::size_t i = 0; i < count; ++i)
            storeS16(out + 2 * i, floatToS16(m_samples[i]));
    } else if (m_bytesPerSample == 1) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<std::uint8_t>(std::clamp(m_samples[i], -128, 127) + 128);
    } else {
        // Samples are right-justified in the stored width; keep the top 16 bits.
        const int shift = m_bytesPerSample * 8 - 16;
        for (std::size_t i = 0; i < count; ++i) {
            const std::int32_t value = shift > 0 ? (m_samples[i] >> shift) : m_samples[i];
            storeS16(out + 2 * i, static_cast<std::int16_t>(std::clamp(value, -32768, 32767)));
        }
    }
    return got;
}

} // namespace velmora
