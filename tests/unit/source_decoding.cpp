#include "tests/unit/source_decoding.h"

#include <algorithm>
#include <array>

namespace velmora::test {

std::vector<int> DecodedPcm::interleaved() const {
    std::vector<int> samples;
    samples.reserve(left.size() + right.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
        samples.push_back(left[i]);
        if (outChannels == 2 && i < right.size())
            samples.push_back(right[i]);
    }
    return samples;
}

DecodedPcm decodeSource(AudioSource& source, int maxReads) {
    DecodedPcm result;
    result.outChannels = source.outChannels();
    result.bitsPerSample = source.bitsPerSample();
    const bool stereo = result.outChannels == 2;
    const bool eightBit = result.bitsPerSample == 8;
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> left{};
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> right{};
    const auto keep = [eightBit](std::array<std::int16_t, AudioSource::kMaxFramesPerRead>& plane,
                                 int frames, std::vector<int>& out) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i)
            out.push_back(eightBit ? AudioSource::asBytes(plane.data())[i] : plane[i]);
    };
    for (int call = 0; call < maxReads; ++call) {
        const int frames = source.read(left.data(), stereo ? right.data() : nullptr);
        if (frames <= 0) {
            result.ended = true;
            break;
        }
        result.reads.push_back(frames);
        result.positions.push_back(source.position());
        result.largestRead = std::max(result.largestRead, frames);
        if (frames > AudioSource::kMaxFramesPerRead)
            break;
        keep(left, frames, result.left);
        if (stereo)
            keep(right, frames, result.right);
    }
    return result;
}

} // namespace velmora::test
