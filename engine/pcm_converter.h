#pragma once

#include "engine/pcm_plane.h"

#include <cstdint>
#include <vector>

struct soxr;

namespace velmora {

// Adapts planar PCM blocks between the format a source delivers and the format a writer takes:
// channel count (1 <-> 2), sample width (8 <-> 16 bits) and sample rate (libsoxr at high
// quality, one state per channel that is actually resampled).
//
// Sample buffers are planes (see PcmPlane): 16-bit material as std::int16_t samples, 8-bit
// material as std::uint8_t samples (unsigned, 128 = silence) from the plane's first byte on.
//
// Use: set both formats, setup(), process() once per block of at most kMaxBlockFrames frames,
// then finish() after the last block, until it returns 0, to collect the samples the resampler
// still holds.
// Every output buffer handed in must have room for outputCapacity(inRate, outRate) samples of the
// output width. The converter owns all its scratch memory; it grows on demand, is reused from
// block to block and is freed by the destructor.
class PcmConverter {
public:
    // Frames per block that process() accepts; equal to AudioSource::kMaxFramesPerRead.
    static constexpr int kMaxBlockFrames = 1152;

    PcmConverter() = default;
    ~PcmConverter();
    PcmConverter(const PcmConverter&) = delete;
    PcmConverter& operator=(const PcmConverter&) = delete;

    // Samples per channel that one call of process() or finish() may write: (outRate / inRate +
    // 1) x kMaxBlockFrames, integer division. Non-positive rates give kMaxBlockFrames.
    static int outputCapacity(int inRate, int outRate);

    // The six format fields are -1 until set. inChannels is 1 when the routine passes a single
    // chosen channel of a stereo source. Rates in Hz; bits 8 or 16.
    void setInputFormat(int channels, int rate, int bits);
    void setOutputFormat(int channels, int rate, int bits);

    int inChannels() const { return m_inChannels; }
    int inRate() const { return m_inRate; }
    int inBits() const { return m_inBits; }
    int outChannels() const { return m_outChannels; }
    int outRate() const { return m_outRate; }
    int outBits() const { return m_outBits; }

    // Checks the formats and, when the rates differ, opens the resampler states. False when a
    // field is out of range (channels 1 or 2, bits 8 or 16, positive rates) or libsoxr
    // refuses the rates; process() then delivers nothing. May be called again to start over.
    bool setup();

    bool resampling() const { return m_factor > 0.0; }
    // outRate / inRate; 0 when the rates are equal (nothing to resample).
    double factor() const { return m_factor; }
    // Resampler states open: one per channel that is resampled (a mono input fanned out to two
    // output channels is resampled once).
    int resamplerCount() const;

    // Converts `count` frames (0 .. kMaxBlockFrames) of in0/in1 (in1 is read only when inChannels
    // is 2) and writes the result to out0 and, when outChannels is 2, out1. Returns the frames
    // written per channel: `count` when the rates are equal, a varying number when resampling.
    // 0, with nothing written, when not set up, after finish(), for a count outside that range or
    // when a buffer the formats need is missing.
    int process(ConstPcmPlane in0, ConstPcmPlane in1, int count, PcmPlane out0, PcmPlane out1);

    // After the last block: drains what the resampler holds back (about one filter delay), so
    // the output holds round(input frames x factor) frames. Returns the frames written per
    // channel, at most outputCapacity(); call again until it returns 0 (when not resampling or
    // nothing is left). After finish() only setup() revives the converter.
    int finish(PcmPlane out0, PcmPlane out1);

private:
    void closeResamplers();
    int workingChannels() const;
    // Resamples m_floatIn[0 .. count) through channel `channel`'s state into m_floatOut, growing
    // it as needed; returns the samples produced.
    int resampleChannel(int channel, int count, bool lastBlock);
    // Appends `produced` samples of m_floatOut, in outBits, to m_pending[channel].
    void appendPending(int channel, int produced);
    int deliverPending(PcmPlane out0, PcmPlane out1);

    int m_inChannels = -1;
    int m_inRate = -1;
    int m_inBits = -1;
    int m_outChannels = -1;
    int m_outRate = -1;
    int m_outBits = -1;

    bool m_ready = false;
    bool m_drained = false;
    double m_factor = 0.0;
    soxr* m_resampler[2] = {nullptr, nullptr};

    // Frames fed to and delivered from the resampler since setup(); finish() uses them to stop
    // at round(input x factor) frames instead of emitting the filter's ringing past the end.
    std::int64_t m_framesIn = 0;
    std::int64_t m_framesOut = 0;

    // Scratch memory, sized in samples; only ever grows.
    std::vector<std::int16_t> m_depth16[2];
    std::vector<std::uint8_t> m_depth8[2];
    std::vector<std::int16_t> m_mix16;
    std::vector<std::uint8_t> m_mix8;
    std::vector<float> m_floatIn;
    std::vector<float> m_floatOut;
    // Resampled samples in outBits (8-bit values 0..255) not yet handed to the caller; they only
    // wait here when a block produced more than the caller's capacity.
    std::vector<std::int16_t> m_pending[2];
    int m_pendingFrames = 0;
};

} // namespace velmora
