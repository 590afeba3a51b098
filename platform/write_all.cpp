#include "platform/write_all.h"

#include <cerrno>
#include <unistd.h>

namespace velmora {
namespace {

// Calls `writeOnce(bytes, size)` until every byte is taken; a signal is no failure.
template <typename WriteOnce>
bool writeEvery(const std::uint8_t* bytes, std::size_t size, WriteOnce writeOnce) {
    while (size > 0) {
        const ssize_t done = writeOnce(bytes, size);
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

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size) {
    return writeEvery(bytes, size, [fd](const std::uint8_t* from, std::size_t count) {
        return ::write(fd, from, count);
    });
}

bool writeAll(int fd, std::string_view bytes) {
    return writeAll(fd, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

bool writeAllAt(int fd, const std::uint8_t* bytes, std::size_t size, off_t offset) {
    return writeEvery(bytes, size, [fd, &offset](const std::uint8_t* from, std::size_t count) {
        const ssize_t done = ::pwrite(fd, from, count, offset);
        if (done > 0)
            offset += done;
        return done;
    });
}

bool readAllAt(int fd, std::span<std::uint8_t> out, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got =
            ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace velmora
