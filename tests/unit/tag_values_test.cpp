// The tag values a routine hands to its writer: the custom preset's title and track rules and
// the track number taken over from a source's text.

#include "engine/tag_values.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace velmora {
namespace {

TagPreset filledPreset() {
    TagPreset preset;
    preset.Title = "Preset Title";
    preset.Artist = "Artist";
    preset.Album = "Album";
    preset.Year = "1999";
    preset.Genre = "Jpop";
    preset.Comment = "Comment";
    preset.Composer = "Composer";
    preset.Copyright = "(c)";
    preset.CustomTrackNum = 42;
    return preset;
}

TEST(TagValuesFromPreset, TitleIsTheBaseNameOrThePresetTitle) {
    struct Case {
        const char* path;
        int titleAsFileName;
        const char* title;
    };
    const Case cases[] = {
        {"/m/Song.Name.flac", 1, "Song.Name"},
        {"/m/Song", 1, "Song"},
        {"/m.dir/Song", 1, "Song"},
        {"Track 01.wav", 1, "Track 01"},
        {"/m/Song.Name.flac", 0, "Preset Title"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TagPreset preset = filledPreset();
        preset.TitleAsFileName = c.titleAsFileName;
        EXPECT_EQ(TagValues::fromPreset(preset, c.path, 5).text.title, c.title);
    }
}

TEST(TagValuesFromPreset, TrackFollowsTheTrackNumberType) {
    struct Case {
        int trackNumType;
        int batchPosition;
        int track;
    };
    const Case cases[] = {{0, 3, 0}, {1, 3, 3}, {1, 1, 1}, {2, 3, 42}, {3, 3, 0}, {-1, 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trackNumType);
        TagPreset preset = filledPreset();
        preset.TrackNumType = c.trackNumType;
        const TagValues values = TagValues::fromPreset(preset, "/m/a.wav", c.batchPosition);
        EXPECT_EQ(values.track, c.track);
        EXPECT_EQ(values.text.track, std::to_string(c.track));
    }
}

TEST(TagValuesFromPreset, OtherValuesComeFromThePreset) {
    TagPreset preset = filledPreset();
    preset.TitleAsFileName = 0;
    preset.TrackNumType = 2;
    const TagValues expected{
        {"Preset Title", "Artist", "Album", "1999", "Jpop", "Comment", "42", "Composer", "(c)"},
        42};
    EXPECT_EQ(TagValues::fromPreset(preset, "/m/a.wav", 1), expected);
}

TEST(TagValuesFromSource, TrackIsTheLeadingNumberAndTheTextIsKept) {
    TagSet tags;
    tags.title = "T";
    tags.artist = "A";
    tags.album = "L";
    tags.year = "2001";
    tags.genre = "Rock";
    tags.comment = "C";
    tags.track = "3/12";
    tags.composer = "M";
    tags.copyright = "R";
    const TagValues expected{{"T", "A", "L", "2001", "Rock", "C", "3/12", "M", "R"}, 3};
    EXPECT_EQ(TagValues::fromSource(tags), expected);
}

TEST(LeadingTrackNumber, ReadsTheLeadingDecimalNumber) {
    struct Case {
        const char* text;
        int number;
    };
    const Case cases[] = {
        {"3/12", 3},       {"12", 12},
        {"007", 7},        {"x", 0},
        {"", 0},           {"/12", 0},
        {"4th", 4},        {"2147483647", 2147483647},
        {"2147483648", 0}, {"99999999999999999999", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(leadingTrackNumber(c.text), c.number);
    }
}

} // namespace
} // namespace velmora
