#include "engine/block_loop.h"

#include "engine/batch_view.h"
#include "engine/segment_filter.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace velmora {

std::string convertingPercentText(const std::string& fileName, int percent) {
    return "Converting " + fileName + "..." + std::to_string(percent) + "%";
}

BlockLoop::BlockLoop(AudioSource& source, SourceKind kind, BatchView& view,
                     std::string sourceFileName, SegmentFilter* segment)
    : m_source(source), m_kind(kind), m_view(view), m_sourceFileName(std::move(sourceFileName)),
      m_segment(segment) {
    m_sourceLength = std::max<std::uint64_t>(source.length(), 1);
    m_total = progressTotal();
    m_percentUnit = m_total / 100;
    if (m_total == 0)
        m_total = 1;
    if (m_percentUnit == 0)
        m_percentUnit = 1;
    m_barWidth = std::max(view.upperBarWidth(), 1);
    m_view.setUpperBarRange(m_barWidth);
    m_view.setUpperBarPosition(0);
    m_barUnit = std::max<std::uint64_t>(m_total / static_cast<std::uint64_t>(m_barWidth), 1);
}

BlockLoop::Outcome BlockLoop::run(const BlockHandler& handleBlock) {
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> left{};
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> right{};
    std::int16_t* rightPlane = m_source.outChannels() == 2 ? right.data() : nullptr;
    for (;;) {
        int frames = m_source.read(left.data(), rightPlane);
        if (frames <= 0)
            break;
        frames = std::min(frames, AudioSource::kMaxFramesPerRead);
        if (m_segment)
            frames = m_segment->take(left.data(), rightPlane, frames);
        const std::uint64_t position = m_source.position();
        reportProgress(progressPosition(position));
        m_view.pumpMessages();
        if (m_view.cancelRequested())
            return Outcome::Cancelled;
        if (frames > 0 && !handleBlock(left.data(), rightPlane, frames))
            return Outcome::WriteFailed;
        if (synthesisedPastItsLength(position) || (m_segment && m_segment->ended()))
            break;
    }
    if (m_segment) {
        if (!drainSegment(handleBlock, left.data(), rightPlane))
            return Outcome::WriteFailed;
        if (m_segment->framesTaken() == 0)
            return Outcome::StartPastEnd;
    }
    completeProgress();
    return Outcome::Completed;
}

bool BlockLoop::drainSegment(const BlockHandler& handleBlock, std::int16_t* left,
                             std::int16_t* right) {
    for (;;) {
        const int frames = m_segment->drain(left, right, AudioSource::kMaxFramesPerRead);
        if (frames <= 0)
            return true;
        if (!handleBlock(left, right, frames))
            return false;
    }
}

// A segment's progress runs over its own frames: its length, or what the source holds after
// the start when the source announces a shorter duration.
std::uint64_t BlockLoop::progressTotal() const {
    if (!m_segment)
        return m_sourceLength;
    std::uint64_t total = m_segment->lengthFrames();
    const std::uint64_t sourceFrames = SegmentFilter::framesOf(
        std::int64_t{m_source.durationSeconds()} * 1000, m_source.sampleRate());
    if (sourceFrames > m_segment->startFrame())
        total = std::min(total, sourceFrames - m_segment->startFrame());
    return total;
}

std::uint64_t BlockLoop::progressPosition(std::uint64_t sourcePosition) const {
    return m_segment ? m_segment->framesTaken() : sourcePosition;
}

void BlockLoop::reportProgress(std::uint64_t position) {
    const std::uint64_t percent = std::min<std::uint64_t>(position / m_percentUnit, 100);
    if (percent > m_lastPercent) {
        m_view.setUpperText(convertingPercentText(m_sourceFileName, static_cast<int>(percent)));
        m_lastPercent = percent;
    }
    // Past the bar's end the bar is full: a position beyond it would show nothing new.
    const std::uint64_t bar =
        std::min<std::uint64_t>(position / m_barUnit, static_cast<std::uint64_t>(m_barWidth));
    if (bar > m_lastBar) {
        m_view.setUpperBarPosition(static_cast<int>(bar));
        m_lastBar = bar;
    }
}

void BlockLoop::completeProgress() {
    if (m_lastPercent != 100)
        m_view.setUpperText(convertingPercentText(m_sourceFileName, 100));
    if (m_lastBar < static_cast<std::uint64_t>(m_barWidth))
        m_view.setUpperBarPosition(m_barWidth);
}

// Modules and MIDI songs render past their nominal end (a release tail, a repeat); the
// conversion stops at the length the source announced.
bool BlockLoop::synthesisedPastItsLength(std::uint64_t position) const {
    return (m_kind == SourceKind::Module || m_kind == SourceKind::Midi) &&
           position >= m_sourceLength;
}

} // namespace velmora
