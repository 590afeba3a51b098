#include "writers/aac_writer.h"

#include "platform/write_all.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {

AacWriter::AacWriter()
    : m_aac([this](std::span<const std::uint8_t> frame) {
          return writeAll(m_fd, frame.data(), frame.size());
      }) {}

AacWriter::~AacWriter() {
    close();
}

bool AacWriter::open(const std::string& path, int sampleRate, int channels, int bitsPerSample) {
    close();
    if (bitsPerSample != 8 && bitsPerSample != 16)
        return false;
    // The encoder first: a format it refuses leaves no file behind.
    if (!m_aac.open(sampleRate, channels, AacEncoderConfig::kAdtsOutput))
        return false;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_aac.close();
        return false;
    }
    return true;
}

bool AacWriter::start() {
    return m_fd >= 0 && m_aac.start();
}

bool AacWriter::write16(const std::int16_t* left, const std::int16_t* right, int frames) {
    return m_aac.write16(left, right, frames);
}

bool AacWriter::write8(const std::uint8_t* left, const std::uint8_t* right, int frames) {
    return m_aac.write8(left, right, frames);
}

bool AacWriter::close() {
    if (m_fd < 0)
        return true;
    bool finished = m_aac.finish();
    finished = ::close(m_fd) == 0 && finished;
    m_fd = -1;
    m_aac.close();
    return finished;
}

} // namespace velmora
