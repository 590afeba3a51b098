// The ringtone maker on the command line: the segment each option combination asks for, the
// three phone profiles turning a three-minute song into a ringtone that FFmpeg reads back, the
// long M4R note when nobody can be asked, suggest-segment, and the bad input the issue lists.

#include "app/cli/convert_options.h"
#include "tests/unit/lossy_output_checks.h"
#include "tests/unit/ringtone_test_file.h"
#include "tests/unit/test_support.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmora {
namespace {

using Words = std::vector<std::string>;

struct SegmentCase {
    Words words;
    Segment segment;
    bool suggestedStart;
};

TEST(RingtoneOptions, SegmentAskedByEachCombination) {
    constexpr std::int64_t kToEnd = Segment::kToTheEndMs;
    for (const SegmentCase& c : std::vector<SegmentCase>{
             {{"--to", "wav", "--start", "0:45", "--length", "30"}, {45000, 30000, 0, 0}, false},
             {{"--to", "wav", "--start", "1.5"}, {1500, kToEnd, 0, 0}, false},
             {{"--to", "wav", "--fade-out", "2"}, {0, kToEnd, 0, 2000}, false},
             {{"--ringtone", "iphone"}, {0, 30000, 500, 1500}, true},
             {{"--ringtone", "feature-phone", "--length", "10"}, {0, 10000, 300, 1000}, true},
             {{"--ringtone", "android", "--start", "5", "--fade-in", "0"},
              {5000, 30000, 0, 1500},
              false}}) {
        cli::ConvertOptions options;
        Words words = c.words;
        words.push_back("a.wav");
        ASSERT_EQ(options.parse(words), std::nullopt) << c.words[1];
        EXPECT_TRUE(options.wantsSegment());
        EXPECT_EQ(options.segment(), c.segment) << c.words.size() << " " << c.words[1];
        EXPECT_EQ(options.wantsSuggestedStart(), c.suggestedStart) << c.words[1];
    }
    cli::ConvertOptions plain;
    ASSERT_EQ(plain.parse({"--to", "m4r", "a.wav"}), std::nullopt);
    EXPECT_FALSE(plain.wantsSegment());
}

using CliRun = test::ProgramRun;

class RingtoneCliTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }

    // Standard input is not a terminal, as in CI.
    CliRun cli(const Words& words) {
        return test::runProgram(VELMORA_CLI_PATH, words, path("stderr.txt"), 300);
    }

    // Three minutes, quiet but for one loud stretch from 95 s to 130 s that a half second of
    // silence leads into.
    std::string writeSong() {
        test::writeFileBytes(
            path("song.wav"),
            test::stretchesWav({{94.5, 0.06}, {0.5, 0.0}, {35.0, 0.8}, {50, 0.06}}, 44100));
        return path("song.wav").string();
    }

    static double rms(const test::DecodedPcm& pcm, double fromSeconds, double toSeconds) {
        const auto first = static_cast<std::size_t>(fromSeconds * pcm.rate) * pcm.channels;
        const auto end = static_cast<std::size_t>(toSeconds * pcm.rate) * pcm.channels;
        double sum = 0;
        for (std::size_t i = first; i < end; ++i)
            sum += double(pcm.samples[i]) * pcm.samples[i];
        return std::sqrt(sum / static_cast<double>(end - first)) / 32768;
    }
};

struct ProfileCase {
    const char* word;
    const char* extension;
    const char* codec;
    int rate;
    double seconds;
    int toleranceFrames; // one codec frame
};

TEST_F(RingtoneCliTest, EachProfileMakesARingtoneOfTheLoudestPart) {
    const std::string song = writeSong();
    const CliRun suggestion = cli({"suggest-segment", "--json", song});
    ASSERT_EQ(suggestion.status, 0) << suggestion.err;
    EXPECT_EQ(suggestion.out, "{\"start\":94.900,\"length\":30.000}\n");

    for (const ProfileCase& c : {ProfileCase{"iphone", ".m4r", "aac", 44100, 30.0, 1024},
                                 ProfileCase{"android", ".ogg", "vorbis", 44100, 30.0, 2048},
                                 ProfileCase{"feature-phone", ".amr", "amr_nb", 8000, 20.0, 160}}) {
        Words words{"convert", "--ringtone", c.word, "-o", path("out").string(), song};
        if (c.codec == std::string("aac"))
            words.insert(words.begin() + 3, {"--title", "Ring"}); // AMR carries no tags
        const CliRun run = cli(words);
        ASSERT_EQ(run.status, 0) << c.word << ": " << run.err;
        const auto output = path(std::string("out/song") + c.extension);
        const auto fields = test::probeStream(output);
        EXPECT_EQ(fields.at("codec_name"), c.codec) << c.word;
        const test::DecodedPcm pcm = test::decodeWithFfmpeg(output, path("decoded.raw"));
        ASSERT_EQ(pcm.rate, c.rate) << c.word;
        EXPECT_NEAR(static_cast<double>(pcm.frames()), c.seconds * c.rate, c.toleranceFrames)
            << c.word;
        // The loudest part from a tenth of a second on (the silent lead-in, faded in), faded
        // out at the end; a start anywhere else would be quiet.
        EXPECT_LT(rms(pcm, 0.0, 0.09), 0.01) << c.word;
        EXPECT_GT(rms(pcm, 1.0, c.seconds - 2), 0.3) << c.word;
        EXPECT_LT(rms(pcm, c.seconds - 0.05, c.seconds - 0.01), 0.1) << c.word;
    }
    const auto m4r = test::readFileBytes(path("out/song.m4r"));
    EXPECT_EQ(std::string(m4r.begin() + 8, m4r.begin() + 12), "M4A ");
    EXPECT_EQ(test::ffprobeFields(path("out/song.m4r"), "format_tags=title")["TAG:title"], "Ring");
}

TEST_F(RingtoneCliTest, LongM4rIsConvertedWholeWithANoteWhenNobodyCanBeAsked) {
    test::writeFileBytes(path("long.wav"), test::stretchesWav({{45.0, 0.3}}));
    const CliRun run =
        cli({"convert", "--to", "m4r", "-o", path("out").string(), path("long.wav").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("long.wav"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Converted whole"), std::string::npos) << run.err;
    const test::DecodedPcm pcm = test::decodeWithFfmpeg(path("out/long.m4r"), path("d.raw"));
    EXPECT_NEAR(static_cast<double>(pcm.frames()), 45.0 * 8000, 1024);
}

TEST_F(RingtoneCliTest, BadTimesAndProfilesAreUsageErrors) {
    test::writeFileBytes(path("short.wav"), test::stretchesWav({{3.0, 0.3}}));
    const std::string file = path("short.wav").string();
    for (const Words& words :
         std::vector<Words>{{"convert", "--to", "wav", "--length", "0", file},
                            {"convert", "--to", "wav", "--length", "-3", file},
                            {"convert", "--to", "wav", "--start", "soon", file},
                            {"convert", "--to", "wav", "--fade-in", "1:99", file},
                            {"convert", "--ringtone", "nokia", file},
                            {"convert", "--ringtone", "iphone", "--to", "mp3", file},
                            {"suggest-segment", "--length", "0", file},
                            {"suggest-segment"}}) {
        const CliRun run = cli(words);
        EXPECT_EQ(run.status, 2) << words[3];
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(test::folderNames(root()),
              (std::vector<std::string>{"config", "home", "short.wav", "stderr.txt"}));
}

TEST_F(RingtoneCliTest, StartPastTheEndFailsThatFileOnlyAndTooShortSourcesStayWhole) {
    test::writeFileBytes(path("short.wav"), test::stretchesWav({{3.0, 0.3}}));
    const std::string file = path("short.wav").string();
    const CliRun late =
        cli({"convert", "--to", "wav", "--start", "0:05", "-o", path("out").string(), file});
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.out.find("starts after the end"), std::string::npos) << late.out;
    EXPECT_FALSE(std::filesystem::exists(path("out/short.wav")));

    // Shorter than the suggested 30 s: the whole file, faded.
    const CliRun whole = cli({"convert", "--ringtone", "iphone", "-o", path("out").string(), file});
    ASSERT_EQ(whole.status, 0) << whole.err;
    const test::DecodedPcm pcm = test::decodeWithFfmpeg(path("out/short.m4r"), path("d.raw"));
    EXPECT_NEAR(static_cast<double>(pcm.frames()), 3.0 * 8000, 1024);
    EXPECT_LT(rms(pcm, 0.0, 0.02), 0.1);
    EXPECT_GT(rms(pcm, 1.0, 1.5), 0.15);
}

} // namespace
} // namespace velmora
