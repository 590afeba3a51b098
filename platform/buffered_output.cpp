#include "platform/buffered_output.h"

#include "platform/write_all.h"

#include <algorithm>

namespace velmora {

BufferedOutput::BufferedOutput(std::size_t bufferBytes)
    : m_bufferBytes(std::max<std::size_t>(bufferBytes, 1)) {}

void BufferedOutput::attach(int fd, std::uint64_t position) {
    m_buffer.clear();
    m_fd = fd;
    m_flushedTo = position;
    m_failed = fd < 0;
}

bool BufferedOutput::append(std::span<const std::uint8_t> bytes) {
    if (m_failed)
        return false;
    if (m_buffer.size() + bytes.size() > m_bufferBytes && !flush())
        return false;
    // A piece as large as the buffer goes straight to the file rather than through it.
    if (bytes.size() >= m_bufferBytes) {
        m_failed = !writeAll(m_fd, bytes.data(), bytes.size());
        m_flushedTo += m_failed ? 0 : bytes.size();
        return !m_failed;
    }
    if (m_buffer.capacity() < m_bufferBytes)
        m_buffer.reserve(m_bufferBytes);
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    return true;
}

bool BufferedOutput::flush() {
    if (m_failed)
        return false;
    if (m_buffer.empty())
        return true;
    m_failed = !writeAll(m_fd, m_buffer.data(), m_buffer.size());
    if (!m_failed)
        m_flushedTo += m_buffer.size();
    m_buffer.clear();
    return !m_failed;
}

} // namespace velmora
