#include "platform/aac/pcm_frame_buffer.h"

namespace velmora {

void PcmFrameBuffer::reset(int channels, int capacity) {
    m_channels = channels;
    m_count = 0;
    // Whole frames only, so that a full buffer never splits one.
    const bool usable = (channels == 1 || channels == 2) && capacity >= channels;
    m_samples.assign(usable ? static_cast<std::size_t>(capacity - capacity % channels) : 0, 0);
}

template <typename Sample, typename Widen>
bool PcmFrameBuffer::append(const Sample* left, const Sample* right, int frames,
                            const FullHandler& onFull, Widen widen) {
    if (frames < 0 || (m_channels != 1 && m_channels != 2) || m_samples.empty())
        return false;
    if (frames == 0)
        return true;
    if (!left || (m_channels == 2 && !right))
        return false;
    const int full = capacity();
    for (int i = 0; i < frames; ++i) {
        m_samples[static_cast<std::size_t>(m_count++)] = widen(left[i]);
        if (m_channels == 2)
            m_samples[static_cast<std::size_t>(m_count++)] = widen(right[i]);
        if (m_count == full) {
            m_count = 0;
            if (!onFull(m_samples.data(), full))
                return false;
        }
    }
    return true;
}

bool PcmFrameBuffer::append16(const std::int16_t* left, const std::int16_t* right, int frames,
                              const FullHandler& onFull) {
    return append(left, right, frames, onFull, [](std::int16_t s) { return s; });
}

bool PcmFrameBuffer::append8(const std::uint8_t* left, const std::uint8_t* right, int frames,
                             const FullHandler& onFull) {
    return append(left, right, frames, onFull, [](std::uint8_t s) {
        return static_cast<std::int16_t>((static_cast<int>(s) - 128) * 256);
    });
}

} // namespace velmora
