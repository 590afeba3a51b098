#pragma once

#include "sources/audio_source.h"
#include "sources/ffmpeg_input.h"

#include <cstdint>
#include <string>

namespace velmora {

// The light FFmpeg source that describes a file for the list: it opens the container only and
// never decodes. A file without an audio stream (video only) is accepted with rate, bit rate and
// channels 0. read() always returns 0; there are no tags.
class FfmpegProbeSource : public AudioSource {
public:
    FfmpegProbeSource() = default;
    ~FfmpegProbeSource() override;

    void close() override;
    bool open(const std::string& path, int renderRate) override;
    int read(std::int16_t* left, std::int16_t* right) override;

private:
    FfmpegInput m_input;
};

} // namespace velmora
