#include "engine/segment_filter.h"

#include "sources/audio_source.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace velmora {
namespace {

constexpr int kMillisecondsPerSecond = 1000;
constexpr double kUnsigned8Centre = 128.0;

// Equal-power curves: the two gains of a cross-fade square to one at every point. The fade-in
// starts from silence, the fade-out ends in it.
double fadeInGain(std::uint64_t index, std::uint64_t span) {
    return std::sin(std::numbers::pi / 2 * static_cast<double>(index) / static_cast<double>(span));
}

double fadeOutGain(std::uint64_t index, std::uint64_t span) {
    return std::cos(std::numbers::pi / 2 * static_cast<double>(index + 1) /
                    static_cast<double>(span));
}

} // namespace

std::uint64_t SegmentFilter::framesOf(std::int64_t ms, int rate) {
    if (ms <= 0 || rate <= 0)
        return 0;
    const auto milliseconds = static_cast<std::uint64_t>(ms);
    const auto hertz = static_cast<std::uint64_t>(rate);
    if (milliseconds > std::numeric_limits<std::uint64_t>::max() / hertz)
        return std::numeric_limits<std::uint64_t>::max();
    return milliseconds * hertz / kMillisecondsPerSecond;
}

SegmentFilter::SegmentFilter(const Segment& segment, int rate, int channels, int bits)
    : m_channels(channels == 2 ? 2 : 1), m_bits(bits == 8 ? 8 : 16) {
    const Segment fitted = withFittingFades(segment);
    m_startFrame = framesOf(fitted.startMs, rate);
    m_lengthFrames = framesOf(fitted.lengthMs, rate);
    m_fadeInFrames = framesOf(fitted.fadeInMs, rate);
    m_fadeOutFrames = std::min(framesOf(fitted.fadeOutMs, rate), kMaxHeldFrames);
}

int SegmentFilter::take(std::int16_t* left, std::int16_t* right, int frames) {
    if (frames <= 0)
        return 0;
    int out = 0;
    // Frames before the start are passed over a block at a time.
    const std::uint64_t toSkip =
        std::min<std::uint64_t>(m_startFrame - m_skipped, static_cast<std::uint64_t>(frames));
    m_skipped += toSkip;
    for (int in = static_cast<int>(toSkip); in < frames; ++in) {
        if (ended())
            break;
        Frame frame = readFrame(left, right, in);
        if (m_taken < m_fadeInFrames)
            frame = scaled(frame, fadeInGain(m_taken, m_fadeInFrames));
        ++m_taken;
        // Frames leave in order and never faster than they come, so `out` never passes `in`:
        // writing in place does not touch a frame not read yet.
        Frame leaving;
        if (delay(frame, leaving))
            writeFrame(left, right, out++, leaving);
    }
    return out;
}

bool SegmentFilter::delay(Frame frame, Frame& out) {
    if (m_fadeOutFrames == 0) {
        out = frame;
        return true;
    }
    if (m_held.size() < m_fadeOutFrames) {
        m_held.push_back(frame);
        return false;
    }
    out = m_held[m_heldHead];
    m_held[m_heldHead] = frame;
    m_heldHead = (m_heldHead + 1) % m_held.size();
    return true;
}

int SegmentFilter::drain(std::int16_t* left, std::int16_t* right, int maxFrames) {
    const std::size_t count = m_held.size();
    int out = 0;
    while (out < maxFrames && m_drained < count) {
        const Frame frame = m_held[(m_heldHead + m_drained) % count];
        writeFrame(left, right, out++, scaled(frame, fadeOutGain(m_drained, count)));
        ++m_drained;
    }
    return out;
}

SegmentFilter::Frame SegmentFilter::readFrame(const std::int16_t* left, const std::int16_t* right,
                                              int index) const {
    Frame frame;
    if (m_bits == 8) {
        frame.left = reinterpret_cast<const std::uint8_t*>(left)[index];
        if (m_channels == 2)
            frame.right = reinterpret_cast<const std::uint8_t*>(right)[index];
        return frame;
    }
    frame.left = left[index];
    if (m_channels == 2)
        frame.right = right[index];
    return frame;
}

void SegmentFilter::writeFrame(std::int16_t* left, std::int16_t* right, int index,
                               Frame frame) const {
    if (m_bits == 8) {
        AudioSource::asBytes(left)[index] = static_cast<std::uint8_t>(frame.left);
        if (m_channels == 2)
            AudioSource::asBytes(right)[index] = static_cast<std::uint8_t>(frame.right);
        return;
    }
    left[index] = frame.left;
    if (m_channels == 2)
        right[index] = frame.right;
}

SegmentFilter::Frame SegmentFilter::scaled(Frame frame, double gain) const {
    // Unsigned 8-bit samples swing around 128, not 0.
    const double centre = m_bits == 8 ? kUnsigned8Centre : 0.0;
    const auto scale = [&](std::int16_t sample) {
        return static_cast<std::int16_t>(std::lround(centre + (sample - centre) * gain));
    };
    return {scale(frame.left), scale(frame.right)};
}

} // namespace velmora
