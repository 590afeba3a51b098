#pragma once

#include "sources/source_file.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The loudness of a source over time: RMS and peak of its mono mix (full scale = 1.0) in windows
// of a fixed length. One decoding pass feeds both the waveform overview and the loudest-part
// suggestion.
struct LevelProfile {
    int windowMs = 0;
    std::vector<float> rms;
    std::vector<float> peak;
    std::int64_t durationMs = 0; // of the material scanned
};

class LevelScan {
public:
    // Called now and then with 0..100; returning false cancels the scan.
    using Progress = std::function<bool(int percent)>;

    // Decodes the entry's file once. nullopt when it cannot be opened (failureNote says why) or
    // the scan was cancelled (failureNote empty).
    static std::optional<LevelProfile> scan(const SourceFile& entry, int windowMs,
                                            const Progress& progress, std::string& failureNote);
};

// The start of the loudest stretch of lengthMs, moved back to the nearest quiet window within 2 s
// so the part does not begin mid-note; 0 when the material is not longer than lengthMs.
std::int64_t suggestLoudestStart(const LevelProfile& levels, std::int64_t lengthMs);

} // namespace velmora
