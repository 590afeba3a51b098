#pragma once

#include "platform/aac/aac_encoder_config.h"
#include "platform/ffmpeg/ffmpeg_handles.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace velmora {

// An AAC-LC encoder over FFmpeg's native "aac" encoder, in the shape of the classic AAC encoder
// libraries: open with rate and channels, edit the configuration record, set it, then encode
// one frame of interleaved 16-bit PCM per call and receive raw AAC or ADTS frames.
//
// Mapping of the configuration onto the encoder:
// - bitRate > 0: average bit rate, bitRate x channels bit/s in total.
// - bitRate 0: constant quality; quantqual q becomes the encoder's rate-distortion lambda
//   120 x (q / 100)^0.55 (its global_quality), so the default 100 is the encoder's own default
//   quality and a higher q gives a larger file on music-like material (loud broadband noise
//   can dip locally). The curve flattens towards the top because above a lambda of about 300
//   the encoder's per-frame bit ceiling stops files from growing. Measured on tones over pink
//   noise, 44100 Hz stereo (kbit/s): q 10 -> 50, 50 -> 89, 100 -> 126, 200 -> 229, 300 -> 260, 500
//   -> 265.
// - useTns -> aac_tns; allowMidside 0 -> aac_ms off, else mid/side where it pays (auto);
//   bandWidth -> cutoff.
// - shortctl: the encoder has no switch for its block types; it always chooses long or short
//   (eight-window) blocks frame by frame from its psychoacoustic model, i.e. it behaves as
//   "both long and short" whatever the setting says. The value is checked (0..2) and kept.
// - The stream carries the encoder's delay: 1024 samples of priming precede the input.
//
// Sample rates are those AAC signals with an index (96000 ... 7350); other rates are refused
// at open rather than written with a rate the stream would misstate.
class AacEncoder {
public:
    static constexpr int kFrameLength = 1024; // samples per channel in one AAC frame
    static constexpr int kAdtsHeaderBytes = 7;

    AacEncoder();
    ~AacEncoder();
    AacEncoder(const AacEncoder&) = delete;
    AacEncoder& operator=(const AacEncoder&) = delete;

    // False when the rate has no AAC sampling-frequency index, channels is not 1 or 2, or the
    // encoder is missing. An encoder still open is closed first.
    bool open(int sampleRate, int channels);
    void close();
    bool isOpen() const { return m_channels > 0; }

    // Samples (all channels together) one encode() call takes: 1024 x channels.
    int inputSamples() const { return m_channels * kFrameLength; }
    // Largest frame encode() returns, ADTS header included.
    int maxOutputBytes() const;

    // The record to edit before setConfiguration(); the defaults until then.
    AacEncoderConfig& currentConfiguration() { return m_config; }
    // Applies the record and opens the codec. False when a value is out of range or the
    // encoder refuses it, and once encoding has begun.
    bool setConfiguration(const AacEncoderConfig& config);

    // Encodes `samples` interleaved samples (a multiple of channels, at most inputSamples()).
    // A short frame is taken as the last one. `samples` 0 asks for what the encoder still
    // holds. Returns the bytes of one frame written to `out`, 0 when the encoder holds its
    // output back for now (after the last frame: when it holds nothing more), -1 on error.
    int encode(const std::int16_t* pcm, int samples, std::uint8_t* out, int outCapacity);

    // The 2-byte AudioSpecificConfig of the stream (object type, rate index, channels).
    std::vector<std::uint8_t> decoderSpecificInfo() const;

    // The AAC sampling-frequency index of a rate; -1 when AAC has none for it.
    static int sampleRateIndex(int sampleRate);

private:
    bool validConfiguration(const AacEncoderConfig& config) const;
    bool openCodec(const AacEncoderConfig& config);
    bool sendFrame(const std::int16_t* pcm, int samples);
    bool sendEndOfStream();
    bool receivePackets();
    int deliver(std::uint8_t* out, int outCapacity);
    void putAdtsHeader(std::uint8_t* out, int frameBytes) const;

    int m_sampleRate = 0;
    int m_channels = 0;
    AacEncoderConfig m_config;
    CodecContextHandle m_codec;
    FrameHandle m_frame;
    PacketHandle m_packet;
    // Encoded frames not yet handed out, oldest first.
    std::deque<std::vector<std::uint8_t>> m_pending;
    std::int64_t m_framesSent = 0; // samples per channel handed to the codec
    bool m_lastFrameSent = false;  // a short frame or the end of stream went in
    bool m_endOfStream = false;    // the end of stream went in
    bool m_drained = false;        // the codec has nothing more
};

} // namespace velmora
