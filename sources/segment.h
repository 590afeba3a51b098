#pragma once

#include <cstdint>
#include <limits>

namespace velmora {

// The part of a source that a conversion keeps, in milliseconds of the source's own time line:
// the output starts at startMs, holds at most lengthMs, and fades in and out over the given spans
// (equal-power curves). A list entry without a segment converts whole.
struct Segment {
    // A length that runs to the end of the source, however long it turns out to be.
    static constexpr std::int64_t kToTheEndMs = std::numeric_limits<std::int64_t>::max();

    std::int64_t startMs = 0;
    std::int64_t lengthMs = 0;
    std::int64_t fadeInMs = 0;
    std::int64_t fadeOutMs = 0;

    bool operator==(const Segment&) const = default;
};

// The segment with fades that fit it: when the two together are longer than the segment, each
// is shortened to half of it (a fade never runs into the other from the far end).
inline Segment withFittingFades(Segment segment) {
    const std::int64_t length = segment.lengthMs > 0 ? segment.lengthMs : 0;
    if (segment.fadeInMs < 0)
        segment.fadeInMs = 0;
    if (segment.fadeOutMs < 0)
        segment.fadeOutMs = 0;
    // Compared without adding, so that two huge fades cannot overflow.
    if (segment.fadeInMs > length - segment.fadeOutMs) {
        const std::int64_t half = length / 2;
        segment.fadeInMs = segment.fadeInMs < half ? segment.fadeInMs : half;
        segment.fadeOutMs = segment.fadeOutMs < half ? segment.fadeOutMs : half;
    }
    return segment;
}

} // namespace velmora
