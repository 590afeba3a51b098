#pragma once

#include "platform/bass/input_file.h"

#include <cstdint>
#include <optional>

namespace velmora {

// Where the MPEG audio frames of a file lie between its tags. The check decides whether a
// file is taken as MPEG audio at all, since frame syncs are easy to find by chance in other
// data (quiet PCM is full of 0xFF bytes):
// - a file that starts with the signature of another container the layer or the program reads
//   (RIFF, AIFF, FLAC, Ogg, WavPack, MIDI, CAF, Sun AU, MPEG-4) is not MPEG audio;
// - within a short search window after the ID3v2 tag, a frame header must be followed by
//   kChainedFrames − 1 more headers of the same stream exactly where the frame sizes put them,
//   or the frames must end exactly at the end of the audio data;
// - a free-format stream (no bit rate in the header) must start right after the ID3v2 tag.
struct MpegLayout {
    // Bytes searched for the first frame after the ID3v2 tag (junk or padding a tagger left).
    static constexpr std::uint64_t kSearchWindow = 64 * 1024;
    // Consecutive frames that must chain before a stream counts as MPEG.
    static constexpr int kChainedFrames = 4;

    std::uint64_t audioStart = 0; // file offset of the first frame
    std::uint64_t audioEnd = 0;   // file offset after the last audio byte (before APE/ID3v1)
    std::uint64_t id3v2Bytes = 0; // the ID3v2 tag at offset 0: 10-byte header + its size
    bool hasId3v1 = false;        // the last 128 bytes of the file are an ID3v1 tag

    static std::optional<MpegLayout> scan(const InputFile& file);
    // The file starts with the signature of one of the other containers named above.
    static bool startsLikeOtherContainer(const InputFile& file);
};

} // namespace velmora
