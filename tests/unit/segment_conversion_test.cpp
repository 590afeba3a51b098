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
#include <tuple>

namespace velmora {
namespace {

constexpr int kSourceRate = 44100;
const Segment kSegment{1500, 2000, 0, 0};

class SegmentConversionTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
        test::writeFileBytes(source(), test::toneWav(2, kSourceRate, 16, 6.0, 440, 660));
    }

    std::filesystem::path source() const { return path("source.wav"); }

    // Converts the source to path(name), in the format its extension names.
    bool convert(const std::optional<Segment>& segment, const std::string& name) {
        settings.OutputFormat = *parseOutputFormat(name.substr(name.rfind('.') + 1));
        RoutineContext context{settings, view, 1, {}, segment};
        const bool converted =
            RoutineFactory::create(settings.OutputFormat)
                ->run(SourceKind::Wav, source().string(), path(name).string(), context);
        failureNote = context.failureNote;
        return converted;
    }

    ConversionSettings settings{std::string()};
    test::RecordingBatchView view;
    std::string failureNote;
};

TEST_F(SegmentConversionTest, DecodedLengthIsTheSegmentsWithinOneCodecFrame) {
    // The output, its rate, and one codec frame plus the delay a raw stream cannot announce.
    using Case = std::tuple<const char*, int, int>;
    for (const auto& [name, outputRate, toleranceFrames] :
         {Case{"cut.wav", 44100, 0}, Case{"cut.mp3", 44100, 1152 + 1105},
          Case{"cut.ogg", 44100, 2048}, Case{"cut.aac", 44100, 1024 + 1024},
          Case{"cut.m4r", 44100, 1024}, Case{"cut.amr", 8000, 160}, Case{"cut.wma", 44100, 2048}}) {
        SCOPED_TRACE(name);
        if (std::string(name).ends_with(".wma") && !WmfRuntime::available())
            continue; // no Windows Media encoder
        ASSERT_TRUE(convert(kSegment, name)) << failureNote;
        const test::DecodedPcm pcm = test::decodeWithFfmpeg(path(name), path("decoded.raw"));
        ASSERT_EQ(pcm.rate, outputRate);
        const auto expected = static_cast<long>(kSegment.lengthMs * outputRate / 1000);
        ASSERT_NEAR(static_cast<long>(pcm.frames()), expected, toleranceFrames);
        // Sound all through: a cut that dropped the wrong frames would leave silence or nothing.
        EXPECT_GT(test::toneLevel(pcm, 0, 440), 0.1);
        if (toleranceFrames == 0) { // lossless: the source's frames, first sample included
            const auto whole = test::decodeWithFfmpeg(source(), path("whole.raw")).samples;
            const auto first =
                static_cast<std::ptrdiff_t>(kSegment.startMs * kSourceRate / 1000 * 2);
            EXPECT_TRUE(std::equal(pcm.samples.begin(), pcm.samples.end(), whole.begin() + first));
        }
    }
}

// A segment that keeps everything changes nothing: the filter is a clean pass-through.
TEST_F(SegmentConversionTest, WholeFileSegmentGivesTheSameBytesAsNone) {
    for (const std::string extension : {".wav", ".mp3"}) {
        ASSERT_TRUE(convert(std::nullopt, "plain" + extension));
        ASSERT_TRUE(convert(Segment{0, Segment::kToTheEndMs, 0, 0}, "seg" + extension));
        EXPECT_EQ(test::readFileBytes(path("plain" + extension)),
                  test::readFileBytes(path("seg" + extension)))
            << extension;
    }
}

// The percent text counts the segment: a first-two-seconds cut of a six-second file climbs
// to the high nineties by itself, where counting the whole file would stall near a third.
TEST_F(SegmentConversionTest, ProgressCountsTheSegmentNotTheFile) {
    ASSERT_TRUE(convert(Segment{0, 2000, 0, 0}, "cut.wav"));
    const std::vector<std::string> texts = view.linesOf("upper");
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.back(), "Converting source.wav...100%");
    const std::string beforeLast = texts[texts.size() - 2];
    EXPECT_GE(std::stoi(beforeLast.substr(beforeLast.rfind("...") + 3)), 90) << beforeLast;
}

TEST_F(SegmentConversionTest, StartPastTheEndFailsAndLeavesNoFile) {
    // 10 s is past the announced duration; 6.5 s only shows once the source has ended.
    for (const std::int64_t startMs : {10000, 6500}) {
        for (const char* name : {"late.wav", "late.m4r"}) {
            EXPECT_FALSE(convert(Segment{startMs, 2000, 0, 0}, name));
            EXPECT_EQ(failureNote, "the part to convert starts after the end of the file");
            EXPECT_EQ(test::folderNames(root()),
                      (std::vector<std::string>{"config", "home", "source.wav"}))
                << startMs << " " << name;
        }
    }
    EXPECT_FALSE(convert(Segment{0, 0, 0, 0}, "empty.wav"));
    EXPECT_EQ(failureNote, "the part to convert has no length");
}

} // namespace
} // namespace velmora
