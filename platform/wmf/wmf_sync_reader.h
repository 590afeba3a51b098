#pragma once

#include "platform/ffmpeg/ffmpeg_decoder.h"
#include "platform/ffmpeg/ffmpeg_handles.h"

#include <cstdint>
#include <string>
#include <vector>

struct AVFrame;

namespace velmora {

// The synchronous reader of the Windows Media runtime: opens an ASF file (WMA, WMV, ASF),
// selects its first audio stream only (the video of a WMV is never decoded) and hands out its
// decompressed samples one by one as interleaved signed 16-bit PCM.
class WmfSyncReader {
public:
    WmfSyncReader();
    ~WmfSyncReader();
    WmfSyncReader(const WmfSyncReader&) = delete;
    WmfSyncReader& operator=(const WmfSyncReader&) = delete;

    // False when the file is not ASF, has no audio stream or its decoder cannot be opened.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_decoder.isOpen(); }

    // The container's number of the audio stream, and the output's wave format.
    int audioStreamNumber() const { return m_streamNumber; }
    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }

    // The next decompressed sample: interleaved 16-bit PCM of channels() channels (whole
    // frames) and its presentation time in 100-ns units. False at the end of the stream or when
    // the stream can no longer be read.
    bool nextSample(std::vector<std::int16_t>& pcm, std::uint64_t& time);

private:
    bool convertFrame(const AVFrame& frame, std::vector<std::int16_t>& pcm) const;

    InputContextHandle m_format;
    FfmpegDecoder m_decoder;
    int m_streamIndex = -1;
    int m_streamNumber = 0;
    int m_sampleRate = 0;
    int m_channels = 0;
};

} // namespace velmora
