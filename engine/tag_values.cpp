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
    int track = 0;
    if (preset.TrackNumType == 1)
        track = batchPosition;
    else if (preset.TrackNumType == 2)
        track = preset.CustomTrackNum;
    const std::string title = preset.TitleAsFileName != 0 ? baseName(sourcePath) : preset.Title;
    return {{title, preset.Artist, preset.Album, preset.Year, preset.Genre, preset.Comment,
             std::to_string(track), preset.Composer, preset.Copyright},
            track};
}

TagValues TagValues::fromSource(const TagSet& tags) {
    return {tags, leadingTrackNumber(tags.track)};
}

} // namespace velmora
