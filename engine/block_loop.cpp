#include "engine/block_loop.h"

#include "engine/batch_view.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace velmora {

std::string convertingPercentText(const std::string& fileName, int percent) {
    return "Converting " + fileName + "..." + std::to_string(percent) + "%";
}

BlockLoop::BlockLoop(AudioSource& source, SourceKind kind, BatchView& view,
                     std::string sourceFileName)
    : m_source(source), m_kind(kind), m_view(view), m_sourceFileName(std::move(sourceFileName)) {
    m_total = source.length();
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
        const int frames = m_source.read(left.data(), rightPlane);
        if (frames <= 0)
            break;
        const std::uint64_t position = m_source.position();
        reportProgress(position);
        m_view.pumpMessages();
        if (m_view.cancelRequested())
            return Outcome::Cancelled;
        if (!handleBlock(left.data(), rightPlane, std::min(frames, AudioSource::kMaxFramesPerRead)))
            return Outcome::WriteFailed;
        if (synthesisedPastItsLength(position))
            break;
    }
    completeProgress();
    return Outcome::Completed;
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
    return (m_kind == SourceKind::Module || m_kind == SourceKind::Midi) && position >= m_total;
}

} // namespace velmora
