#include "platform/mp4/mp4_sample_table.h"

#include <algorithm>
#include <limits>

namespace velmora {

void Mp4SampleTable::open(std::uint32_t timeScale) {
    close();
    m_timeScale = timeScale;
    m_sizes.open();
}

bool Mp4SampleTable::add(std::uint32_t size, std::uint32_t duration, std::uint64_t offset) {
    if (!m_sizes.isOpen() || m_samples == std::numeric_limits<std::uint32_t>::max())
        return false;
    const std::uint8_t bigEndian[4] = {
        static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
        static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
    if (!m_sizes.append(bigEndian))
        return false;

    if (m_chunkSamples == 0 || offset != m_chunkEnd ||
        m_chunkEnd - m_chunkOffsets.back() + size > kMaxChunkBytes) {
        endChunk();
        startChunk(offset);
    }
    ++m_chunkSamples;
    m_chunkEnd = offset + size;

    if (!m_timeRuns.empty() && m_timeRuns.back().duration == duration)
        ++m_timeRuns.back().samples;
    else
        m_timeRuns.push_back({1, duration});

    countBitrateWindow(size);
    ++m_samples;
    m_duration += duration;
    m_bytes += size;
    m_largestSample = std::max(m_largestSample, size);
    return true;
}

void Mp4SampleTable::startChunk(std::uint64_t offset) {
    m_chunkOffsets.push_back(offset);
    m_chunkEnd = offset;
}

void Mp4SampleTable::endChunk() {
    if (m_chunkSamples == 0)
        return;
    if (m_chunkRuns.empty() || m_chunkRuns.back().samplesPerChunk != m_chunkSamples)
        m_chunkRuns.push_back({static_cast<std::uint32_t>(m_chunkOffsets.size()), m_chunkSamples});
    m_chunkSamples = 0;
}

// Counts the sample in the whole second of the track its decoding starts in.
void Mp4SampleTable::countBitrateWindow(std::uint32_t size) {
    const std::uint64_t second = m_timeScale ? m_duration / m_timeScale : 0;
    if (second != m_windowSecond) {
        m_peakWindowBytes = std::max(m_peakWindowBytes, m_windowBytes);
        m_windowBytes = 0;
        m_windowSecond = second;
    }
    m_windowBytes += size;
}

std::uint32_t Mp4SampleTable::averageBitrate() const {
    if (m_duration == 0)
        return 0;
    const unsigned __int128 bits = static_cast<unsigned __int128>(m_bytes) * 8 * m_timeScale;
    const unsigned __int128 rate = bits / m_duration;
    return static_cast<std::uint32_t>(
        std::min<unsigned __int128>(rate, std::numeric_limits<std::uint32_t>::max()));
}

std::uint32_t Mp4SampleTable::peakBitrate() const {
    const std::uint64_t peakBits = std::max(m_peakWindowBytes, m_windowBytes) * 8;
    const std::uint64_t peak = std::max<std::uint64_t>(peakBits, averageBitrate());
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(peak, std::numeric_limits<std::uint32_t>::max()));
}

void Mp4SampleTable::writeBoxes(Mp4BoxBuilder& builder) {
    endChunk();

    builder.beginFull("stts", 0);
    builder.u32(static_cast<std::uint32_t>(m_timeRuns.size()));
    for (const TimeRun& run : m_timeRuns) {
        builder.u32(run.samples);
        builder.u32(run.duration);
    }
    builder.end();

    builder.beginFull("stsc", 0);
    builder.u32(static_cast<std::uint32_t>(m_chunkRuns.size()));
    for (const ChunkRun& run : m_chunkRuns) {
        builder.u32(run.firstChunk);
        builder.u32(run.samplesPerChunk);
        builder.u32(1); // the one sample description
    }
    builder.end();

    builder.beginFull("stsz", 0);
    builder.u32(0); // sizes differ: one entry each
    builder.u32(m_samples);
    builder.external(std::uint64_t{4} * m_samples);
    builder.end();

    const bool wide = !m_chunkOffsets.empty() &&
                      m_chunkOffsets.back() > std::numeric_limits<std::uint32_t>::max();
    builder.beginFull(wide ? "co64" : "stco", 0);
    builder.u32(static_cast<std::uint32_t>(m_chunkOffsets.size()));
    for (const std::uint64_t offset : m_chunkOffsets) {
        if (wide)
            builder.u64(offset);
        else
            builder.u32(static_cast<std::uint32_t>(offset));
    }
    builder.end();
}

bool Mp4SampleTable::streamSizes(const SpillFile::Reader& reader) {
    return m_sizes.readBack(reader);
}

void Mp4SampleTable::close() {
    m_sizes.close();
    m_timeRuns = {};
    m_chunkRuns = {};
    m_chunkOffsets = {};
    m_timeScale = 0;
    m_samples = 0;
    m_duration = 0;
    m_bytes = 0;
    m_largestSample = 0;
    m_chunkSamples = 0;
    m_chunkEnd = 0;
    m_windowSecond = 0;
    m_windowBytes = 0;
    m_peakWindowBytes = 0;
}

} // namespace velmora
