#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace velmora {

// Gathers planar PCM blocks of any length into interleaved 16-bit frames of a fixed number of
// samples, the unit an AAC encoder takes per call. Whenever the buffer is full it is handed to
// a handler and starts again empty, also in the middle of a block.
class PcmFrameBuffer {
public:
    // Receives `samples` interleaved samples (always the capacity); false stops the append.
    using FullHandler = std::function<bool(const std::int16_t* pcm, int samples)>;

    // Empties the buffer and sizes it for `capacity` samples of `channels` (1 or 2) channels;
    // capacity is a multiple of channels.
    void reset(int channels, int capacity);

    // Signed 16-bit input. `right` is read only for two channels. False when a handler
    // refused a full buffer (the rest of the block is then dropped) or the input is unusable.
    bool append16(const std::int16_t* left, const std::int16_t* right, int frames,
                  const FullHandler& onFull);
    // Unsigned 8-bit input; each sample x enters as (x - 128) x 256.
    bool append8(const std::uint8_t* left, const std::uint8_t* right, int frames,
                 const FullHandler& onFull);

    const std::int16_t* data() const { return m_samples.data(); }
    int count() const { return m_count; }
    int capacity() const { return static_cast<int>(m_samples.size()); }
    void clear() { m_count = 0; }

private:
    template <typename Sample, typename Widen>
    bool append(const Sample* left, const Sample* right, int frames, const FullHandler& onFull,
                Widen widen);

    std::vector<std::int16_t> m_samples;
    int m_channels = 0;
    int m_count = 0;
};

} // namespace velmora
