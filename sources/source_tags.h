#pragma once

#include "platform/tag_set.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// Reads the text tags of a source file into a TagSet. Each reader first empties all nine fields;
// every text that leaves here is valid UTF-8; every failure is silent (false, with the fields
// found so far).
class SourceTags {
public:
    // The generic tags of any format the tag library knows (ID3v1/ID3v2, Vorbis comments, APE,
    // MP4, ASF, ...), as the library-backed decoders deliver them. A name given more than once
    // reports its last value; a Vorbis DESCRIPTION stands in for a missing COMMENT; ID3 genre
    // numbers are spelled as in GenreList. False when the file has none.
    static bool readFileTags(const std::string& path, TagSet& tags);

    // The metadata items of an MPEG-4 file. True only when a text field or the composer was
    // found; a track number alone does not count.
    static bool readMp4Tags(const std::string& path, TagSet& tags);

    // An ID3v2 tag held in memory (header included), as an AIFF file's "ID3 " chunk carries it.
    // Nothing outside the span is read; a tag that declares more bytes than the span holds is
    // refused, and bytes after the declared tag are ignored.
    // True when any of the frames read exists (TIT2, TPE1-3, TALB, TYER/TDRC, TCON, COMM, TRCK,
    // TCOM, TCOP).
    static bool readId3Tags(std::span<const std::uint8_t> id3v2, TagSet& tags);

    // A TCON text with its numeric genre reference resolved: "(17)" gives "Rock",
    // "(17)Indie Rock" gives "Indie Rock", "(200)" gives "", other text stays as it is.
    static std::string resolveGenre(std::string_view tcon);
};

} // namespace velmora
