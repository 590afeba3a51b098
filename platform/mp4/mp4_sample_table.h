#pragma once

#include "platform/mp4/mp4_box_builder.h"
#include "platform/spill_file.h"

#include <cstdint>
#include <vector>

namespace velmora {

// The sample index of one track, gathered while its samples are written and turned into the
// stts, stsc, stsz and stco (or co64) boxes at the end. Durations and chunks are kept as runs
// and stay small; the sample sizes, four bytes a sample, go to a spill file, so memory does
// not grow with the length of the track.
//
// Consecutive samples share a chunk until it would pass kMaxChunkBytes or a sample does not
// follow the previous one in the file.
class Mp4SampleTable {
public:
    static constexpr std::uint64_t kMaxChunkBytes = 1024 * 1024;

    // Starts an empty table for a track of `timeScale` units per second.
    void open(std::uint32_t timeScale);
    // A sample of `size` bytes at file offset `offset`, lasting `duration` units. False once
    // the table cannot take more (the 32-bit sample count) or its size spill fails.
    bool add(std::uint32_t size, std::uint32_t duration, std::uint64_t offset);

    std::uint32_t sampleCount() const { return m_samples; }
    std::uint64_t duration() const { return m_duration; }
    std::uint32_t largestSample() const { return m_largestSample; }
    // Bits per second over the whole track, and the most any whole second of it holds (at
    // least the average).
    std::uint32_t averageBitrate() const;
    std::uint32_t peakBitrate() const;

    // The four index boxes, inside the open stbl. The stsz entries are left out as the
    // builder's external stretch: streamSizes() supplies them.
    void writeBoxes(Mp4BoxBuilder& builder);
    // The stsz entries (big-endian 32-bit sizes, in sample order) to `reader`.
    bool streamSizes(const SpillFile::Reader& reader);
    void close();

private:
    struct TimeRun {
        std::uint32_t samples;
        std::uint32_t duration;
    };
    struct ChunkRun {
        std::uint32_t firstChunk; // 1-based
        std::uint32_t samplesPerChunk;
    };

    void startChunk(std::uint64_t offset);
    void endChunk();
    void countBitrateWindow(std::uint32_t size);

    SpillFile m_sizes;
    std::vector<TimeRun> m_timeRuns;
    std::vector<ChunkRun> m_chunkRuns;
    std::vector<std::uint64_t> m_chunkOffsets;
    std::uint32_t m_timeScale = 0;
    std::uint32_t m_samples = 0;
    std::uint64_t m_duration = 0;
    std::uint64_t m_bytes = 0;
    std::uint32_t m_largestSample = 0;
    std::uint32_t m_chunkSamples = 0; // of the chunk being filled
    std::uint64_t m_chunkEnd = 0;     // file offset just past it
    std::uint64_t m_windowSecond = 0;
    std::uint64_t m_windowBytes = 0;
    std::uint64_t m_peakWindowBytes = 0;
};

} // namespace velmora
