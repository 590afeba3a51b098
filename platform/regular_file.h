#pragma once

#include "platform/file_descriptor.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace velmora {

enum class OpenFailure { None, Missing, NotRegular, Unreadable };

// A file opened for reading, or why it could not be.
struct OpenedFile {
    FileDescriptor descriptor;
    std::uint64_t size = 0; // bytes, as fstat() gave them at open
    OpenFailure failure = OpenFailure::None;

    bool ok() const { return failure == OpenFailure::None; }
};

// Opens `path` for reading when it names a regular file (a symbolic link to one counts). A FIFO,
// device or socket would block in open() or never end, so it is opened without blocking and
// refused at once; a regular file's descriptor is handed back in blocking mode.
OpenedFile openRegularFile(const std::string& path);

// The same check for a library that insists on opening the path itself.
OpenFailure checkRegularFile(const std::string& path);

// A stdio stream ("rb") over a regular file; nullptr when it is not one or cannot be opened.
// The caller closes it with fclose().
std::FILE* openRegularFileStream(const std::string& path);

} // namespace velmora
