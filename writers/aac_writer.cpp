#include "writers/aac_writer.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {
namespace {

// Writes all of `size` bytes, riding over short writes and signals.
bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, bytes, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

} // namespace

AacWriter::~AacWriter() {
    close();
}

bool AacWriter::open(const std::string& path, int sampleRate, int channels, int bitsPerSample) {
    close();
    if (bitsPerSample != 8 && bitsPerSample != 16)
        return false;
    // The encoder first: a format it refuses leaves no file behind.
    if (!m_encoder.open(sampleRate, channels))
        return false;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_encoder.close();
        return false;
    }
    AacEncoderConfig& config = m_encoder.currentConfiguration();
    config.aacObjectType = AacEncoderConfig::kLowComplexity;
    config.mpegVersion = AacEncoderConfig::kMpeg4;
    config.useTns = 0;
    config.allowMidside = 1;
    config.bandWidth = 0;
    config.outputFormat = AacEncoderConfig::kAdtsOutput;
    config.inputFormat = AacEncoderConfig::k16BitInput;
    m_channels = channels;
    m_bitsPerSample = bitsPerSample;
    return true;
}

bool AacWriter::start() {
    if (m_fd < 0 || m_started || !m_encoder.setConfiguration(m_encoder.currentConfiguration()))
        return false;
    m_pcm.reset(m_channels, m_encoder.inputSamples());
    m_outBuffer.assign(static_cast<std::size_t>(m_encoder.maxOutputBytes()), 0);
    m_started = true;
    return true;
}

bool AacWriter::write16(const std::int16_t* left, const std::int16_t* right, int frames) {
    if (!m_started || m_failed)
        return false;
    return m_pcm.append16(left, right, frames, [this](const std::int16_t* pcm, int samples) {
        return encodeFrame(pcm, samples);
    });
}

bool AacWriter::write8(const std::uint8_t* left, const std::uint8_t* right, int frames) {
    if (!m_started || m_failed)
        return false;
    return m_pcm.append8(left, right, frames, [this](const std::int16_t* pcm, int samples) {
        return encodeFrame(pcm, samples);
    });
}

bool AacWriter::encodeFrame(const std::int16_t* pcm, int samples) {
    const int bytes =
        m_encoder.encode(pcm, samples, m_outBuffer.data(), static_cast<int>(m_outBuffer.size()));
    if (bytes < 0 || (bytes > 0 && !writeFrame(bytes))) {
        m_failed = true;
        return false;
    }
    return true;
}

bool AacWriter::writeFrame(int bytes) {
    return writeAll(m_fd, m_outBuffer.data(), static_cast<std::size_t>(bytes));
}

void AacWriter::flush() {
    // The short last frame, then everything the encoder still holds: an input shorter than
    // the encoder's delay comes out only while draining.
    if (m_pcm.count() > 0) {
        const int samples = m_pcm.count();
        m_pcm.clear();
        if (!encodeFrame(m_pcm.data(), samples))
            return;
    }
    for (;;) {
        const int bytes =
            m_encoder.encode(nullptr, 0, m_outBuffer.data(), static_cast<int>(m_outBuffer.size()));
        if (bytes == 0)
            return;
        if (bytes < 0 || !writeFrame(bytes)) {
            m_failed = true;
            return;
        }
    }
}

bool AacWriter::close() {
    if (m_fd < 0)
        return true;
    if (m_started && !m_failed)
        flush();
    bool finished = m_started && !m_failed;
    finished = ::close(m_fd) == 0 && finished;
    m_fd = -1;
    m_encoder.close();
    m_pcm.reset(0, 0);
    m_outBuffer.clear();
    m_outBuffer.shrink_to_fit();
    m_channels = 0;
    m_bitsPerSample = 0;
    m_started = false;
    m_failed = false;
    return finished;
}

} // namespace velmora
