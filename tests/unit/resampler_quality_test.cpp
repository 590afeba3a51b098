// Quality of the sample-rate conversion as a listener meets it: a sine sweep converted by the WAV
// routine from 44.1 to 8 kHz, then measured by an independent analysis (numpy) of the output
// file: the level of the passband tone against the input's, and whatever the tones above the
// output's Nyquist rate leave behind (their aliases).

#include "engine/conversion_settings.h"
#include "engine/wav_routine.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace velmora {
namespace {

// "make FILE" writes the sweep: 20 s at 44.1 kHz from 20 Hz up to the input's Nyquist rate, with
// a raised-cosine fade-in (a tone that starts at full level is a click whose spectrum would blur
// the envelope measurement for seconds).
// "measure FILE" reads the converted sweep and prints: how many frames it is off the sweep's
// length, the largest deviation of the passband tone's level from the input's in dB (from the
// end of the fade-in up to 3.4 kHz), and the loudest 1024-sample stretch while the input tone is
// above 4.05 kHz, in dB relative to the tone. The analytic signal (FFT-based Hilbert transform)
// gives the tone's envelope sample by sample.
constexpr const char* kSweep = R"(
import sys, wave
import numpy as np

seconds, start, top, fade, amplitude = 20.0, 20.0, 22050.0, 0.05, 0.9 * 32767.0
if sys.argv[1] == 'make':
    t = np.arange(int(seconds * 44100)) / 44100
    phase = 2.0 * np.pi * (start * t + (top - start) * t * t / (2.0 * seconds))
    ramp = 0.5 - 0.5 * np.cos(np.pi * np.minimum(t / fade, 1.0))
    w = wave.open(sys.argv[2], 'wb')
    w.setparams((1, 2, 44100, 0, 'NONE', 'not compressed'))
    w.writeframes(np.round(amplitude * ramp * np.sin(phase)).astype('<i2').tobytes())
    sys.exit()

w = wave.open(sys.argv[2])
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
print(n - round(seconds * rate), deviation, alias)
)";

using ResamplerQualityTest = test::SandboxTest;

TEST_F(ResamplerQualityTest, SweepTo8kHzKeepsThePassbandFlatAndAliasesDown) {
    // Debian's interpreter, where python3-numpy installs, ahead of any other python3 on the PATH.
    const std::string python =
        access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    if (test::runCommand(python + " -c 'import numpy'") != 0)
        GTEST_SKIP() << "python3 with numpy not installed";
    const std::string script(kSweep);
    test::writeFileBytes(path("sweep.py"), {script.begin(), script.end()});
    const auto sweep = [&](const std::string& step, const std::string& file, std::string* out) {
        return test::runCommand(python + " " + test::shellQuote(path("sweep.py").string()) + " " +
                                    step + " " + test::shellQuote(path(file).string()),
                                out);
    };
    ASSERT_EQ(sweep("make", "sweep.wav", nullptr), 0);

    ConversionSettings settings{std::string()};
    settings.AutoDestWAVEncodingParam = 0;
    settings.WAVSampleRate = 8000;
    settings.WAVChannelNum = 1;
    settings.WAVBitsPerSample = 16;
    test::RecordingBatchView view;
    RoutineContext context{settings, view, 1, {}};
    ASSERT_TRUE(WavRoutine().run(SourceKind::Wav, path("sweep.wav").string(),
                                 path("out.wav").string(), context));

    std::string printed;
    ASSERT_EQ(sweep("measure", "out.wav", &printed), 0) << printed;
    std::istringstream values(printed);
    long framesOff = 1000;
    double passbandDeviationDb = 1e9;
    double aliasDb = 1e9;
    ASSERT_TRUE(values >> framesOff >> passbandDeviationDb >> aliasDb) << printed;
    EXPECT_LE(std::labs(framesOff), 1) << printed;
    EXPECT_LE(passbandDeviationDb, 0.1);
    EXPECT_LE(aliasDb, -90.0);
}

} // namespace
} // namespace velmora
