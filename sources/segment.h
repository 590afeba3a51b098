#pragma once

#include <cstdint>

namespace velmora {

// The part of a source that a conversion keeps, in milliseconds of the source's own time line:
// the output starts at startMs, holds at most lengthMs, and fades in and out over the given spans
// (equal-power curves). A list entry without a segment converts whole.
struct Segment {
    std::int64_t startMs = 0;
    std::int64_t lengthMs = 0;
    std::int64_t fadeInMs = 0;
    std::int64_t fadeOutMs = 0;

    bool operator==(const Segment&) const = default;
};

} // namespace velmora
