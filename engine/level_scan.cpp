#include "engine/level_scan.h"

#include "sources/source_factory.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace velmora {
namespace {

constexpr int kScanRenderRate = 44100;
constexpr int kMillisecondsPerSecond = 1000;
constexpr std::int64_t kQuietSearchMs = 2000;
// A window at least 12 dB below the loudest stretch's level counts as quiet: a pause between
// notes, not the soft end of one.
constexpr double kQuietRatio = 0.25;
constexpr double kSameLevel = 1e-4; // 0.0004 dB: the levels are floats
// A scan stops after a day of material: a stream that never ends must not grow the profile
// without bound.
constexpr std::int64_t kLongestScanMs = std::int64_t{24} * 3600 * 1000;

// Sums one window's squares and peak of the mono mix, full scale = 1.0.
class WindowMeter {
public:
    explicit WindowMeter(LevelProfile& profile) : m_profile(profile) {}

    void add(double sample) {
        m_sumOfSquares += sample * sample;
        m_peak = std::max(m_peak, std::abs(sample));
        ++m_frames;
    }
    int frames() const { return m_frames; }
    void close() {
        if (m_frames == 0)
            return;
        m_profile.rms.push_back(static_cast<float>(std::sqrt(m_sumOfSquares / m_frames)));
        m_profile.peak.push_back(static_cast<float>(m_peak));
        m_sumOfSquares = 0;
        m_peak = 0;
        m_frames = 0;
    }

private:
    LevelProfile& m_profile;
    double m_sumOfSquares = 0;
    double m_peak = 0;
    int m_frames = 0;
};

double monoSample(const AudioSource& source, const std::int16_t* left, const std::int16_t* right,
                  int index) {
    const bool stereo = source.outChannels() == 2;
    if (source.bitsPerSample() == 8) {
        const auto* l = reinterpret_cast<const std::uint8_t*>(left);
        const auto* r = reinterpret_cast<const std::uint8_t*>(right);
        const double sum = (l[index] - 128.0) + (stereo ? r[index] - 128.0 : l[index] - 128.0);
        return sum / 2 / 128.0;
    }
    const double sum = static_cast<double>(left[index]) + (stereo ? right[index] : left[index]);
    return sum / 2 / 32768.0;
}

int percentOf(const AudioSource& source) {
    const std::uint64_t length = source.length();
    if (length == 0)
        return 0;
    return static_cast<int>(std::min<std::uint64_t>(source.position() / (length / 100 + 1), 100));
}

bool renderedKind(SourceKind kind) {
    return kind == SourceKind::Module || kind == SourceKind::Midi;
}

} // namespace

std::optional<LevelProfile> LevelScan::scan(const SourceFile& entry, int windowMs,
                                            const Progress& progress, std::string& failureNote) {
    failureNote.clear();
    SourceFactory factory;
    std::unique_ptr<AudioSource> source =
        factory.open(entry.path, entry.kind, kScanRenderRate, true);
    if (!source) {
        failureNote = factory.failureNote();
        return std::nullopt;
    }
    if (windowMs <= 0 || source->sampleRate() <= 0) {
        failureNote = "the file has no usable sample rate";
        return std::nullopt;
    }
    LevelProfile profile;
    profile.windowMs = windowMs;
    const std::int64_t rate = source->sampleRate();
    const int windowFrames =
        static_cast<int>(std::max<std::int64_t>(rate * windowMs / kMillisecondsPerSecond, 1));
    const std::int64_t longestFrames = kLongestScanMs / kMillisecondsPerSecond * rate;

    WindowMeter meter(profile);
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> left{};
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> right{};
    std::int64_t frames = 0;
    int lastPercent = -1;
    while (frames < longestFrames) {
        const int read =
            std::min(source->read(left.data(), right.data()), AudioSource::kMaxFramesPerRead);
        if (read <= 0)
            break;
        for (int i = 0; i < read; ++i) {
            meter.add(monoSample(*source, left.data(), right.data(), i));
            if (meter.frames() == windowFrames)
                meter.close();
        }
        frames += read;
        const int percent = percentOf(*source);
        if (progress && percent != lastPercent) {
            lastPercent = percent;
            if (!progress(percent))
                return std::nullopt;
        }
        if (renderedKind(entry.kind) && source->position() >= source->length())
            break;
    }
    meter.close();
    profile.durationMs = frames * kMillisecondsPerSecond / rate;
    return profile;
}

std::int64_t suggestLoudestStart(const LevelProfile& levels, std::int64_t lengthMs) {
    const std::int64_t windowMs = levels.windowMs;
    const auto windows = static_cast<std::int64_t>(levels.rms.size());
    if (windowMs <= 0 || lengthMs <= 0 || windows == 0 || levels.durationMs <= lengthMs)
        return 0;
    const std::int64_t span =
        std::clamp<std::int64_t>((lengthMs + windowMs - 1) / windowMs, 1, windows);
    // Starts whose stretch still ends inside the material.
    const std::int64_t lastStart =
        std::min((levels.durationMs - lengthMs) / windowMs, windows - span);

    const auto energy = [&](std::int64_t i) { return double{levels.rms[i]} * levels.rms[i]; };
    double sum = 0;
    for (std::int64_t i = 0; i < span; ++i)
        sum += energy(i);
    double bestSum = sum;
    std::int64_t best = 0;
    for (std::int64_t start = 1; start <= lastStart; ++start) {
        sum += energy(start + span - 1) - energy(start - 1);
        // Levels are floats and the running sum drifts by rounding: stretches equally loud
        // keep the earliest.
        if (sum > bestSum * (1 + kSameLevel) + kSameLevel) {
            bestSum = sum;
            best = start;
        }
    }

    const double quiet = kQuietRatio * std::sqrt(std::max(bestSum, 0.0) / span);
    const std::int64_t farthest = std::max<std::int64_t>(best - kQuietSearchMs / windowMs, 0);
    for (std::int64_t i = best; i >= farthest; --i) {
        if (levels.rms[i] <= quiet)
            return i * windowMs;
    }
    return best * windowMs;
}

} // namespace velmora
