#include "platform/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>

namespace velmora {
namespace {

OpenedFile refused(OpenedFile& opened, OpenFailure why) {
    opened.descriptor.reset();
    opened.failure = why;
    return std::move(opened);
}

} // namespace

OpenedFile openRegularFile(const std::string& path) {
    OpenedFile opened;
    // Opening a device can have effects of its own (a tape rewinds, a modem line rings), so
    // what is plainly not a regular file is refused before any open().
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode))
        return refused(opened, OpenFailure::NotRegular);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        opened.failure = (errno == ENOENT || errno == ENOTDIR) ? OpenFailure::Missing
                         : errno == ENXIO                      ? OpenFailure::NotRegular
                                                               : OpenFailure::Unreadable;
        return opened;
    }
    opened.descriptor.reset(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || status.st_size < 0)
        return refused(opened, OpenFailure::Unreadable);
    if (!S_ISREG(status.st_mode))
        return refused(opened, OpenFailure::NotRegular);
    // Reads of a regular file never block anyway, but a library handed this descriptor may test
    // the flag and take it for a pipe.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return refused(opened, OpenFailure::Unreadable);
    opened.size = static_cast<std::uint64_t>(status.st_size);
    return opened;
}

OpenFailure checkRegularFile(const std::string& path) {
    return openRegularFile(path).failure;
}

std::FILE* openRegularFileStream(const std::string& path) {
    OpenedFile opened = openRegularFile(path);
    if (!opened.ok())
        return nullptr;
    std::FILE* stream = ::fdopen(opened.descriptor.get(), "rb");
    if (stream)
        opened.descriptor.release(); // the stream closes it now
    return stream;
}

} // namespace velmora
