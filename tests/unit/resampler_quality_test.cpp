// Quality of the sample-rate conversion as a listener meets it: a sine sweep converted by the WAV
// routine from 44.1 to 8 kHz, then measured by an independent analysis (numpy) of the output
// file: the level of the passband tone against the input's, and whatever the tones above the
// output's Nyquist rate leave behind (their aliases).

#include "engine/conversion_settings.h"
#include "engine/wav_routine.h"
#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

constexpr int kInRate = 44100;
constexpr int kOutRate = 8000;
constexpr double kSweepSeconds = 20.0;
constexpr double kStartHz = 20.0;
constexpr double kTopHz = kInRate / 2.0;
// A raised-cosine fade-in: a tone that starts at full level is a click whose spectrum would blur
// the envelope measurement for seconds.
constexpr double kFadeSeconds = 0.05;
constexpr double kAmplitude = 0.9 * 32767.0;

// Reads the converted sweep and prints: frames, the largest deviation of the passband tone's
// level from the input's in dB (from the end of the fade-in up to 3.4 kHz), and the loudest
// 1024-sample stretch while the input tone is above 4.05 kHz, in dB relative to the tone. The
// analytic signal (FFT-based Hilbert transform) gives the tone's envelope sample by sample.
constexpr const char* kAnalysis = R"(
import sys, wave
import numpy as np

amplitude, seconds, start, top, fade = (float(a) for a in sys.argv[2:7])
w = wave.open(sys.argv[1])
assert w.getnchannels() == 1 and w.getsampwidth() == 2
rate = w.getframerate()
y = np.frombuffer(w.readframes(w.getnframes()), dtype='<i2').astype(np.float64)
n = len(y)
# The converter maps 16-bit s to s / 32768 and back with y x 32767.
expected = amplitude * 32767.0 / 32768.0

# One-sided spectrum, inverse transformed at full length: the analytic signal.
spectrum = 2.0 * np.fft.rfft(y)
spectrum[0] /= 2.0
if n % 2 == 0:
    spectrum[-1] /= 2.0
envelope = np.abs(np.fft.ifft(spectrum, n))

t = np.arange(n) / rate
frequency = start + (top - start) * t / seconds
passband = (t >= fade) & (frequency <= 3400.0)
deviation = np.max(np.abs(20.0 * np.log10(envelope[passband] / expected)))

first = np.argmax(frequency >= 4050.0)
loudest = max(np.sqrt(2.0 * np.mean(y[i:i + 1024] ** 2)) for i in range(first, n - 1024, 512))
alias = 20.0 * np.log10(max(loudest, 1e-9) / expected)
print(n, deviation, alias)
)";

using ResamplerQualityTest = test::SandboxTest;

TEST_F(ResamplerQualityTest, SweepTo8kHzKeepsThePassbandFlatAndAliasesDown) {
    // Debian's interpreter, where python3-numpy installs, ahead of any other python3 on the PATH.
    std::string command = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    if (test::runCommand(command + " -c 'import numpy'") != 0)
        GTEST_SKIP() << "python3 with numpy not installed";

    // A linear sweep up to the input's Nyquist rate: phase = 2 pi (start t + (top - start) t^2 /
    // (2 seconds)).
    std::vector<std::int16_t> sweep(static_cast<std::size_t>(kSweepSeconds * kInRate));
    for (std::size_t i = 0; i < sweep.size(); ++i) {
        const double t = static_cast<double>(i) / kInRate;
        const double phase = 2.0 * std::numbers::pi *
                             (kStartHz * t + (kTopHz - kStartHz) * t * t / (2.0 * kSweepSeconds));
        const double fade =
            0.5 - 0.5 * std::cos(std::numbers::pi * std::min(t / kFadeSeconds, 1.0));
        sweep[i] = static_cast<std::int16_t>(std::lround(kAmplitude * fade * std::sin(phase)));
    }
    test::writeFileBytes(path("sweep.wav"),
                         test::pcmWavBytes(1, kInRate, 16, test::s16Bytes(sweep)));

    ConversionSettings settings{std::string()};
    settings.AutoDestWAVEncodingParam = 0;
    settings.WAVSampleRate = kOutRate;
    settings.WAVChannelNum = 1;
    settings.WAVBitsPerSample = 16;
    test::RecordingBatchView view;
    RoutineContext context{settings, view, 1, {}};
    ASSERT_TRUE(WavRoutine().run(SourceKind::Wav, path("sweep.wav").string(),
                                 path("out.wav").string(), context));

    const std::string script(kAnalysis);
    test::writeFileBytes(path("analysis.py"), {script.begin(), script.end()});
    command += " " + test::shellQuote(path("analysis.py").string()) + " " +
               test::shellQuote(path("out.wav").string());
    for (const double value : {kAmplitude, kSweepSeconds, kStartHz, kTopHz, kFadeSeconds})
        command += " " + std::to_string(value);
    std::string printed;
    ASSERT_EQ(test::runCommand(command, &printed), 0);
    std::istringstream values(printed);
    long outFrames = 0;
    double passbandDeviationDb = 1e9;
    double aliasDb = 1e9;
    ASSERT_TRUE(values >> outFrames >> passbandDeviationDb >> aliasDb) << printed;
    EXPECT_LE(std::labs(outFrames - std::lround(kSweepSeconds * kOutRate)), 1) << outFrames;
    EXPECT_LE(passbandDeviationDb, 0.1);
    EXPECT_LE(aliasDb, -90.0);
}

} // namespace
} // namespace velmora
