#include "ui/ringtone/ringtone_selection.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::int64_t kNoEnd = std::numeric_limits<std::int64_t>::max() / 4;

} // namespace

void RingtoneSelection::setDurationMs(std::int64_t durationMs) {
    m_durationMs = std::max<std::int64_t>(durationMs, 0);
    setSegment(m_segment);
}

std::int64_t RingtoneSelection::latestStart(std::int64_t lengthMs) const {
    if (m_durationMs <= 0)
        return kNoEnd;
    return std::max<std::int64_t>(m_durationMs - lengthMs, 0);
}

std::int64_t RingtoneSelection::longestLengthFrom(std::int64_t startMs) const {
    if (m_durationMs <= 0)
        return kNoEnd;
    return std::max<std::int64_t>(m_durationMs - startMs, 0);
}

void RingtoneSelection::clampLength() {
    const std::int64_t longest = longestLengthFrom(m_segment.startMs);
    const std::int64_t shortest = std::min(kMinimumLengthMs, longest);
    m_segment.lengthMs = std::clamp(m_segment.lengthMs, shortest, longest);
}

void RingtoneSelection::fitFades() {
    // The conversion applies the same rule, so the dialog shows the fades that will be heard.
    const velmora::Segment fitted = velmora::withFittingFades(m_segment);
    m_fadesShortened =
        fitted.fadeInMs < m_segment.fadeInMs || fitted.fadeOutMs < m_segment.fadeOutMs;
    m_segment = fitted;
}

void RingtoneSelection::setStart(std::int64_t startMs) {
    m_segment.startMs = std::clamp<std::int64_t>(startMs, 0, latestStart(kMinimumLengthMs));
    clampLength();
    fitFades();
}

void RingtoneSelection::setLength(std::int64_t lengthMs) {
    m_segment.lengthMs = lengthMs;
    clampLength();
    fitFades();
}

void RingtoneSelection::moveTo(std::int64_t startMs) {
    m_segment.startMs = std::clamp<std::int64_t>(startMs, 0, latestStart(m_segment.lengthMs));
    clampLength();
    fitFades();
}

void RingtoneSelection::setStartKeepingEnd(std::int64_t startMs) {
    const std::int64_t end = endMs();
    const std::int64_t latest = std::max<std::int64_t>(end - kMinimumLengthMs, 0);
    m_segment.startMs = std::clamp<std::int64_t>(startMs, 0, latest);
    m_segment.lengthMs = end - m_segment.startMs;
    clampLength();
    fitFades();
}

void RingtoneSelection::setEnd(std::int64_t endMs) {
    m_segment.lengthMs = endMs - m_segment.startMs;
    clampLength();
    fitFades();
}

void RingtoneSelection::setFadeIn(std::int64_t fadeMs) {
    m_segment.fadeInMs = fadeMs;
    fitFades();
}

void RingtoneSelection::setFadeOut(std::int64_t fadeMs) {
    m_segment.fadeOutMs = fadeMs;
    fitFades();
}

void RingtoneSelection::setSegment(const velmora::Segment& segment) {
    m_segment = segment;
    m_segment.startMs = std::clamp<std::int64_t>(segment.startMs, 0, latestStart(kMinimumLengthMs));
    clampLength();
    fitFades();
}
