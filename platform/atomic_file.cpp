#include "platform/atomic_file.h"

#include "platform/regular_file.h"
#include "platform/write_all.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmora {
namespace {

void syncFolder(const std::filesystem::path& folder) {
    const FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

} // namespace

AtomicFile::ReadResult AtomicFile::read(const std::filesystem::path& file, std::size_t limit,
                                        std::string& out, bool& tooLarge, mode_t* mode) {
    out.clear();
    tooLarge = false;
    OpenedFile opened = openRegularFile(file.string());
    if (opened.failure == OpenFailure::Missing)
        return ReadResult::Missing;
    if (!opened.ok())
        return ReadResult::Failed;
    if (mode) {
        struct stat info {};
        if (::fstat(opened.descriptor.get(), &info) != 0)
            return ReadResult::Failed;
        *mode = info.st_mode & 07777;
    }
    char chunk[16 * 1024];
    for (;;) {
        const ssize_t got = ::read(opened.descriptor.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ReadResult::Failed;
        if (got == 0)
            return ReadResult::Ok;
        const auto count = static_cast<std::size_t>(got);
        if (out.size() + count > limit) {
            out.append(chunk, limit - out.size());
            tooLarge = true;
            return ReadResult::Ok;
        }
        out.append(chunk, count);
    }
}

bool AtomicFile::lock(const std::filesystem::path& lockFile) {
    // Non-blocking open: a lock "file" that is a FIFO must not hang the program.
    FileDescriptor fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600));
    if (!fd.valid())
        return false;
    int result = 0;
    do {
        result = ::flock(fd.get(), LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0)
        return false;
    m_lock = std::move(fd); // closing it releases the lock
    return true;
}

bool AtomicFile::replace(std::string_view bytes, mode_t mode) const {
    const std::filesystem::path folder = m_target.parent_path();
    std::string name = ".";
    name += m_target.filename().string();
    name += ".XXXXXX";
    std::string pattern = (folder / name).string();
    FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.valid())
        return false;
    bool ok = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    ok = (::close(fd.release()) == 0) && ok;
    if (ok)
        ok = ::rename(pattern.c_str(), m_target.c_str()) == 0;
    if (!ok) {
        ::unlink(pattern.c_str());
        return false;
    }
    syncFolder(folder.empty() ? std::filesystem::path(".") : folder);
    return true;
}

} // namespace velmora
