#pragma once

#include "platform/tag_set.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Renders the tags of an MP3 output in memory: a 128-byte ID3v1 block or a complete ID3v2 tag
// (header, frames and padding), for the MP3 writer to place around the audio.
class Id3TagRenderer {
public:
    static constexpr std::size_t kId3v1Bytes = 128;

    // Texts are UTF-8. Only the low byte of the track numbers is used (300 is written as 44);
    // a track whose low byte is 0 writes no track.
    struct Fields {
        TagSet text; // its track text is not read: the numbers below are written
        int track = 0;
        int totalTracks = 0;
    };

    // Version 1 renders the ID3v1 block, any other version an ID3v2 tag. None when the tag
    // library could not render the tag.
    static std::optional<std::vector<std::uint8_t>> render(int version, const Fields& fields);

    // Exactly kId3v1Bytes: title, artist, album, year, comment, track and the genre number of
    // the genre name looked up without regard to case (12, "Other", when it is not listed).
    static std::vector<std::uint8_t> renderId3v1(const Fields& fields);

    // ID3v2.3 frames in this order: TIT2, TPE1, TALB, TYER (always, even when empty), TCON,
    // TCOM and TCOP (only when not empty), COMM (language "XXX", empty description), TRCK
    // (only for a track, "%d" or "%d/%d" with the total). Empty when the tag would not fit the
    // 28-bit size of the header.
    static std::vector<std::uint8_t> renderId3v2(const Fields& fields);

    // The text of the track frame; empty when no track frame is written.
    static std::string trackText(int track, int totalTracks);
};

} // namespace velmora
