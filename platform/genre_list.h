#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace velmora {

// The ID3v1 genre names with their extensions, indices 0-147, shared by the tag readers and the
// ID3 writer.
class GenreList {
public:
    static constexpr int kCount = 148;
    // Stands in for a genre that is not in the list.
    static constexpr int kOther = 12;

    static std::span<const std::string_view> names();
    // The name of an index; none outside 0-147.
    static std::optional<std::string_view> name(int index);
    // The index of a name compared without regard to ASCII case; none when not in the list.
    static std::optional<int> indexOf(std::string_view name);
};

} // namespace velmora
