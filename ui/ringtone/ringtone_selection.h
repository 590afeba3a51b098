#pragma once

#include "sources/segment.h"

#include <cstdint>

// The part of a song being picked in the ringtone dialog. It keeps the part inside the material
// and its fades inside the part, so the waveform, the fields and the stored segment never
// disagree. Times in milliseconds of the source.
class RingtoneSelection {
public:
    static constexpr std::int64_t kMinimumLengthMs = 100;

    // 0 when the duration is unknown: the part is then only kept from starting before 0.
    void setDurationMs(std::int64_t durationMs);
    std::int64_t durationMs() const { return m_durationMs; }

    // Typing a start keeps the end of the material: the length shrinks when it has to.
    void setStart(std::int64_t startMs);
    void setLength(std::int64_t lengthMs);
    // Dragging the whole part keeps its length.
    void moveTo(std::int64_t startMs);
    // Dragging an edge keeps the other edge where it is.
    void setStartKeepingEnd(std::int64_t startMs);
    void setEnd(std::int64_t endMs);
    void setFadeIn(std::int64_t fadeMs);
    void setFadeOut(std::int64_t fadeMs);
    void setSegment(const velmora::Segment& segment);

    const velmora::Segment& segment() const { return m_segment; }
    std::int64_t endMs() const { return m_segment.startMs + m_segment.lengthMs; }
    // True when the last change had to shorten a fade to half the part.
    bool fadesWereShortened() const { return m_fadesShortened; }

private:
    std::int64_t latestStart(std::int64_t lengthMs) const;
    std::int64_t longestLengthFrom(std::int64_t startMs) const;
    void clampLength();
    void fitFades();

    velmora::Segment m_segment;
    std::int64_t m_durationMs = 0;
    bool m_fadesShortened = false;
};
