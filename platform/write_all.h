#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <sys/types.h>

namespace velmora {

// Writes every byte, riding over short writes and signals; false on the first real failure.
bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size);
bool writeAll(int fd, std::string_view bytes);

// The same at a fixed file offset, leaving the file position alone.
bool writeAllAt(int fd, const std::uint8_t* bytes, std::size_t size, off_t offset);

} // namespace velmora
