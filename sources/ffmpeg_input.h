#pragma once

#include "platform/ffmpeg/ffmpeg_handles.h"
#include "platform/tag_set.h"

#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;
struct AVStream;

namespace velmora {

// One input file opened with libavformat: the container with its stream information and the
// first audio stream in stream order. Shared by the full FFmpeg source and its probe variant.
class FfmpegInput {
public:
    FfmpegInput() = default;
    FfmpegInput(const FfmpegInput&) = delete;
    FfmpegInput& operator=(const FfmpegInput&) = delete;
    ~FfmpegInput();

    // Opens the container and reads its stream information; false when libavformat cannot.
    // A container without an audio stream opens (audioStreamIndex() is then -1).
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_context != nullptr; }

    AVFormatContext* context() const { return m_context.get(); }
    // -1 when the container has no audio stream.
    int audioStreamIndex() const { return m_audioStreamIndex; }
    AVStream* audioStream() const;

    // Size of the file in bytes; 0 when unknown.
    std::uint64_t fileSize() const;
    // Byte offset of the demuxer in the file.
    std::uint64_t bytePosition() const;
    // Whole seconds, truncated; 0 when the container has no duration.
    int durationSeconds() const;

    // Title, artist ("artist", else "author"), album, year ("date", else "year"; its leading
    // number), genre, comment, track (its leading number), copyright from the container's
    // metadata, else the audio stream's; composer stays empty. Invalid UTF-8 is repaired.
    // False when every field is empty.
    bool readTags(TagSet& tags) const;

private:
    InputContextHandle m_context;
    int m_audioStreamIndex = -1;
};

} // namespace velmora
