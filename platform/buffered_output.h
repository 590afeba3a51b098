#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

// Appends bytes to a file descriptor it does not own through a memory buffer, so that many
// small pieces cost one system call per buffer (one call per audio block cost as much as the
// rest of a WAV copy). What is gathered reaches the file once the buffer holds bufferBytes, or
// at flush(). A failed write cuts the file back to what earlier flushes wrote and drops what was
// gathered, so the file never ends in a torn piece; later appends start from there.
class BufferedOutput {
public:
    static constexpr std::size_t kDefaultBufferBytes = 256 * 1024;

    explicit BufferedOutput(std::size_t bufferBytes = kDefaultBufferBytes);

    // Starts appending to `fd` at file offset `position`, dropping anything gathered.
    void attach(int fd, std::uint64_t position);
    // False when the piece filled the buffer and could not be written.
    bool append(std::span<const std::uint8_t> bytes);
    // Room for `size` more bytes at the end of what is gathered, for the caller to fill before
    // calling flushIfFull().
    std::uint8_t* reserve(std::size_t size);
    bool flushIfFull();
    // Hands everything gathered to the file.
    bool flush();

    // File offset of the next byte appended (gathered bytes counted).
    std::uint64_t position() const { return m_flushedTo + m_buffer.size(); }
    // File offset up to which the file holds what was appended.
    std::uint64_t flushedTo() const { return m_flushedTo; }

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_bufferBytes;
    int m_fd = -1;
    std::uint64_t m_flushedTo = 0;
};

} // namespace velmora
