#pragma once

#include "platform/aac/aac_encoder.h"
#include "platform/aac/pcm_frame_buffer.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velmora {

// The AAC half that the ADTS and MPEG-4 writers share: the encoder set to AAC-LC with the
// program's defaults, PCM gathered into whole encoder frames, and every encoded frame handed to
// the writer's sink, through to the frames the encoder still holds at the end.
//
// Life cycle: open, edit configuration(), start, write16 or write8 once per block, finish,
// close. After the first lost frame every further call fails.
class AacFrameEncoder {
public:
    // Stores one encoded frame; false when it could not be stored.
    using FrameSink = std::function<bool(std::span<const std::uint8_t> frame)>;

    explicit AacFrameEncoder(FrameSink sink) : m_sink(std::move(sink)) {}

    // AAC-LC, MPEG-4, TNS off, mid/side allowed, automatic band width, 16-bit input, and the
    // given output format (raw or ADTS). False when the encoder refuses the rate or channels.
    bool open(int sampleRate, int channels, int outputFormat);
    // The encoder settings, editable between open and start.
    AacEncoderConfig& configuration() { return m_encoder.currentConfiguration(); }
    // False when the encoder refuses the configuration.
    bool start();

    bool write16(const std::int16_t* left, const std::int16_t* right, int frames);
    bool write8(const std::uint8_t* left, const std::uint8_t* right, int frames);
    // Encodes the short last frame, then drains the encoder: an input shorter than the
    // encoder's delay comes out only while draining. False when a frame was lost on the way.
    bool finish();
    void close();

    bool started() const { return m_started; }
    bool failed() const { return m_failed; }
    // Frames per channel handed to the encoder so far.
    std::uint64_t fedFrames() const { return m_fedFrames; }
    // Frames per channel one encoder call takes (and one encoded frame stands for).
    int frameLength() const;
    std::vector<std::uint8_t> decoderSpecificInfo() const {
        return m_encoder.decoderSpecificInfo();
    }

private:
    bool encodeFrame(const std::int16_t* pcm, int samples);
    bool deliver(int bytes);

    FrameSink m_sink;
    AacEncoder m_encoder;
    PcmFrameBuffer m_pcm;
    std::vector<std::uint8_t> m_outBuffer;
    std::uint64_t m_fedFrames = 0;
    int m_channels = 0;
    bool m_started = false;
    bool m_failed = false;
};

} // namespace velmora
