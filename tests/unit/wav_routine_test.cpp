// The WAV routine from WAV sources made by the test: the output's format decisions, the exact
// samples of every channel and width conversion and of the amplifier, resampling, and what is
// left on disk when a conversion fails. Outputs are compared byte for byte with files built
// here and read back with FFmpeg.

#include "engine/conversion_settings.h"
#include "engine/wav_routine.h"
#include "sources/source_factory.h"
#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

using test::RecordingBatchView;
using Bytes = std::vector<std::uint8_t>;

// Planar samples held as int: signed 16-bit values, or unsigned 8-bit values 0..255.
struct Pcm {
    int channels = 1;
    int rate = 44100;
    int bits = 16;
    std::vector<int> left;
    std::vector<int> right; // only for two channels

    std::size_t frames() const { return left.size(); }

    Bytes bytes() const {
        Bytes out;
        for (std::size_t i = 0; i < frames(); ++i) {
            for (int c = 0; c < channels; ++c) {
                const int s = c == 0 ? left[i] : right[i];
                if (bits == 8)
                    out.push_back(static_cast<std::uint8_t>(s));
                else
                    test::appendU16LE(out, static_cast<std::uint16_t>(s));
            }
        }
        return out;
    }
    Bytes wavFile() const { return test::pcmWavBytes(channels, rate, bits, bytes()); }
};

// Two channels of different content that reach the extremes of the width.
Pcm testSignal(int channels, int rate, int bits, std::size_t frames) {
    Pcm pcm{channels, rate, bits, {}, {}};
    for (std::size_t i = 0; i < frames; ++i) {
        const int a = static_cast<int>((i * 7919) % 65536);
        const int b = static_cast<int>((i * 104729 + 12345) % 65536);
        if (bits == 16) {
            pcm.left.push_back(a - 32768);
            if (channels == 2)
                pcm.right.push_back(32767 - b);
        } else {
            pcm.left.push_back(a % 256);
            if (channels == 2)
                pcm.right.push_back(255 - b % 256);
        }
    }
    return pcm;
}

class WavRoutineTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        // "Auto" is the default; the manual values differ from every source used here, so a
        // test sees at once which of them was applied.
        settings.AutoDestWAVEncodingParam = 1;
        settings.WAVSampleRate = 48000;
        settings.WAVChannelNum = 2;
        settings.WAVBitsPerSample = 16;
    }

    void requireFfmpeg() {
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }

    bool convert(const std::filesystem::path& source, const std::filesystem::path& output,
                 RecordingBatchView& view) {
        WavRoutine routine;
        RoutineContext context{settings, view, 1, {}};
        const bool result = routine.run(SourceKind::Wav, source.string(), output.string(), context);
        failureNote = context.failureNote;
        return result;
    }

    bool convert(const std::filesystem::path& source, const std::filesystem::path& output) {
        RecordingBatchView view;
        return convert(source, output, view);
    }

    // The output as an independent reader sees it: format fields and the decoded samples.
    void expectReadBackAs(const std::filesystem::path& output, const Pcm& expected) {
        const auto fields = test::ffprobeStream(output);
        EXPECT_EQ(fields.at("sample_rate"), std::to_string(expected.rate));
        EXPECT_EQ(fields.at("channels"), std::to_string(expected.channels));
        EXPECT_EQ(fields.at("bits_per_sample"), std::to_string(expected.bits));
        EXPECT_EQ(test::ffmpegDecode(output, expected.bits, path("ffmpeg.raw")), expected.bytes());
    }

    ConversionSettings settings{std::string()};
    std::string failureNote;
};

struct AutoCase {
    int channels;
    int rate;
    int bits;

    friend void PrintTo(const AutoCase& c, std::ostream* os) {
        *os << c.channels << " ch " << c.rate << " Hz " << c.bits << " bit";
    }
};

class WavRoutineAuto : public WavRoutineTest, public ::testing::WithParamInterface<AutoCase> {};

TEST_P(WavRoutineAuto, KeepsTheSourceFormatAndEverySample) {
    requireFfmpeg();
    const AutoCase c = GetParam();
    // Several blocks and a short last one.
    const Pcm source = testSignal(c.channels, c.rate, c.bits, 1152 * 3 + 301);
    test::writeFileBytes(path("in.wav"), source.wavFile());
    ASSERT_TRUE(convert(path("in.wav"), path("out.wav")));
    EXPECT_EQ(test::readFileBytes(path("out.wav")), source.wavFile());
    expectReadBackAs(path("out.wav"), source);
    EXPECT_EQ(test::folderNames(root()),
              (std::vector<std::string>{"config", "ffmpeg.raw", "home", "in.wav", "out.wav"}));
}

INSTANTIATE_TEST_SUITE_P(Formats, WavRoutineAuto,
                         ::testing::Values(AutoCase{2, 44100, 16}, AutoCase{1, 22050, 8},
                                           AutoCase{2, 11025, 8}, AutoCase{1, 8000, 16}));

// One sample of the expected output from the source's left and right sample (right = left for
// a mono source) for output channel `channel`.
using SampleRule = std::function<int(int left, int right, int channel)>;

struct ManualCase {
    const char* name;
    int sourceChannels;
    int sourceBits;
    int wavChannels; // "WAVChannelNum"
    int wavBits;     // "WAVBitsPerSample"
    int monoType;
    int outChannels;
    int outBits;
    SampleRule rule;

    friend void PrintTo(const ManualCase& c, std::ostream* os) { *os << c.name; }
};

int to8(int s16) {
    return (s16 >> 8) + 128; // arithmetic shift
}
int to16(int u8) {
    return (u8 - 128) * 256;
}

class WavRoutineManual : public WavRoutineTest, public ::testing::WithParamInterface<ManualCase> {};

TEST_P(WavRoutineManual, ConvertsWidthAndChannelsAsSet) {
    requireFfmpeg();
    const ManualCase& c = GetParam();
    settings.AutoDestWAVEncodingParam = 0;
    settings.WAVSampleRate = 0; // the source's rate
    settings.WAVChannelNum = c.wavChannels;
    settings.WAVBitsPerSample = c.wavBits;
    settings.MonoType = c.monoType;
    const Pcm source = testSignal(c.sourceChannels, 22050, c.sourceBits, 1152 * 2 + 77);
    test::writeFileBytes(path("in.wav"), source.wavFile());
    ASSERT_TRUE(convert(path("in.wav"), path("out.wav")));

    Pcm expected{c.outChannels, 22050, c.outBits, {}, {}};
    for (std::size_t i = 0; i < source.frames(); ++i) {
        const int l = source.left[i];
        const int r = c.sourceChannels == 2 ? source.right[i] : l;
        expected.left.push_back(c.rule(l, r, 0));
        if (c.outChannels == 2)
            expected.right.push_back(c.rule(l, r, 1));
    }
    EXPECT_EQ(test::readFileBytes(path("out.wav")), expected.wavFile());
    expectReadBackAs(path("out.wav"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavRoutineManual,
    ::testing::Values(
        ManualCase{"AllFromTheSource", 2, 16, 0, 0, 0, 2, 16,
                   [](int l, int r, int ch) { return ch == 0 ? l : r; }},
        ManualCase{"Stereo16To8Bit", 2, 16, 0, 8, 0, 2, 8,
                   [](int l, int r, int ch) { return to8(ch == 0 ? l : r); }},
        ManualCase{"Mono8To16Bit", 1, 8, 0, 16, 0, 1, 16, [](int l, int, int) { return to16(l); }},
        ManualCase{"MonoToStereo", 1, 16, 2, 0, 0, 2, 16, [](int l, int, int) { return l; }},
        ManualCase{"MonoTypeAverage", 2, 16, 1, 0, 0, 1, 16,
                   [](int l, int r, int) { return (l + r) >> 1; }},
        ManualCase{"MonoTypeLeft", 2, 16, 1, 0, 1, 1, 16, [](int l, int, int) { return l; }},
        ManualCase{"MonoTypeRight", 2, 16, 1, 0, 2, 1, 16, [](int, int r, int) { return r; }},
        // Widened first, then averaged with an arithmetic shift.
        ManualCase{"Stereo8ToMono16Average", 2, 8, 1, 16, 0, 1, 16,
                   [](int l, int r, int) { return (to16(l) + to16(r)) >> 1; }},
        // Same width: the unsigned sum is halved.
        ManualCase{"Stereo8ToMono8Average", 2, 8, 1, 0, 0, 1, 8,
                   [](int l, int r, int) { return (l + r) >> 1; }},
        ManualCase{"Stereo16ToMono8Right", 2, 16, 1, 8, 2, 1, 8,
                   [](int, int r, int) { return to8(r); }}),
    [](const ::testing::TestParamInfo<ManualCase>& info) { return std::string(info.param.name); });

struct ResampleCase {
    const char* name;
    int sourceRate;
    int sourceChannels;
    int outRate;
    int outChannels; // "WAVChannelNum"
    int frames;      // of the source

    friend void PrintTo(const ResampleCase& c, std::ostream* os) { *os << c.name; }
};

class WavRoutineResample : public WavRoutineTest,
                           public ::testing::WithParamInterface<ResampleCase> {};

TEST_P(WavRoutineResample, KeepsTheDurationAndTheSignal) {
    requireFfmpeg();
    const ResampleCase& c = GetParam();
    settings.AutoDestWAVEncodingParam = 0;
    settings.WAVSampleRate = c.outRate;
    settings.WAVChannelNum = c.outChannels;
    settings.WAVBitsPerSample = 0;
    // Each source channel a sine of its own; a mono source feeds both output channels.
    const double frequency[2] = {440.0, 1000.0};
    const double amplitude[2] = {12000.0, 8000.0};
    auto sine = [&](int channel, double seconds) {
        return amplitude[channel] * std::sin(2 * std::numbers::pi * frequency[channel] * seconds);
    };
    Pcm source{c.sourceChannels, c.sourceRate, 16, {}, {}};
    for (int i = 0; i < c.frames; ++i) {
        for (int ch = 0; ch < c.sourceChannels; ++ch) {
            const int s = static_cast<int>(std::lround(sine(ch, double(i) / c.sourceRate)));
            (ch == 0 ? source.left : source.right).push_back(s);
        }
    }
    test::writeFileBytes(path("in.wav"), source.wavFile());
    ASSERT_TRUE(convert(path("in.wav"), path("out.wav")));

    const auto fields = test::ffprobeStream(path("out.wav"));
    EXPECT_EQ(fields.at("sample_rate"), std::to_string(c.outRate));
    EXPECT_EQ(fields.at("channels"), std::to_string(c.outChannels));
    EXPECT_EQ(fields.at("bits_per_sample"), "16");
    const auto decoded = test::ffmpegDecode(path("out.wav"), 16, path("ffmpeg.raw"));
    const std::size_t frameBytes = 2 * static_cast<std::size_t>(c.outChannels);
    ASSERT_EQ(decoded.size() % frameBytes, 0u);
    ASSERT_EQ(test::readFileBytes(path("out.wav")).size(), 44 + decoded.size());
    const long frames = static_cast<long>(decoded.size() / frameBytes);
    const long expectedFrames = std::lround(double(c.frames) * c.outRate / c.sourceRate);
    EXPECT_LE(std::labs(frames - expectedFrames), 1) << frames << " frames";

    // Away from the edges each channel is still its sine, in time with the source.
    const long margin = c.outRate / 40;
    for (long i = margin; i < frames - margin; ++i) {
        for (int ch = 0; ch < c.outChannels; ++ch) {
            const std::size_t at =
                static_cast<std::size_t>(i) * frameBytes + static_cast<std::size_t>(ch) * 2;
            const auto got = static_cast<std::int16_t>(decoded[at] | (decoded[at + 1] << 8));
            const int sourceChannel = c.sourceChannels == 2 ? ch : 0;
            ASSERT_NEAR(got, sine(sourceChannel, double(i) / c.outRate),
                        amplitude[sourceChannel] * 0.03)
                << "frame " << i << " channel " << ch;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, WavRoutineResample,
    ::testing::Values(ResampleCase{"Down44100To8000", 44100, 2, 8000, 2, 50000},
                      ResampleCase{"Up8000To48000", 8000, 1, 48000, 1, 9001},
                      ResampleCase{"Up22050To44100Stereo", 22050, 1, 44100, 2, 30000},
                      ResampleCase{"Down48000To22050", 48000, 2, 22050, 2, 40000}),
    [](const ::testing::TestParamInfo<ResampleCase>& info) {
        return std::string(info.param.name);
    });

struct AmplifyCase {
    const char* name;
    int bits;
    int enabled;
    int coefficient;
    SampleRule rule; // on the source sample of the channel

    friend void PrintTo(const AmplifyCase& c, std::ostream* os) { *os << c.name; }
};

int clip16(long long value) {
    return static_cast<int>(std::clamp<long long>(value, -32767, 32767));
}
int amplified8(int u, int coefficient) {
    return std::clamp((u - 128) * coefficient / 100, -128, 127) + 128;
}

class WavRoutineAmplify : public WavRoutineTest,
                          public ::testing::WithParamInterface<AmplifyCase> {};

TEST_P(WavRoutineAmplify, ScalesAndClipsInTheOutputWidth) {
    requireFfmpeg();
    const AmplifyCase& c = GetParam();
    settings.AmplifyWav = c.enabled;
    settings.AmplifyWavCoeff = c.coefficient;
    Pcm source = testSignal(2, 44100, c.bits, 1152 + 500);
    if (c.bits == 16) {
        // The samples the amplifier's rules single out.
        source.left[0] = -32768;
        source.left[1] = 30000;
        source.left[2] = 32767;
        source.left[3] = -1;
    }
    test::writeFileBytes(path("in.wav"), source.wavFile());
    ASSERT_TRUE(convert(path("in.wav"), path("out.wav")));

    Pcm expected = source;
    for (std::size_t i = 0; i < source.frames(); ++i) {
        expected.left[i] = c.rule(source.left[i], 0, 0);
        expected.right[i] = c.rule(source.right[i], 0, 1);
    }
    EXPECT_EQ(test::readFileBytes(path("out.wav")), expected.wavFile());
    expectReadBackAs(path("out.wav"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavRoutineAmplify,
    ::testing::Values(
        AmplifyCase{"Louder16", 16, 1, 150,
                    [](int s, int, int) { return clip16(static_cast<long long>(s) * 150 / 100); }},
        AmplifyCase{"OnePercentMore16", 16, 1, 101,
                    [](int s, int, int) { return clip16(static_cast<long long>(s) * 101 / 100); }},
        AmplifyCase{"Quieter8", 8, 1, 50, [](int u, int, int) { return amplified8(u, 50); }},
        AmplifyCase{"Louder8", 8, 1, 300, [](int u, int, int) { return amplified8(u, 300); }},
        // At 100 % the amplifier is not used at all: -32768 is not clipped to -32767.
        AmplifyCase{"HundredPercent", 16, 1, 100, [](int s, int, int) { return s; }},
        AmplifyCase{"SwitchedOff", 16, 0, 150, [](int s, int, int) { return s; }}),
    [](const ::testing::TestParamInfo<AmplifyCase>& info) { return std::string(info.param.name); });

TEST_F(WavRoutineTest, AmplifiesAfterConvertingToTheOutputWidth) {
    requireFfmpeg();
    settings.AutoDestWAVEncodingParam = 0;
    settings.WAVSampleRate = 0;
    settings.WAVChannelNum = 1;
    settings.WAVBitsPerSample = 8;
    settings.MonoType = 1;
    settings.AmplifyWav = 1;
    settings.AmplifyWavCoeff = 200;
    const Pcm source = testSignal(2, 16000, 16, 2000);
    test::writeFileBytes(path("in.wav"), source.wavFile());
    ASSERT_TRUE(convert(path("in.wav"), path("out.wav")));
    Pcm expected{1, 16000, 8, {}, {}};
    for (const int l : source.left)
        expected.left.push_back(amplified8(to8(l), 200));
    EXPECT_EQ(test::readFileBytes(path("out.wav")), expected.wavFile());
    expectReadBackAs(path("out.wav"), expected);
}

TEST_F(WavRoutineTest, WritesIntoAHiddenPartialFileBesideTheOutput) {
    const Pcm source = testSignal(2, 44100, 16, 1152 * 4);
    test::writeFileBytes(path("in.wav"), source.wavFile());
    const std::string partial = ".out.wav.partial-" + std::to_string(getpid()) + ".wav";
    std::vector<std::vector<std::string>> seenDuringBlocks;
    RecordingBatchView view;
    view.cancelWhen([&](const std::string& line, std::size_t) {
        if (line == "pump")
            seenDuringBlocks.push_back(test::folderNames(root()));
        return false;
    });
    ASSERT_TRUE(convert(path("in.wav"), path("out.wav"), view));
    ASSERT_EQ(seenDuringBlocks.size(), 4u);
    for (const auto& names : seenDuringBlocks)
        EXPECT_EQ(names, (std::vector<std::string>{partial, "config", "home", "in.wav"}));
    EXPECT_EQ(test::folderNames(root()),
              (std::vector<std::string>{"config", "home", "in.wav", "out.wav"}));
}

TEST_F(WavRoutineTest, SuccessReplacesAnExistingTarget) {
    const Pcm source = testSignal(1, 8000, 16, 3000);
    test::writeFileBytes(path("in.wav"), source.wavFile());
    test::writeFileBytes(path("out.wav"), Bytes(100000, 0x55));
    ASSERT_TRUE(convert(path("in.wav"), path("out.wav")));
    EXPECT_EQ(test::readFileBytes(path("out.wav")), source.wavFile());
    EXPECT_EQ(test::folderNames(root()),
              (std::vector<std::string>{"config", "home", "in.wav", "out.wav"}));
}

// ---------------------------------------------------------------------------------------------
// Failures leave nothing behind and never touch an existing target

enum class FailureMode { UnreadableSource, Cancel, WriteRefused, HeaderRefused };

struct FailureCase {
    const char* name;
    FailureMode mode;
    bool targetExists;

    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class WavRoutineFailure : public WavRoutineTest, public ::testing::WithParamInterface<FailureCase> {
protected:
    // Runs the conversion in a child whose files may not grow past `limitBytes`; the child's
    // exit status is 0 when the routine failed and failureNote was as expected.
    int convertWithFileSizeLimit(rlim_t limitBytes) {
        const pid_t child = fork();
        if (child == 0) {
            // Past the limit write() fails with EFBIG instead of the process being killed.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{limitBytes, limitBytes};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(100);
            const bool result = convert(path("in.wav"), path("out.wav"));
            _exit(result ? 1 : (failureNote.empty() ? 0 : 2));
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }
};

TEST_P(WavRoutineFailure, LeavesNoOutputAndKeepsAnExistingTarget) {
    const FailureCase& c = GetParam();
    const Bytes target = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};
    if (c.targetExists)
        test::writeFileBytes(path("out.wav"), target);
    if (c.mode == FailureMode::UnreadableSource) {
        const std::string garbage = "This is not audio, whatever its extension says.";
        test::writeFileBytes(path("in.wav"), Bytes(garbage.begin(), garbage.end()));
    } else {
        test::writeFileBytes(path("in.wav"), testSignal(2, 44100, 16, 1152 * 40).wavFile());
    }

    switch (c.mode) {
    case FailureMode::UnreadableSource:
        EXPECT_FALSE(convert(path("in.wav"), path("out.wav")));
        EXPECT_EQ(failureNote, SourceFactory::kFailureNote);
        break;
    case FailureMode::Cancel: {
        RecordingBatchView view;
        view.cancelOnLine("upper Converting in.wav...20%");
        EXPECT_FALSE(convert(path("in.wav"), path("out.wav"), view));
        EXPECT_EQ(failureNote, "");
        // Cancel came while the file was a fifth done; nothing further was shown as progress.
        EXPECT_EQ(view.linesOf("upper").back(), "Converting in.wav...20%");
        break;
    }
    case FailureMode::WriteRefused:
        // Room for the header and a few blocks of the 184 kB of PCM.
        EXPECT_EQ(convertWithFileSizeLimit(20000), 0);
        break;
    case FailureMode::HeaderRefused:
        // The writer cannot even be opened on a file that may not hold its header.
        EXPECT_EQ(convertWithFileSizeLimit(20), 0);
        break;
    }

    std::vector<std::string> expected = {"config", "home", "in.wav"};
    if (c.targetExists)
        expected.push_back("out.wav");
    EXPECT_EQ(test::folderNames(root()), expected);
    if (c.targetExists) {
        EXPECT_EQ(test::readFileBytes(path("out.wav")), target);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, WavRoutineFailure,
    ::testing::Values(FailureCase{"UnreadableSource", FailureMode::UnreadableSource, false},
                      FailureCase{"UnreadableSourceOverTarget", FailureMode::UnreadableSource,
                                  true},
                      FailureCase{"Cancel", FailureMode::Cancel, false},
                      FailureCase{"CancelOverTarget", FailureMode::Cancel, true},
                      FailureCase{"WriteRefused", FailureMode::WriteRefused, false},
                      FailureCase{"WriteRefusedOverTarget", FailureMode::WriteRefused, true},
                      FailureCase{"HeaderRefused", FailureMode::HeaderRefused, false},
                      FailureCase{"HeaderRefusedOverTarget", FailureMode::HeaderRefused, true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(WavRoutineTest, WriterThatCannotBeOpenedFailsWithoutLeavingAnything) {
    test::writeFileBytes(path("in.wav"), testSignal(1, 8000, 16, 100).wavFile());
    EXPECT_FALSE(convert(path("in.wav"), path("missing-folder/out.wav")));
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home", "in.wav"}));
}

} // namespace
} // namespace velmora
