#include "platform/buffered_output.h"

#include "platform/write_all.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace velmora {

BufferedOutput::BufferedOutput(std::size_t bufferBytes)
    : m_bufferBytes(std::max<std::size_t>(bufferBytes, 1)) {}

void BufferedOutput::attach(int fd, std::uint64_t position) {
    m_buffer.clear();
    m_fd = fd;
    m_flushedTo = position;
}

bool BufferedOutput::append(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty())
        std::memcpy(reserve(bytes.size()), bytes.data(), bytes.size());
    return flushIfFull();
}

std::uint8_t* BufferedOutput::reserve(std::size_t size) {
    if (m_buffer.capacity() < m_bufferBytes + size)
        m_buffer.reserve(m_bufferBytes + size);
    const std::size_t at = m_buffer.size();
    m_buffer.resize(at + size);
    return m_buffer.data() + at;
}

bool BufferedOutput::flushIfFull() {
    return m_buffer.size() < m_bufferBytes || flush();
}

bool BufferedOutput::flush() {
    if (m_buffer.empty())
        return true;
    const auto offset = static_cast<off_t>(m_flushedTo);
    const bool written = m_fd >= 0 && writeAllAt(m_fd, m_buffer.data(), m_buffer.size(), offset);
    if (written) {
        m_flushedTo += m_buffer.size();
    } else if (m_fd >= 0) {
        [[maybe_unused]] const int ignored = ftruncate(m_fd, offset);
    }
    m_buffer.clear();
    return written;
}

} // namespace velmora
