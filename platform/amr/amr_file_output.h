#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The file an AMR encoder writes: created anew with the storage format's magic line, then
// frames appended. Bytes are gathered in memory and written in large pieces; the first write
// that fails (disk full, file size limit) is remembered, so the encoder can tell its caller
// that the file is incomplete instead of finishing a truncated file as if it were whole.
class AmrFileOutput {
public:
    AmrFileOutput() = default;
    ~AmrFileOutput();
    AmrFileOutput(const AmrFileOutput&) = delete;
    AmrFileOutput& operator=(const AmrFileOutput&) = delete;

    // Creates `path` anew (an existing file is truncated) and queues `magic`. False when the file
    // cannot be created. An output still open is finished first.
    bool create(const std::string& path, std::string_view magic);
    // Appends bytes; false once any write to the file has failed.
    bool append(std::span<const std::uint8_t> bytes);
    // Writes what is queued and closes the file; false when any of the file could not be
    // written. Does nothing and returns true when not open.
    bool finish();

    bool isOpen() const { return m_fd >= 0; }

private:
    bool flush();

    int m_fd = -1;
    bool m_failed = false;
    std::vector<std::uint8_t> m_pending; // bytes not yet handed to the file
};

} // namespace velmora
