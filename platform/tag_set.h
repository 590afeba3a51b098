#pragma once

#include <string>

namespace velmora {

// The nine text tags a source can carry, in the order every tag scheme of the program uses.
// Texts are UTF-8.
struct TagSet {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string genre;
    std::string comment;
    std::string track;
    std::string composer;
    std::string copyright;

    bool operator==(const TagSet&) const = default;
};

} // namespace velmora
