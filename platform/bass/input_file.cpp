#include "platform/bass/input_file.h"

#include "platform/regular_file.h"

#include <cerrno>
#include <limits>
#include <unistd.h>
#include <utility>

namespace velmora {

std::optional<InputFile> InputFile::open(const std::string& path) {
    // Only regular files have a size worth trusting; a FIFO or device could block or never end.
    OpenedFile opened = openRegularFile(path);
    if (!opened.ok())
        return std::nullopt;
    return InputFile(std::move(opened.descriptor), opened.size);
}

bool InputFile::readAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
    return readUpTo(offset, out) == out.size();
}

std::size_t InputFile::readUpTo(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (!m_descriptor.valid() ||
        offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return 0;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = offset + done;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
            break;
        const ssize_t got = ::pread(m_descriptor.get(), out.data() + done, out.size() - done,
                                    static_cast<off_t>(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::optional<std::vector<std::uint8_t>> InputFile::readAll(std::uint64_t maxBytes) const {
    if (m_size > maxBytes || m_size > std::numeric_limits<std::size_t>::max())
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(m_size));
    if (!readAt(0, bytes))
        return std::nullopt;
    return bytes;
}

} // namespace velmora
