#pragma once

#include "platform/file_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// A file opened for reading by offset. The size is taken once at open; every read names its
// offset, so several readers (a header check, a decoder's callbacks) can share one file.
class InputFile {
public:
    static std::optional<InputFile> open(const std::string& path);

    // Bytes in the file when it was opened.
    std::uint64_t size() const { return m_size; }

    // Fills all of `out` from `offset`, or fails.
    bool readAt(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // Reads as much of `out` as the file holds from `offset`; returns the bytes delivered.
    std::size_t readUpTo(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // The whole file, when it is not larger than `maxBytes`.
    std::optional<std::vector<std::uint8_t>> readAll(std::uint64_t maxBytes) const;

private:
    InputFile(FileDescriptor descriptor, std::uint64_t size)
        : m_descriptor(std::move(descriptor)), m_size(size) {}

    FileDescriptor m_descriptor;
    std::uint64_t m_size = 0;
};

} // namespace velmora
