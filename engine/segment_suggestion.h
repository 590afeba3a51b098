#pragma once

#include "engine/level_scan.h"
#include "sources/segment.h"
#include "sources/source_file.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

// The part of a file that a ringtone is made of when the user picked none: the loudest stretch of
// the wanted length, or the whole file when it is not longer; faded as asked.
class SegmentSuggestion {
public:
    // Windows of the level scan behind a suggestion, in milliseconds.
    static constexpr int kWindowMs = 100;

    static Segment fromLevels(const LevelProfile& levels, std::int64_t lengthMs,
                              std::int64_t fadeInMs, std::int64_t fadeOutMs);
    // Scans the entry's file; nullopt when it cannot be decoded (failureNote says why) or the
    // scan was cancelled (failureNote empty).
    static std::optional<Segment> forEntry(const SourceFile& entry, std::int64_t lengthMs,
                                           std::int64_t fadeInMs, std::int64_t fadeOutMs,
                                           const LevelScan::Progress& progress,
                                           std::string& failureNote);
};

} // namespace velmora
