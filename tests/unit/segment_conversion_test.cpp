// A segment through every output family's routine, read back with FFmpeg: the decoded length is
// the segment's within one codec frame (plus the encoder delay that raw MP3 and ADTS files
// cannot announce), a lossless output holds exactly the source's frames from the start on, the
// progress counts the segment, and a start past the end fails without leaving a file.

#include "engine/conversion_settings.h"
#include "engine/output_format.h"
#include "engine/routine_factory.h"
#include "platform/wmf/wmf_runtime.h"
#include "tests/unit/lossy_output_checks.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>
#include <string>

namespace velmora {
namespace {

constexpr int kSourceRate = 44100;
constexpr double kSourceSeconds = 6.0;
const Segment kSegment{1500, 2000, 0, 0};

using test::RecordingBatchView;

class SegmentConversionTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
        test::writeFileBytes(source(), test::toneWav(2, kSourceRate, 16, kSourceSeconds, 440, 660));
    }

    std::filesystem::path source() const { return path("source.wav"); }

    bool convert(OutputFormat format, const std::optional<Segment>& segment,
                 const std::filesystem::path& output, RecordingBatchView* progress = nullptr) {
        settings.OutputFormat = code(format);
        auto routine = RoutineFactory::create(code(format));
        RecordingBatchView quiet;
        RoutineContext context{settings, progress ? *progress : quiet, 1, {}, segment};
        const bool converted =
            routine->run(SourceKind::Wav, source().string(), output.string(), context);
        failureNote = context.failureNote;
        return converted;
    }

    ConversionSettings settings{std::string()};
    std::string failureNote;
};

struct FamilyCase {
    OutputFormat format;
    const char* extension;
    int outputRate;
    int toleranceFrames; // one codec frame, plus the delay a raw stream cannot announce
};

class SegmentPerFamily : public SegmentConversionTest,
                         public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(SegmentPerFamily, DecodedLengthIsTheSegmentsWithinOneCodecFrame) {
    const FamilyCase& c = GetParam();
    if (findOutputFormat(code(c.format))->family == OutputFamily::WindowsMedia &&
        !WmfRuntime::available())
        GTEST_SKIP() << "no Windows Media encoder";
    const auto output = path(std::string("cut") + c.extension);
    ASSERT_TRUE(convert(c.format, kSegment, output)) << failureNote;
    const test::DecodedPcm pcm = test::decodeWithFfmpeg(output, path("decoded.raw"));
    ASSERT_EQ(pcm.rate, c.outputRate);
    const auto expected = static_cast<long>(kSegment.lengthMs * c.outputRate / 1000);
    EXPECT_NEAR(static_cast<long>(pcm.frames()), expected, c.toleranceFrames);
    // Sound all through: a cut that dropped the wrong frames would leave silence or nothing.
    EXPECT_GT(test::toneLevel(pcm, 0, 440), 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Families, SegmentPerFamily,
    ::testing::Values(FamilyCase{OutputFormat::Wav, ".wav", 44100, 0},
                      FamilyCase{OutputFormat::Mp3, ".mp3", 44100, 1152 + 1105},
                      FamilyCase{OutputFormat::Ogg, ".ogg", 44100, 2048},
                      FamilyCase{OutputFormat::Aac, ".aac", 44100, 1024 + 1024},
                      FamilyCase{OutputFormat::M4r, ".m4r", 44100, 1024},
                      FamilyCase{OutputFormat::Amr, ".amr", 8000, 160},
                      FamilyCase{OutputFormat::Wma, ".wma", 44100, 2048}),
    [](const auto& info) { return std::string(info.param.extension + 1); });

// Lossless output: the source's frames from the start on, exactly, first sample included.
TEST_F(SegmentConversionTest, WavHoldsExactlyTheSourceFramesOfTheSegment) {
    ASSERT_TRUE(convert(OutputFormat::Wav, kSegment, path("cut.wav"))) << failureNote;
    const test::DecodedPcm whole = test::decodeWithFfmpeg(source(), path("whole.raw"));
    const test::DecodedPcm cut = test::decodeWithFfmpeg(path("cut.wav"), path("cut.raw"));
    const auto first = static_cast<std::ptrdiff_t>(kSegment.startMs * kSourceRate / 1000 * 2);
    const auto count = static_cast<std::ptrdiff_t>(kSegment.lengthMs * kSourceRate / 1000 * 2);
    ASSERT_EQ(cut.samples.size(), static_cast<std::size_t>(count));
    EXPECT_TRUE(std::equal(cut.samples.begin(), cut.samples.end(), whole.samples.begin() + first));
}

// A segment that keeps everything changes nothing: the filter is a clean pass-through.
TEST_F(SegmentConversionTest, WholeFileSegmentGivesTheSameBytesAsNone) {
    for (const OutputFormat format : {OutputFormat::Wav, OutputFormat::Mp3}) {
        const std::string word(outputFormatExtension(code(format)));
        ASSERT_TRUE(convert(format, std::nullopt, path("plain" + word)));
        ASSERT_TRUE(convert(format, Segment{0, Segment::kToTheEndMs, 0, 0}, path("seg" + word)));
        EXPECT_EQ(test::readFileBytes(path("plain" + word)),
                  test::readFileBytes(path("seg" + word)))
            << word;
    }
}

// The percent text counts the segment: a first-two-seconds cut of a six-second file climbs
// to the high nineties by itself, where counting the whole file would stall near a third.
TEST_F(SegmentConversionTest, ProgressCountsTheSegmentNotTheFile) {
    RecordingBatchView view;
    ASSERT_TRUE(convert(OutputFormat::Wav, Segment{0, 2000, 0, 0}, path("cut.wav"), &view));
    const std::vector<std::string> texts = view.linesOf("upper");
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.back(), "Converting source.wav...100%");
    const std::string beforeLast = texts[texts.size() - 2];
    const int percent = std::stoi(beforeLast.substr(beforeLast.rfind("...") + 3));
    EXPECT_GE(percent, 90) << beforeLast;
}

TEST_F(SegmentConversionTest, StartPastTheEndFailsAndLeavesNoFile) {
    // 10 s is past the announced duration; 6.5 s only shows once the source has ended.
    for (const std::int64_t startMs : {10000, 6500}) {
        for (const OutputFormat format : {OutputFormat::Wav, OutputFormat::M4r}) {
            const std::string name = "late" + std::string(outputFormatExtension(code(format)));
            EXPECT_FALSE(convert(format, Segment{startMs, 2000, 0, 0}, path(name)));
            EXPECT_EQ(failureNote, "the part to convert starts after the end of the file");
            EXPECT_EQ(test::folderNames(root()),
                      (std::vector<std::string>{"config", "home", "source.wav"}))
                << startMs;
        }
    }
    EXPECT_FALSE(convert(OutputFormat::Wav, Segment{0, 0, 0, 0}, path("empty.wav")));
    EXPECT_EQ(failureNote, "the part to convert has no length");
}

} // namespace
} // namespace velmora
