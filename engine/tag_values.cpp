#include "engine/tag_values.h"

#include "sources/source_kind.h"

#include <limits>

namespace velmora {

std::string baseName(std::string_view path) {
    const std::string_view name = fileNamePart(path);
    return std::string(name.substr(0, name.rfind('.')));
}

int leadingTrackNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    long long number = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        number = number * 10 + (text[at] - '0');
        if (number > std::numeric_limits<int>::max())
            return 0;
    }
    return static_cast<int>(number);
}

TagValues TagValues::fromPreset(const TagPreset& preset, std::string_view sourcePath,
                                int batchPosition) {
    TagValues values;
    values.title = preset.TitleAsFileName != 0 ? baseName(sourcePath) : preset.Title;
    values.artist = preset.Artist;
    values.album = preset.Album;
    values.year = preset.Year;
    values.genre = preset.Genre;
    values.comment = preset.Comment;
    values.composer = preset.Composer;
    values.copyright = preset.Copyright;
    if (preset.TrackNumType == 1)
        values.track = batchPosition;
    else if (preset.TrackNumType == 2)
        values.track = preset.CustomTrackNum;
    values.trackText = std::to_string(values.track);
    return values;
}

TagValues TagValues::fromSource(const TagSet& tags) {
    TagValues values;
    values.title = tags.title;
    values.artist = tags.artist;
    values.album = tags.album;
    values.year = tags.year;
    values.genre = tags.genre;
    values.comment = tags.comment;
    values.composer = tags.composer;
    values.copyright = tags.copyright;
    values.track = leadingTrackNumber(tags.track);
    values.trackText = tags.track;
    return values;
}

} // namespace velmora
