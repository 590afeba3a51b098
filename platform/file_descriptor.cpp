#include "platform/file_descriptor.h"

#include <unistd.h>
#include <utility>

namespace velmora {

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other)
        reset(std::exchange(other.m_fd, -1));
    return *this;
}

FileDescriptor::~FileDescriptor() {
    reset();
}

int FileDescriptor::release() {
    return std::exchange(m_fd, -1);
}

void FileDescriptor::reset(int fd) {
    if (m_fd >= 0 && m_fd != fd)
        ::close(m_fd);
    m_fd = fd;
}

} // namespace velmora
