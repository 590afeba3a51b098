#pragma once

#include "sources/audio_source.h"
#include "sources/ffmpeg_input.h"

#include <cstdint>
#include <memory>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

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
    struct CodecContextFreer {
        void operator()(AVCodecContext* context) const;
    };
    struct FrameFreer {
        void operator()(AVFrame* frame) const;
    };
    struct PacketFreer {
        void operator()(AVPacket* packet) const;
    };

    bool decodeNextFrame();
    void feedDecoder();
    int deliver(std::int16_t* left, std::int16_t* right, int offset);

    FfmpegInput m_input;
    std::unique_ptr<AVCodecContext, CodecContextFreer> m_codec;
    std::unique_ptr<AVPacket, PacketFreer> m_packet;
    // The last decoded frame; its samples from m_frameCursor to m_frameLength are not yet
    // delivered and wait for the next read().
    std::unique_ptr<AVFrame, FrameFreer> m_frame;
    int m_frameLength = 0; // frames of m_frame that passed the size checks
    int m_frameCursor = 0;
    bool m_inputEnded = false;   // the demuxer ran out and the decoder was told to drain
    bool m_decoderEnded = false; // nothing more will come
    // Packets sent, decode errors and empty frames since the last frame with samples; a broken
    // file ends after kMaxFruitlessSteps of them instead of being read on forever.
    int m_fruitlessSteps = 0;
};

} // namespace velmora
