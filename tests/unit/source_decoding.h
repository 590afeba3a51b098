#pragma once

#include "sources/audio_source.h"

#include <cstdint>
#include <vector>

namespace velmora::test {

// Everything a source delivered through read() until the end, channel by channel.
struct DecodedPcm {
    int outChannels = 0;
    int bitsPerSample = 0;
    std::vector<int> left;                // 8-bit material as its unsigned byte values
    std::vector<int> right;               // only when outChannels is 2
    std::vector<int> reads;               // frames of every read() that delivered some
    std::vector<std::uint64_t> positions; // position() after each of those reads
    int largestRead = 0;
    // read() reported the end within the bound on calls, and no read delivered more than
    // AudioSource::kMaxFramesPerRead frames (reading stops at such a read; its samples are not
    // kept).
    bool ended = false;

    std::uint64_t frames() const { return left.size(); }
    // Left, right, left, right ... (left only when mono), as the CLI writes them.
    std::vector<int> interleaved() const;
};

// Reads `source` to its end, at most `maxReads` calls. Mono sources get no right buffer, so a
// source that writes one anyway crashes the test instead of passing.
DecodedPcm decodeSource(AudioSource& source, int maxReads = 1'000'000);

} // namespace velmora::test
