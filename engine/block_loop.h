#pragma once

#include "sources/audio_source.h"
#include "sources/source_kind.h"

#include <cstdint>
#include <functional>
#include <string>

namespace velmora {

class BatchView;
class SegmentFilter;

// Moves a source's PCM block by block into a routine's block handler, driving the upper
// progress bar and text and checking for cancel between blocks. With a segment filter only the
// segment reaches the handler, and progress counts the segment's frames.
class BlockLoop {
public:
    // StartPastEnd: the source ended before the segment's start; nothing reached the handler.
    enum class Outcome { Completed, Cancelled, WriteFailed, StartPastEnd };

    // Adapts, amplifies and writes one block as delivered by the source; false stops the loop
    // with WriteFailed.
    using BlockHandler = std::function<bool(std::int16_t* left, std::int16_t* right, int frames)>;

    // The segment filter, when given, is the caller's and outlives the loop.
    BlockLoop(AudioSource& source, SourceKind kind, BatchView& view, std::string sourceFileName,
              SegmentFilter* segment = nullptr);

    Outcome run(const BlockHandler& handleBlock);

private:
    std::uint64_t progressTotal() const;
    std::uint64_t progressPosition(std::uint64_t sourcePosition) const;
    bool drainSegment(const BlockHandler& handleBlock, std::int16_t* left, std::int16_t* right);
    void reportProgress(std::uint64_t position);
    void completeProgress();
    bool synthesisedPastItsLength(std::uint64_t position) const;

    AudioSource& m_source;
    SourceKind m_kind;
    BatchView& m_view;
    std::string m_sourceFileName;
    SegmentFilter* m_segment = nullptr;
    std::uint64_t m_sourceLength = 0; // in the source's unit
    std::uint64_t m_total = 0;        // of progress: the source's unit, or segment frames
    std::uint64_t m_percentUnit = 1;
    std::uint64_t m_barUnit = 1;
    int m_barWidth = 0;
    std::uint64_t m_lastPercent = 0;
    std::uint64_t m_lastBar = 0;
};

// "Converting NAME...P%" as the upper progress text shows it.
std::string convertingPercentText(const std::string& fileName, int percent);

} // namespace velmora
