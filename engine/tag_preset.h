#pragma once

#include <span>
#include <string>
#include <string_view>

namespace velmora {

// The custom tag of one output family, written when the family's tag type is 0. Each field
// bears the name of its registry value in the family's subkey ("MP3Tag", "OGGTag", ...).
struct TagPreset {
    // Flag: the title is the source file name without its extension.
    int TitleAsFileName = 1;
    std::string Title; // used when TitleAsFileName is off
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Genre;
    std::string Comment;
    std::string Composer;
    std::string Copyright;
    // 0 no track number, 1 the file's 1-based position in the batch, 2 CustomTrackNum.
    int TrackNumType = 0;
    int CustomTrackNum = 0;

    bool operator==(const TagPreset&) const = default;

    // One persisted field: exactly one of the two member pointers is set.
    struct Field {
        std::string_view name;
        int TagPreset::*number;
        std::string TagPreset::*text;
    };

    // Every field in the order above.
    static std::span<const Field> fields();
};

} // namespace velmora
