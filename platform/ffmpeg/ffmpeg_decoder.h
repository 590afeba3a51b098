#pragma once

#include "platform/ffmpeg/ffmpeg_handles.h"

#include <cstdint>

struct AVStream;

namespace velmora {

// The send/receive loop of an FFmpeg audio decoder over one stream of an open demuxer: packets
// of other streams are passed over, a packet the decoder refuses is lost on its own, and the
// decoder is drained at the end of the input. A damaged file ends after a bounded number of
// steps without a sample instead of being read on forever.
class FfmpegDecoder {
public:
    FfmpegDecoder();
    ~FfmpegDecoder();
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    // Opens the decoder for `stream`. With `downmixToStereo` a decoder that can is asked to
    // deliver two channels.
    bool open(const AVStream& stream, bool downmixToStereo);
    void close();
    bool isOpen() const { return m_codec != nullptr; }
    // The open decoder's context: its rate, channel layout, sample format and bit rate.
    const AVCodecContext& codec() const { return *m_codec; }

    // The next decoded frame that has samples, decoded from the packets of stream `streamIndex`
    // of `input`; null at the end of the stream. The frame stays valid until the next call.
    const AVFrame* nextFrame(AVFormatContext& input, int streamIndex);
    // Frames of the last frame that can be read without leaving its buffers, for every
    // channel it has.
    int usableFrames() const { return m_state.usableFrames; }

private:
    // What one stream's decoding has come to; a new stream starts from the default.
    struct State {
        int usableFrames = 0;
        bool inputEnded = false;   // the demuxer ran out and the decoder was told to drain
        bool decoderEnded = false; // nothing more will come
        // Packets sent, decode errors and empty frames since the last frame with samples.
        int fruitlessSteps = 0;
    };

    void feed(AVFormatContext& input, int streamIndex);

    CodecContextHandle m_codec;
    PacketHandle m_packet;
    FrameHandle m_frame;
    State m_state;
};

} // namespace velmora
