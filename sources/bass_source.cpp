#include "sources/bass_source.h"

#include "platform/ascii_case.h"
#include "platform/bass/mpeg_frame_header.h"
#include "platform/regular_file.h"
#include "sources/source_tags.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

namespace velmora {
namespace {

std::string lowerExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return {};
    return lowerCaseAscii(std::string_view(path).substr(dot));
}

int clampToInt(double value) {
    if (!(value >= 0.0))
        return 0;
    return value >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

std::int16_t sampleAt(const std::uint8_t* bytes) {
    std::int16_t sample = 0;
    std::memcpy(&sample, bytes, sizeof sample);
    return sample;
}

} // namespace

BassSource::~BassSource() {
    close();
}

BassSource::SourceType BassSource::sourceTypeForPath(const std::string& path) {
    const std::string extension = lowerExtension(path);
    if (extension == ".mp3")
        return SourceType::MpegFile;
    if (extension == ".midi" || extension == ".mid" || extension == ".rmi" || extension == ".kar")
        return SourceType::Midi;
    return SourceType::Stream;
}

int BassSource::channelModeAt(const std::string& path, std::optional<std::uint64_t> offset) {
    if (!offset || *offset > static_cast<std::uint64_t>(LONG_MAX))
        return kUnknownChannelMode;
    std::FILE* file = openRegularFileStream(path);
    if (!file)
        return kUnknownChannelMode;
    std::array<std::uint8_t, MpegFrameHeader::kBytes> header{};
    const bool got = std::fseek(file, static_cast<long>(*offset), SEEK_SET) == 0 &&
                     std::fread(header.data(), 1, header.size(), file) == header.size();
    std::fclose(file);
    if (!got)
        return kUnknownChannelMode;
    return MpegFrameHeader::channelModeOf(header).value_or(kUnknownChannelMode);
}

int BassSource::averageBitrateKbps(double seconds, std::optional<std::uint64_t> fileBytes,
                                   int bitsPerSample, int sampleRate, int channels) {
    if (seconds > 0.0 && fileBytes)
        return clampToInt(static_cast<double>(*fileBytes) / (seconds * 125.0) + 0.5);
    const long long bits = static_cast<long long>(bitsPerSample) * sampleRate * channels / 1000;
    return static_cast<int>(std::clamp<long long>(bits, 0, INT_MAX));
}

void BassSource::close() {
    // Streams and modules alike free everything they hold when destroyed.
    m_stream.reset();
    m_sourceType = SourceType::Stream;
    m_path.clear();
    m_readBuffer.clear();
    m_readBuffer.shrink_to_fit();
    m_readBufferBytes = 0;
    m_id3v1Cache.reset();
    m_id3v2Cache.reset();
    AudioSource::close();
}

bool BassSource::open(const std::string& path, int renderRate) {
    close();
    m_sourceType = sourceTypeForPath(path);
    if (m_sourceType == SourceType::Midi) {
        m_stream = DecodeStream::openMidi(path, renderRate);
    } else {
        m_stream = DecodeStream::openFile(path);
        if (!m_stream) {
            m_stream = DecodeStream::loadModule(path, renderRate);
            if (m_stream)
                m_sourceType = SourceType::Module;
        }
    }
    if (!m_stream) {
        close();
        return false;
    }

    const DecodeStream& stream = *m_stream;
    m_length = stream.length();
    if (m_length == 0) {
        close();
        return false;
    }
    const double seconds = stream.bytesToSeconds(m_length);
    m_durationSeconds = clampToInt(seconds);
    const StreamInfo& info = stream.info();
    m_sampleRate = info.sampleRate;
    m_channels = info.channels;
    m_outChannels = info.channels < 2 ? 1 : 2;
    m_bitsPerSample = info.eightBit ? 8 : 16;
    m_bytesPerSample = m_bitsPerSample / 8;
    if (m_sourceType == SourceType::MpegFile)
        m_channelMode = channelModeAt(path, stream.fileStart());
    m_bitrateKbps =
        averageBitrateKbps(seconds, stream.fileEnd(), m_bitsPerSample, m_sampleRate, m_channels);

    m_readBufferBytes = static_cast<std::size_t>(m_bytesPerSample) *
                        static_cast<std::size_t>(m_outChannels) * kMaxFramesPerRead;
    m_readBuffer.assign(m_readBufferBytes, 0);
    m_path = path;
    return true;
}

int BassSource::read(std::int16_t* left, std::int16_t* right) {
    if (!m_stream || !left)
        return 0;
    if (m_channels < 2) {
        // Mono goes straight into the caller's buffer, which holds kMaxFramesPerRead samples.
        const std::int64_t bytes = m_stream->getData({asBytes(left), m_readBufferBytes});
        if (bytes <= 0)
            return 0;
        return static_cast<int>(bytes / m_bytesPerSample);
    }
    if (!right)
        return 0;
    const std::int64_t bytes = m_stream->getData(m_readBuffer);
    if (bytes <= 0)
        return 0;
    // Whole frames of `channels` samples; channels beyond the second are dropped, so more than
    // two channels give fewer frames per read (384 for six).
    const auto channels = static_cast<std::size_t>(m_channels);
    const std::size_t samples = static_cast<std::size_t>(bytes) / m_bytesPerSample;
    const std::size_t frames = samples / channels;
    if (m_bytesPerSample == 1) {
        std::uint8_t* leftBytes = asBytes(left);
        std::uint8_t* rightBytes = asBytes(right);
        for (std::size_t i = 0; i < frames; ++i) {
            leftBytes[i] = m_readBuffer[i * channels];
            rightBytes[i] = m_readBuffer[i * channels + 1];
        }
    } else {
        for (std::size_t i = 0; i < frames; ++i) {
            left[i] = sampleAt(&m_readBuffer[2 * i * channels]);
            right[i] = sampleAt(&m_readBuffer[2 * (i * channels + 1)]);
        }
    }
    return static_cast<int>(frames);
}

std::uint64_t BassSource::position() const {
    return m_stream ? m_stream->position() : 0;
}

std::span<const std::uint8_t> BassSource::id3v1Tag() const {
    if (!m_stream || m_sourceType != SourceType::MpegFile)
        return {};
    if (!m_id3v1Cache)
        m_id3v1Cache = m_stream->rawId3v1();
    return *m_id3v1Cache;
}

std::span<const std::uint8_t> BassSource::id3v2Tag() const {
    if (!m_stream || m_sourceType != SourceType::MpegFile)
        return {};
    if (!m_id3v2Cache)
        m_id3v2Cache = m_stream->rawId3v2();
    return *m_id3v2Cache;
}

bool BassSource::readTags(TagSet& tags) {
    if (!m_stream)
        return false;
    return SourceTags::readFileTags(m_path, tags);
}

} // namespace velmora
