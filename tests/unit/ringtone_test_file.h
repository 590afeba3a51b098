#pragma once

#include "sources/source_file.h"
#include "tests/unit/pcm_wav_file.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace velmora::test {

// A mono 16-bit WAV of song-like loudness at 8000 Hz: each stretch a sine of its own level
// (0..1 of full scale), so the loudness of every 100 ms window is known in advance.
struct LevelStretch {
    double seconds;
    double amplitude;
};

inline std::vector<std::uint8_t> stretchesWav(const std::vector<LevelStretch>& stretches,
                                              int rate = 8000) {
    std::vector<std::int16_t> samples;
    for (const LevelStretch& stretch : stretches) {
        const auto frames = static_cast<std::size_t>(std::lround(stretch.seconds * rate));
        for (std::size_t i = 0; i < frames; ++i)
            samples.push_back(static_cast<std::int16_t>(std::lround(
                32767 * stretch.amplitude * std::sin(2 * std::numbers::pi * 400 * i / rate))));
    }
    return pcmWavBytes(1, rate, 16, s16Bytes(samples));
}

// A list entry for a WAV file, as the file list makes them; a duration of 0 is unknown.
inline SourceFile wavEntry(const std::string& path, int durationSeconds = 0) {
    SourceFile entry;
    entry.path = path;
    entry.kind = SourceKind::Wav;
    entry.durationSeconds = durationSeconds;
    return entry;
}

} // namespace velmora::test
