#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <sys/types.h>

namespace velmora {

// Writes every byte, riding over short writes and signals; false on the first real failure.
bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size);
bool writeAll(int fd, std::string_view bytes);

// The same at a fixed file offset, leaving the file position alone.
bool writeAllAt(int fd, const std::uint8_t* bytes, std::size_t size, off_t offset);

// Fills `out` from file offset `offset`, riding over short reads and signals; false when the
// file ends first or a read fails.
bool readAllAt(int fd, std::span<std::uint8_t> out, std::uint64_t offset);

} // namespace velmora
