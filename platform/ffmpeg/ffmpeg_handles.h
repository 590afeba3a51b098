#pragma once

#include <memory>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace velmora {

// The deleter of the FFmpeg objects that have one way to be freed, each with the library's own
// call.
struct FfmpegFree {
    void operator()(AVCodecContext* context) const;
    void operator()(AVFrame* frame) const;
    void operator()(AVPacket* packet) const;
    void operator()(SwrContext* resampler) const;
    void operator()(AVAudioFifo* fifo) const;
};

// A format context is freed in one of two ways: a demuxer's closes its input with it; a
// muxer's closes the file it opened (when it did) and then frees the context.
struct FfmpegInputClose {
    void operator()(AVFormatContext* context) const;
};
struct FfmpegOutputClose {
    void operator()(AVFormatContext* context) const;
};

using CodecContextHandle = std::unique_ptr<AVCodecContext, FfmpegFree>;
using FrameHandle = std::unique_ptr<AVFrame, FfmpegFree>;
using PacketHandle = std::unique_ptr<AVPacket, FfmpegFree>;
using ResamplerHandle = std::unique_ptr<SwrContext, FfmpegFree>;
using AudioFifoHandle = std::unique_ptr<AVAudioFifo, FfmpegFree>;
using InputContextHandle = std::unique_ptr<AVFormatContext, FfmpegInputClose>;
using OutputContextHandle = std::unique_ptr<AVFormatContext, FfmpegOutputClose>;

} // namespace velmora
