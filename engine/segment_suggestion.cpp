#include "engine/segment_suggestion.h"

namespace velmora {

Segment SegmentSuggestion::fromLevels(const LevelProfile& levels, std::int64_t lengthMs,
                                      std::int64_t fadeInMs, std::int64_t fadeOutMs) {
    Segment segment;
    segment.fadeInMs = fadeInMs;
    segment.fadeOutMs = fadeOutMs;
    if (levels.durationMs <= lengthMs) {
        // Too short for the wanted length: all of it, still faded.
        segment.lengthMs = levels.durationMs;
    } else {
        segment.startMs = suggestLoudestStart(levels, lengthMs);
        segment.lengthMs = lengthMs;
    }
    return withFittingFades(segment);
}

std::optional<Segment> SegmentSuggestion::forEntry(const SourceFile& entry, std::int64_t lengthMs,
                                                   std::int64_t fadeInMs, std::int64_t fadeOutMs,
                                                   const LevelScan::Progress& progress,
                                                   std::string& failureNote) {
    const std::optional<LevelProfile> levels =
        LevelScan::scan(entry, kWindowMs, progress, failureNote);
    if (!levels)
        return std::nullopt;
    return fromLevels(*levels, lengthMs, fadeInMs, fadeOutMs);
}

} // namespace velmora
