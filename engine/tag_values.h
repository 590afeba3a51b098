#pragma once

#include "engine/tag_preset.h"
#include "platform/tag_set.h"

#include <string>
#include <string_view>

namespace velmora {

// The nine tag values a routine hands to a tagged writer: from the family's custom preset, or
// transferred from the source.
struct TagValues {
    // The track text as the source spelt it ("3/12"); the decimal track for a preset.
    TagSet text;
    int track = 0; // 0 = no track

    bool operator==(const TagValues&) const = default;

    // The preset's values; the title is the source's base name when "TitleAsFileName" is on,
    // the track the batch position or the fixed number as "TrackNumType" says.
    static TagValues fromPreset(const TagPreset& preset, std::string_view sourcePath,
                                int batchPosition);
    // The tags a source read; the track is the leading decimal number of its text.
    static TagValues fromSource(const TagSet& tags);
};

// The file name without the text from its last "." on: "/m/Song.Name.flac" gives "Song.Name".
std::string baseName(std::string_view path);

// The leading decimal number of a track text: "3/12" gives 3, text without one gives 0.
int leadingTrackNumber(std::string_view text);

} // namespace velmora
