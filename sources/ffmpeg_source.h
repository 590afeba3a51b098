#pragma once

#include "platform/ffmpeg/ffmpeg_decoder.h"
#include "sources/audio_source.h"
#include "sources/ffmpeg_input.h"

#include <cstdint>
#include <memory>
#include <string>

struct AVFrame;

namespace velmora {

// The full FFmpeg decoder used for conversion: the first audio stream in stream order of any
// container libavformat reads, decoded with libavcodec and delivered as planar 16-bit PCM
// (unsigned 8-bit when the decoder's samples are). Material with more than two channels is asked
// to be downmixed to stereo by decoders that can; the others deliver channels 0 and 1.
// length is the file size and position the demuxer's byte offset, both in bytes.
class FfmpegSource : public AudioSource {
public:
    FfmpegSource() = default;
    ~FfmpegSource() override;

    void close() override;
    bool open(const std::string& path, int renderRate) override;
    int read(std::int16_t* left, std::int16_t* right) override;
    bool readTags(TagSet& tags) override;

private:
    int deliver(std::int16_t* left, std::int16_t* right, int offset);

    FfmpegInput m_input;
    FfmpegDecoder m_decoder;
    // The last decoded frame (owned by m_decoder); its samples from m_frameCursor to
    // m_frameLength are not yet delivered and wait for the next read().
    const AVFrame* m_frame = nullptr;
    int m_frameLength = 0;
    int m_frameCursor = 0;
};

} // namespace velmora
