#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

// Appends bytes to a file descriptor it does not own through a memory buffer, so that many
// small pieces cost one system call per buffer. The first failure sticks: later appends do
// nothing and report it again.
class BufferedOutput {
public:
    static constexpr std::size_t kDefaultBufferBytes = 256 * 1024;

    explicit BufferedOutput(std::size_t bufferBytes = kDefaultBufferBytes);

    // Starts appending to `fd`, whose file position is `position`; forgets an earlier failure.
    void attach(int fd, std::uint64_t position);
    bool append(std::span<const std::uint8_t> bytes);
    // Hands everything buffered to the file.
    bool flush();

    // File offset of the next byte appended (buffered bytes counted).
    std::uint64_t position() const { return m_flushedTo + m_buffer.size(); }
    bool failed() const { return m_failed; }

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_bufferBytes;
    int m_fd = -1;
    std::uint64_t m_flushedTo = 0;
    bool m_failed = false;
};

} // namespace velmora
