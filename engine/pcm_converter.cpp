#include "engine/pcm_converter.h"

#include "sources/audio_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <soxr.h>

namespace velmora {

static_assert(PcmConverter::kMaxBlockFrames == AudioSource::kMaxFramesPerRead);

namespace {

// A soxr_process call that keeps failing to make progress means a broken state; this many calls
// per block is far beyond what a healthy state needs (usually one; a few while draining).
constexpr int kMaxResampleCalls = 64;

template <typename T> T* grown(std::vector<T>& buffer, std::size_t samples) {
    if (buffer.size() < samples)
        buffer.resize(samples);
    return buffer.data();
}

std::int16_t widen(std::uint8_t u) {
    return static_cast<std::int16_t>((u - 128) * 256);
}

std::uint8_t narrow(std::int16_t s) {
    return static_cast<std::uint8_t>((s >> 8) + 128);
}

// Planar mixdown; 16-bit sums are signed, 8-bit sums unsigned, both halved by a shift so that
// negative odd sums round toward minus infinity.
void mix(const std::int16_t* a, const std::int16_t* b, int count, std::int16_t* out) {
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<std::int16_t>((a[i] + b[i]) >> 1);
}

void mix(const std::uint8_t* a, const std::uint8_t* b, int count, std::uint8_t* out) {
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>((unsigned{a[i]} + unsigned{b[i]}) >> 1);
}

void toFloat(ConstPcmPlane in, int bits, int count, float* out) {
    if (bits == 16) {
        const std::int16_t* s = in.samples16();
        for (int i = 0; i < count; ++i)
            out[i] = static_cast<float>(s[i]) / 32768.0f;
    } else {
        const std::uint8_t* u = in.samples8();
        for (int i = 0; i < count; ++i)
            out[i] = static_cast<float>(u[i] - 128) / 128.0f;
    }
}

// Full scale maps to 32767 (16-bit) or 127 around 128 (8-bit); the filter's overshoot is clamped
// so it never wraps.
std::int16_t fromFloat(float y, int bits) {
    if (std::isnan(y))
        y = 0.0f;
    y = std::clamp(y, -1.0f, 1.0f);
    if (bits == 16)
        return static_cast<std::int16_t>(y * 32767.0f);
    return static_cast<std::int16_t>(static_cast<int>(y * 127.0f) + 128);
}

void copySamples(ConstPcmPlane from, int bits, int count, PcmPlane to) {
    std::memcpy(to.samples8(), from.samples8(),
                static_cast<std::size_t>(count) * (bits == 16 ? 2 : 1));
}

// Both channels of a stereo block mixed into one, in the block's width.
ConstPcmPlane mixed(ConstPcmPlane a, ConstPcmPlane b, int bits, int count,
                    std::vector<std::int16_t>& mix16, std::vector<std::uint8_t>& mix8) {
    const auto samples = static_cast<std::size_t>(count);
    if (bits == 16) {
        std::int16_t* mono = grown(mix16, samples);
        mix(a.samples16(), b.samples16(), count, mono);
        return mono;
    }
    std::uint8_t* mono = grown(mix8, samples);
    mix(a.samples8(), b.samples8(), count, mono);
    return mono;
}

// One channel of 32-bit float in and out: the conversions to and from the sample widths stay
// ours, so clamping and truncation do not depend on the library. High quality (20-bit) keeps the
// passband flat to about 91 % of the lower Nyquist rate; one thread, since each converter belongs
// to one conversion.
soxr* openResampler(int inRate, int outRate) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    soxr* state = soxr_create(inRate, outRate, 1, &error, &io, &quality, &runtime);
    if (error && state) {
        soxr_delete(state);
        state = nullptr;
    }
    return state;
}

bool validChannels(int channels) {
    return channels == 1 || channels == 2;
}

bool validBits(int bits) {
    return bits == 8 || bits == 16;
}

} // namespace

PcmConverter::~PcmConverter() {
    closeResamplers();
}

int PcmConverter::outputCapacity(int inRate, int outRate) {
    if (inRate <= 0 || outRate <= 0)
        return kMaxBlockFrames;
    return (outRate / inRate + 1) * kMaxBlockFrames;
}

void PcmConverter::setInputFormat(int channels, int rate, int bits) {
    m_inChannels = channels;
    m_inRate = rate;
    m_inBits = bits;
}

void PcmConverter::setOutputFormat(int channels, int rate, int bits) {
    m_outChannels = channels;
    m_outRate = rate;
    m_outBits = bits;
}

void PcmConverter::closeResamplers() {
    for (soxr*& state : m_resampler) {
        if (state)
            soxr_delete(state);
        state = nullptr;
    }
}

int PcmConverter::resamplerCount() const {
    return (m_resampler[0] ? 1 : 0) + (m_resampler[1] ? 1 : 0);
}

int PcmConverter::workingChannels() const {
    return (m_inChannels == 2 && m_outChannels == 2) ? 2 : 1;
}

bool PcmConverter::setup() {
    closeResamplers();
    m_ready = false;
    m_drained = false;
    m_factor = 0.0;
    m_framesIn = 0;
    m_framesOut = 0;
    m_pendingFrames = 0;
    if (!validChannels(m_inChannels) || !validChannels(m_outChannels) || !validBits(m_inBits) ||
        !validBits(m_outBits) || m_inRate <= 0 || m_outRate <= 0)
        return false;
    if (m_inRate != m_outRate) {
        m_factor = static_cast<double>(m_outRate) / static_cast<double>(m_inRate);
        // A mono signal fanned out to two channels is resampled once and copied.
        for (int channel = 0; channel < workingChannels(); ++channel) {
            m_resampler[channel] = openResampler(m_inRate, m_outRate);
            if (!m_resampler[channel]) {
                closeResamplers();
                m_factor = 0.0;
                return false;
            }
        }
    }
    m_ready = true;
    return true;
}

int PcmConverter::process(ConstPcmPlane in0, ConstPcmPlane in1, int count, PcmPlane out0,
                          PcmPlane out1) {
    if (!m_ready || m_drained || count <= 0 || count > kMaxBlockFrames || !in0 || !out0)
        return 0;
    if (m_inChannels == 2 && !in1)
        return 0;
    if (m_outChannels == 2 && !out1)
        return 0;
    const auto samples = static_cast<std::size_t>(count);
    ConstPcmPlane channel[2] = {in0, m_inChannels == 2 ? in1 : nullptr};

    if (!resampling()) {
        if (m_inBits != m_outBits) {
            for (int c = 0; c < m_inChannels; ++c) {
                if (m_outBits == 16) {
                    const std::uint8_t* u = channel[c].samples8();
                    std::int16_t* s = grown(m_depth16[c], samples);
                    for (int i = 0; i < count; ++i)
                        s[i] = widen(u[i]);
                    channel[c] = s;
                } else {
                    const std::int16_t* s = channel[c].samples16();
                    std::uint8_t* u = grown(m_depth8[c], samples);
                    for (int i = 0; i < count; ++i)
                        u[i] = narrow(s[i]);
                    channel[c] = u;
                }
            }
        }
        if (m_inChannels == 2 && m_outChannels == 1) {
            channel[0] = mixed(channel[0], channel[1], m_outBits, count, m_mix16, m_mix8);
        } else if (m_inChannels == 1 && m_outChannels == 2) {
            channel[1] = channel[0];
        }
        copySamples(channel[0], m_outBits, count, out0);
        if (m_outChannels == 2)
            copySamples(channel[1], m_outBits, count, out1);
        return count;
    }

    // Resampling: the mixdown happens first, in the input width, so only one channel is filtered.
    if (m_inChannels == 2 && m_outChannels == 1)
        channel[0] = mixed(in0, in1, m_inBits, count, m_mix16, m_mix8);
    int produced = -1;
    for (int c = 0; c < workingChannels(); ++c) {
        toFloat(channel[c], m_inBits, count, grown(m_floatIn, samples));
        const int n = resampleChannel(c, count, false);
        appendPending(c, n);
        // Both states see the same input lengths, so they produce the same counts.
        produced = produced < 0 ? n : std::min(produced, n);
    }
    m_framesIn += count;
    m_framesOut += produced;
    m_pendingFrames += produced;
    return deliverPending(out0, out1);
}

int PcmConverter::finish(PcmPlane out0, PcmPlane out1) {
    if (!m_ready || !resampling() || !out0 || (m_outChannels == 2 && !out1))
        return 0;
    if (!m_drained) {
        m_drained = true;
        // Stop at the input's duration; past it the drain only yields the filter's decay.
        const std::int64_t wanted =
            std::llround(static_cast<double>(m_framesIn) * m_factor) - m_framesOut;
        int produced = -1;
        for (int c = 0; c < workingChannels(); ++c) {
            int n = resampleChannel(c, 0, true);
            n = static_cast<int>(std::clamp<std::int64_t>(wanted, 0, n));
            appendPending(c, n);
            produced = produced < 0 ? n : std::min(produced, n);
        }
        m_framesOut += produced;
        m_pendingFrames += produced;
    }
    return deliverPending(out0, out1);
}

int PcmConverter::resampleChannel(int channel, int count, bool lastBlock) {
    soxr* state = m_resampler[channel];
    // A null input tells soxr that the signal has ended, so it flushes its filter.
    const float* in = lastBlock ? nullptr : grown(m_floatIn, 1);
    const std::size_t wanted = lastBlock ? 0 : static_cast<std::size_t>(count);
    const auto perCall = static_cast<std::size_t>(outputCapacity(m_inRate, m_outRate));
    std::size_t consumed = 0;
    std::size_t produced = 0;
    for (int call = 0; call < kMaxResampleCalls; ++call) {
        if (m_floatOut.size() - produced < perCall)
            m_floatOut.resize(produced + perCall);
        const std::size_t room = m_floatOut.size() - produced;
        std::size_t used = 0;
        std::size_t made = 0;
        const soxr_error_t error =
            soxr_process(state, in ? in + consumed : nullptr, wanted - consumed, &used,
                         m_floatOut.data() + produced, room, &made);
        if (error)
            break;
        consumed += used;
        produced += made;
        // soxr takes only as much input as the output room allows; with all input taken and
        // room to spare, this block (or the drained tail) is complete.
        if (consumed >= wanted && made < room)
            break;
        if (made == 0 && used == 0)
            break;
    }
    return static_cast<int>(produced);
}

void PcmConverter::appendPending(int channel, int produced) {
    std::int16_t* out =
        grown(m_pending[channel], static_cast<std::size_t>(m_pendingFrames + produced)) +
        m_pendingFrames;
    for (int i = 0; i < produced; ++i)
        out[i] = fromFloat(m_floatOut[static_cast<std::size_t>(i)], m_outBits);
}

int PcmConverter::deliverPending(PcmPlane out0, PcmPlane out1) {
    const int frames = std::min(m_pendingFrames, outputCapacity(m_inRate, m_outRate));
    if (frames <= 0)
        return 0;
    // A mono signal fanned out to two channels was only resampled into m_pending[0].
    const std::int16_t* from[2] = {
        m_pending[0].data(), workingChannels() == 2 ? m_pending[1].data() : m_pending[0].data()};
    const PcmPlane to[2] = {out0, out1};
    for (int c = 0; c < m_outChannels; ++c) {
        if (m_outBits == 16) {
            std::memcpy(to[c].samples16(), from[c], static_cast<std::size_t>(frames) * 2);
        } else {
            std::uint8_t* u = to[c].samples8();
            for (int i = 0; i < frames; ++i)
                u[i] = static_cast<std::uint8_t>(from[c][i]);
        }
    }
    const int left = m_pendingFrames - frames;
    for (int c = 0; c < workingChannels() && left > 0; ++c)
        std::memmove(m_pending[c].data(), m_pending[c].data() + frames,
                     static_cast<std::size_t>(left) * sizeof(std::int16_t));
    m_pendingFrames = left;
    return frames;
}

} // namespace velmora
