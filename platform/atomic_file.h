#pragma once

#include "platform/file_descriptor.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace velmora {

// A small file that is replaced as a whole: a reader or a crash sees either the old contents or
// the new ones, never a part, and writers that take the lock one after another lose nothing.
class AtomicFile {
public:
    enum class ReadResult { Ok, Missing, Failed };

    explicit AtomicFile(std::filesystem::path target) : m_target(std::move(target)) {}

    // Reads at most `limit` bytes of a regular file (anything else fails at once, without
    // blocking); `tooLarge` tells whether the file holds more, `mode` receives its permissions.
    static ReadResult read(const std::filesystem::path& file, std::size_t limit, std::string& out,
                           bool& tooLarge, mode_t* mode = nullptr);

    // Takes an exclusive lock on `lockFile` (created when missing), held until this object goes.
    bool lock(const std::filesystem::path& lockFile);

    // Writes `bytes` to a new file in the same folder, syncs it, gives it `mode` and renames it
    // over the target. False when any step fails; the target is then untouched.
    bool replace(std::string_view bytes, mode_t mode) const;

private:
    std::filesystem::path m_target;
    FileDescriptor m_lock;
};

} // namespace velmora
