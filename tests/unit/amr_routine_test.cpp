// The AMR routine and the AMR and AWB outputs of the command line: the band and mode each code
// and setting choose (read back by walking the frames), the processing chain's part (exact
// files for sources that need no conversion or only a channel choice or gain), durations as
// FFmpeg decodes them, and no output left after a failure.

#include "engine/amr_routine.h"
#include "engine/conversion_settings.h"
#include "engine/routine_factory.h"
#include "tests/unit/amr_test_file.h"
#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Samples = std::vector<std::int16_t>;

constexpr int kAmr = 5500;
constexpr int kAwb = 5600;

class AmrRoutineTest : public test::SandboxTest {
protected:
    void writeSource(const std::string& name, int channels, int rate, const Samples& left,
                     const Samples& right = {}) {
        const Samples frames = channels == 2 ? test::interleave(left, right) : left;
        test::writeFileBytes(path(name),
                             test::pcmWavBytes(channels, rate, 16, test::s16Bytes(frames)));
    }

    bool convert(int code, const std::string& source, const std::string& output,
                 test::RecordingBatchView& view) {
        auto routine = RoutineFactory::create(code);
        if (!routine)
            return false;
        RoutineContext context{settings, view, 1, {}};
        return routine->run(SourceKind::Wav, path(source).string(), path(output).string(), context);
    }

    bool convert(int code, const std::string& source, const std::string& output) {
        test::RecordingBatchView view;
        return convert(code, source, output, view);
    }

    test::AmrFileLayout layout(const std::string& name) {
        const auto walked = test::walkAmrFile(test::readFileBytes(path(name)));
        EXPECT_TRUE(walked) << name << " is not an AMR storage file";
        return walked.value_or(test::AmrFileLayout{});
    }

    // Seconds of audio that FFmpeg decodes from the file, and the stream it reports.
    double decodedSeconds(const std::string& name, int rate) {
        const Bytes pcm = test::ffmpegDecode(path(name), 16, path("decoded.raw"));
        return static_cast<double>(pcm.size()) / 2.0 / rate;
    }

    ConversionSettings settings{std::string()};
};

TEST_F(AmrRoutineTest, CdQualityStereoBecomesNarrowBandMonoOfTheSameDuration) {
    if (!test::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    const std::size_t frames = 66150; // 1.5 s
    writeSource("in.wav", 2, 44100, test::amrTestSignal(frames, 44100),
                test::amrTestSignal(frames, 22050));
    ASSERT_TRUE(convert(kAmr, "in.wav", "out.amr"));
    const auto fields = test::ffprobeStream(path("out.amr"));
    EXPECT_EQ(fields.at("codec_name"), "amr_nb");
    EXPECT_EQ(fields.at("sample_rate"), "8000");
    EXPECT_EQ(fields.at("channels"), "1");
    EXPECT_NEAR(decodedSeconds("out.amr", 8000), 1.5, 0.02);
    EXPECT_EQ(layout("out.amr").frameTypes, std::vector<int>(75, 6));
}

TEST_F(AmrRoutineTest, AwbIsWideBandAt16000HzOfTheSameDuration) {
    if (!test::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    const std::size_t frames = 92610; // 2.1 s
    writeSource("in.wav", 2, 44100, test::amrTestSignal(frames, 44100),
                test::amrTestSignal(frames, 44100));
    settings.AWBMode = 8;
    ASSERT_TRUE(convert(kAwb, "in.wav", "out.awb"));
    const auto fields = test::ffprobeStream(path("out.awb"));
    EXPECT_EQ(fields.at("codec_name"), "amr_wb");
    EXPECT_EQ(fields.at("sample_rate"), "16000");
    EXPECT_EQ(fields.at("channels"), "1");
    EXPECT_NEAR(decodedSeconds("out.awb", 16000), 2.1, 0.02);
    EXPECT_EQ(layout("out.awb").frameTypes, std::vector<int>(105, 8));
}

// Which band, mode and DTX flag each code and "AMRType" take.
struct BandCase {
    int code;
    int amrType;
    bool wideBand;
    int expectedMode;
};

class AmrRoutineBand : public AmrRoutineTest, public ::testing::WithParamInterface<BandCase> {};

TEST_P(AmrRoutineBand, TakesTheModeOfItsOwnSetting) {
    const BandCase& c = GetParam();
    writeSource("in.wav", 1, 32000, test::amrTestSignal(32000, 32000));
    settings.AMRType = c.amrType;
    settings.AMRMode = 0;
    settings.AMRWBMode = 2;
    settings.AWBMode = 7;
    ASSERT_TRUE(convert(c.code, "in.wav", "out.x"));
    const test::AmrFileLayout file = layout("out.x");
    EXPECT_EQ(file.wideBand, c.wideBand);
    EXPECT_EQ(file.frameTypes, std::vector<int>(50, c.expectedMode));
}

INSTANTIATE_TEST_SUITE_P(Codes, AmrRoutineBand,
                         ::testing::Values(BandCase{kAmr, 0, false, 0}, BandCase{kAmr, 1, true, 2},
                                           BandCase{kAwb, 0, true, 7}, BandCase{kAwb, 1, true, 7}));

TEST_F(AmrRoutineTest, EachOutputTakesItsOwnDtxFlag) {
    Samples speechThenSilence = test::amrTestSignal(8000, 16000);
    speechThenSilence.resize(48000, 0);
    writeSource("in.wav", 1, 16000, speechThenSilence);
    const auto speechFrames = [&](int code, const std::string& name) {
        EXPECT_TRUE(convert(code, "in.wav", name));
        const auto types = layout(name).frameTypes;
        return std::count(types.begin(), types.end(), 6);
    };
    settings.AMRType = 1;
    settings.AMRDTX = 1;
    settings.AWBDTX = 0;
    EXPECT_LT(speechFrames(kAmr, "dtx.amr"), 100);
    EXPECT_EQ(speechFrames(kAwb, "plain.awb"), 150);
    settings.AMRDTX = 0;
    settings.AWBDTX = 1;
    EXPECT_EQ(speechFrames(kAmr, "plain.amr"), 150);
    EXPECT_LT(speechFrames(kAwb, "dtx.awb"), 100);
}

TEST_F(AmrRoutineTest, AMonoSourceAtTheBandsRateIsCodedWithoutConversion) {
    const Samples samples = test::amrTestSignal(12345, 8000);
    writeSource("in.wav", 1, 8000, samples);
    settings.AMRMode = 5;
    ASSERT_TRUE(convert(kAmr, "in.wav", "out.amr"));
    EXPECT_EQ(test::readFileBytes(path("out.amr")),
              test::referenceAmrFile(false, 5, false, samples));
}

TEST_F(AmrRoutineTest, MonoTypeChoosesTheChannelOfAStereoSource) {
    const Samples left = test::amrTestSignal(9000, 16000);
    Samples right = test::amrTestSignal(9000, 11000);
    for (auto& s : right)
        s = static_cast<std::int16_t>(s / 3);
    writeSource("in.wav", 2, 16000, left, right);
    settings.MonoType = 1;
    ASSERT_TRUE(convert(kAwb, "in.wav", "left.awb"));
    EXPECT_EQ(test::readFileBytes(path("left.awb")), test::referenceAmrFile(true, 6, false, left));
    settings.MonoType = 2;
    ASSERT_TRUE(convert(kAwb, "in.wav", "right.awb"));
    EXPECT_EQ(test::readFileBytes(path("right.awb")),
              test::referenceAmrFile(true, 6, false, right));
    // "MonoType" 0 mixes both: neither channel's file.
    settings.MonoType = 0;
    ASSERT_TRUE(convert(kAwb, "in.wav", "mix.awb"));
    const Bytes mix = test::readFileBytes(path("mix.awb"));
    EXPECT_NE(mix, test::readFileBytes(path("left.awb")));
    EXPECT_NE(mix, test::readFileBytes(path("right.awb")));
    EXPECT_EQ(layout("mix.awb").frameTypes.size(), 29u);
}

TEST_F(AmrRoutineTest, TheAmplifierScalesTheCodedSamples) {
    Samples samples = test::amrTestSignal(4000, 8000);
    writeSource("in.wav", 1, 8000, samples);
    settings.AmplifyAMR = 1;
    settings.AmplifyAMRCoef = 37;
    ASSERT_TRUE(convert(kAmr, "in.wav", "out.amr"));
    for (auto& s : samples)
        s = static_cast<std::int16_t>(s * 37 / 100);
    EXPECT_EQ(test::readFileBytes(path("out.amr")),
              test::referenceAmrFile(false, 6, false, samples));
}

TEST_F(AmrRoutineTest, CancelLeavesNoFile) {
    writeSource("in.wav", 1, 8000, test::amrTestSignal(80000, 8000));
    test::RecordingBatchView view;
    view.cancelOnLine("upper Converting in.wav...30%");
    EXPECT_FALSE(convert(kAmr, "in.wav", "out.amr", view));
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home", "in.wav"}));
}

TEST_F(AmrRoutineTest, AFileThatCannotBeWrittenFailsAndLeavesNothing) {
    writeSource("in.wav", 1, 8000, test::amrTestSignal(8000 * 60, 8000));
    for (const rlim_t limit : {rlim_t{100}, rlim_t{20000}}) {
        SCOPED_TRACE(limit);
        const pid_t child = fork();
        if (child == 0) {
            // Past the limit write() fails with EFBIG instead of the process being killed.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit fileSize{limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &fileSize) != 0)
                _exit(100);
            _exit(convert(kAmr, "in.wav", "out.amr") ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(test::folderNames(root()),
                  (std::vector<std::string>{"config", "home", "in.wav"}));
    }
}

// ---------------------------------------------------------------------------------------------
// The command line

class AmrCliTest : public AmrRoutineTest {
protected:
    int cli(const std::vector<std::string>& words, std::string* out) {
        std::string command = test::shellQuote(VELMORA_CLI_PATH);
        for (const std::string& word : words)
            command += " " + test::shellQuote(word);
        out->clear();
        return test::runCommand(command + " </dev/null 2>/dev/null", out);
    }
};

TEST_F(AmrCliTest, ConvertsToAmrAndAwbWithStoredSettingsAndOverrides) {
    writeSource("in.wav", 2, 22050, test::amrTestSignal(22050, 22050),
                test::amrTestSignal(22050, 44100));
    std::string out;
    ASSERT_EQ(cli({"settings", "set", "AMRMode", "1"}, &out), 0);
    ASSERT_EQ(cli({"convert", "--to", "amr", path("in.wav").string()}, &out), 0);
    EXPECT_EQ(out,
              path("in.wav").string() + " -> " + path("home/Documents/in.amr").string() + "\n");
    test::AmrFileLayout file = layout("home/Documents/in.amr");
    EXPECT_FALSE(file.wideBand);
    EXPECT_EQ(file.frameTypes, std::vector<int>(50, 1));

    ASSERT_EQ(cli({"convert", "--to", "awb", "--set", "AWBMode=3", "--set", "AWBDTX=0",
                   path("in.wav").string()},
                  &out),
              0);
    EXPECT_EQ(out,
              path("in.wav").string() + " -> " + path("home/Documents/in.awb").string() + "\n");
    file = layout("home/Documents/in.awb");
    EXPECT_TRUE(file.wideBand);
    EXPECT_EQ(file.frameTypes, std::vector<int>(50, 3));

    std::filesystem::copy_file(path("in.wav"), path("wide.wav"));
    ASSERT_EQ(cli({"convert", "--to", "5500", "--set", "AMRType=1", "--set", "AMRWBMode=0",
                   path("wide.wav").string()},
                  &out),
              0);
    file = layout("home/Documents/wide.amr");
    EXPECT_TRUE(file.wideBand);
    EXPECT_EQ(file.frameTypes, std::vector<int>(50, 0));
}

} // namespace
} // namespace velmora
