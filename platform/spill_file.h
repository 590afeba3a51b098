#pragma once

#include "platform/buffered_output.h"
#include "platform/file_descriptor.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velmora {

// An unnamed temporary file for data that grows with a job's length but is only needed at its
// end (an index written after the media): appended to in order, then read back from the
// start. It has no name from the moment it exists, so it vanishes when closed, also when the
// program dies. It lives in $TMPDIR, else /tmp; where no temporary file can be made the data
// stays in memory instead, so a job never fails for want of one.
class SpillFile {
public:
    // Consumes one piece of what was appended; false stops the read.
    using Reader = std::function<bool(std::span<const std::uint8_t>)>;

    SpillFile();

    // Starts empty, dropping what an earlier use held.
    void open();
    bool isOpen() const { return m_open; }
    bool append(std::span<const std::uint8_t> bytes);
    std::uint64_t size() const { return m_fd.valid() ? m_output.position() : m_memory.size(); }
    // Everything appended, in order and in pieces of at most 64 KiB. False when the file
    // could not be written or read back, or `reader` stopped.
    bool readBack(const Reader& reader);
    void close();

private:
    FileDescriptor m_fd;
    BufferedOutput m_output;
    std::vector<std::uint8_t> m_memory; // when there is no file
    bool m_open = false;
};

} // namespace velmora
