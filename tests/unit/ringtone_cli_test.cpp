// The ringtone maker on the command line: the segment each option combination asks for, the
// three phone profiles turning a three-minute song into a ringtone that FFmpeg reads back, the
// long M4R note when nobody can be asked, suggest-segment, and the bad input the issue lists.

#include "app/cli/convert_options.h"
#include "tests/unit/lossy_output_checks.h"
#include "tests/unit/ringtone_test_file.h"
#include "tests/unit/test_support.h"
#include "tests/unit/word_tables.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace velmora {
namespace {

using test::Words;
using test::words;

TEST(RingtoneOptions, SegmentAskedByEachCombination) {
    constexpr std::int64_t kToEnd = Segment::kToTheEndMs;
    using Case = std::tuple<const char*, Segment, bool>;
    for (const auto& [line, segment, suggestedStart] :
         {Case{"--to wav --start 0:45 --length 30", {45000, 30000, 0, 0}, false},
          Case{"--to wav --start 1.5", {1500, kToEnd, 0, 0}, false},
          Case{"--to wav --fade-out 2", {0, kToEnd, 0, 2000}, false},
          Case{"--ringtone iphone", {0, 30000, 500, 1500}, true},
          Case{"--ringtone feature-phone --length 10", {0, 10000, 300, 1000}, true},
          Case{"--ringtone android --start 5 --fade-in 0", {5000, 30000, 0, 1500}, false}}) {
        SCOPED_TRACE(line);
        cli::ConvertOptions options;
        ASSERT_EQ(options.parse(words(std::string(line) + " a.wav")), std::nullopt);
        EXPECT_TRUE(options.wantsSegment());
        EXPECT_EQ(options.segment(), segment);
        EXPECT_EQ(options.wantsSuggestedStart(), suggestedStart);
    }
    cli::ConvertOptions plain;
    ASSERT_EQ(plain.parse(words("--to m4r a.wav")), std::nullopt);
    EXPECT_FALSE(plain.wantsSegment());
}

// The level (0..1 of full scale) of the decoded sound between two times.
double rms(const test::DecodedPcm& pcm, double fromSeconds, double toSeconds) {
    const auto first = static_cast<std::size_t>(fromSeconds * pcm.rate) * pcm.channels;
    const auto end = static_cast<std::size_t>(toSeconds * pcm.rate) * pcm.channels;
    double sum = 0;
    for (std::size_t i = first; i < end; ++i)
        sum += double(pcm.samples[i]) * pcm.samples[i];
    return std::sqrt(sum / static_cast<double>(end - first)) / 32768;
}

// Each test has a three-second file, short.wav, at hand.
class RingtoneCliTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
        out = path("out").string();
        shortFile = path("short.wav").string();
        test::writeFileBytes(shortFile, test::stretchesWav({{3.0, 0.3}}));
    }

    // Standard input is not a terminal, as in CI.
    test::ProgramRun cli(const Words& given) {
        return test::runProgram(VELMORA_CLI_PATH, given, path("stderr.txt"), 300);
    }

    std::string out;
    std::string shortFile;
};

TEST_F(RingtoneCliTest, EachProfileMakesARingtoneOfTheLoudestPart) {
    // Three minutes, quiet but for one loud stretch from 95 s to 130 s that a half second of
    // silence leads into.
    const std::string song = path("song.wav").string();
    test::writeFileBytes(
        song, test::stretchesWav({{94.5, 0.06}, {0.5, 0.0}, {35.0, 0.8}, {50, 0.06}}, 44100));
    const auto suggestion = cli({"suggest-segment", "--json", song});
    ASSERT_EQ(suggestion.status, 0) << suggestion.err;
    EXPECT_EQ(suggestion.out, "{\"start\":94.900,\"length\":30.000}\n");

    using Case = std::tuple<const char*, const char*, const char*, int, double, int>;
    for (const auto& [profile, extension, codec, rate, seconds, toleranceFrames] :
         {Case{"iphone", ".m4r", "aac", 44100, 30.0, 1024},
          Case{"android", ".ogg", "vorbis", 44100, 30.0, 2048},
          Case{"feature-phone", ".amr", "amr_nb", 8000, 20.0, 160}}) {
        SCOPED_TRACE(profile);
        Words given{"convert", "--ringtone", profile, "-o", out, song};
        if (codec == std::string("aac"))
            given.insert(given.begin() + 3, {"--title", "Ring"}); // AMR carries no tags
        const auto run = cli(given);
        ASSERT_EQ(run.status, 0) << run.err;
        const auto output = path(std::string("out/song") + extension);
        EXPECT_EQ(test::probeStream(output).at("codec_name"), codec);
        const test::DecodedPcm pcm = test::decodeWithFfmpeg(output, path("decoded.raw"));
        ASSERT_EQ(pcm.rate, rate);
        EXPECT_NEAR(static_cast<double>(pcm.frames()), seconds * rate, toleranceFrames); // a frame
        // The loudest part from a tenth of a second on (the silent lead-in, faded in), faded
        // out at the end; a start anywhere else would be quiet.
        EXPECT_LT(rms(pcm, 0.0, 0.09), 0.01);
        EXPECT_GT(rms(pcm, 1.0, seconds - 2), 0.3);
        EXPECT_LT(rms(pcm, seconds - 0.05, seconds - 0.01), 0.1);
    }
    const auto m4r = test::readFileBytes(path("out/song.m4r"));
    EXPECT_EQ(std::string(m4r.begin() + 8, m4r.begin() + 12), "M4A ");
    EXPECT_EQ(test::ffprobeFields(path("out/song.m4r"), "format_tags=title")["TAG:title"], "Ring");
}

TEST_F(RingtoneCliTest, LongM4rIsConvertedWholeWithANoteWhenNobodyCanBeAsked) {
    test::writeFileBytes(path("long.wav"), test::stretchesWav({{45.0, 0.3}}));
    const auto run = cli({"convert", "--to", "m4r", "-o", out, path("long.wav").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("long.wav"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Converted whole"), std::string::npos) << run.err;
    const test::DecodedPcm pcm = test::decodeWithFfmpeg(path("out/long.m4r"), path("d.raw"));
    EXPECT_NEAR(static_cast<double>(pcm.frames()), 45.0 * 8000, 1024);
}

TEST_F(RingtoneCliTest, BadTimesAndProfilesAreUsageErrors) {
    for (const char* line : {"convert --to wav --length 0", "convert --to wav --length -3",
                             "convert --to wav --start soon", "convert --to wav --fade-in 1:99",
                             "convert --ringtone nokia", "convert --ringtone iphone --to mp3",
                             "suggest-segment --length 0", "suggest-segment"}) {
        SCOPED_TRACE(line);
        Words given = words(line);
        if (given.size() > 1)
            given.push_back(shortFile);
        const auto run = cli(given);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(test::folderNames(root()),
              (std::vector<std::string>{"config", "home", "short.wav", "stderr.txt"}));
}

TEST_F(RingtoneCliTest, StartPastTheEndFailsThatFileOnlyAndTooShortSourcesStayWhole) {
    const auto late = cli({"convert", "--to", "wav", "--start", "0:05", "-o", out, shortFile});
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.out.find("starts after the end"), std::string::npos) << late.out;
    EXPECT_FALSE(std::filesystem::exists(path("out/short.wav")));

    // Shorter than the suggested 30 s: the whole file, faded.
    const auto whole = cli({"convert", "--ringtone", "iphone", "-o", out, shortFile});
    ASSERT_EQ(whole.status, 0) << whole.err;
    const test::DecodedPcm pcm = test::decodeWithFfmpeg(path("out/short.m4r"), path("d.raw"));
    EXPECT_NEAR(static_cast<double>(pcm.frames()), 3.0 * 8000, 1024);
    EXPECT_LT(rms(pcm, 0.0, 0.02), 0.1);
    EXPECT_GT(rms(pcm, 1.0, 1.5), 0.15);
}

} // namespace
} // namespace velmora
