#include "platform/write_all.h"

#include <cerrno>
#include <unistd.h>

namespace velmora {

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

bool writeAll(int fd, std::string_view bytes) {
    return writeAll(fd, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

bool writeAllAt(int fd, const std::uint8_t* bytes, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t done = ::pwrite(fd, bytes, size, offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        size -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

} // namespace velmora
