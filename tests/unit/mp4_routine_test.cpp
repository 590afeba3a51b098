// The MP4-family and AAC routines from WAV (and M4A) sources made here: the command line's
// conversions to every extension, the tags each "M4AID3TagType" writes, the encoder options
// with "Auto" on and off, the amplifier on 8-bit sources, and what is left on disk when a
// conversion fails. Outputs are read back with FFmpeg, TagLib and hand walks.

#include "engine/aac_routine.h"
#include "engine/conversion_settings.h"
#include "engine/mp4_routine.h"
#include "tests/unit/aac_test_support.h"
#include "tests/unit/recording_batch_view.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::RecordingBatchView;

class AacFamilyRoutineTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }

    void writeWav(const std::string& name, int channels, int rate, std::size_t frames) {
        test::writeFileBytes(
            path(name),
            test::pcmWavBytes(channels, rate, 16,
                              test::s16Bytes(test::musicSignal(frames, channels, rate))));
    }

    // An 8-bit mono WAV holding a sine of `amplitude` around the midpoint.
    void write8BitWav(const std::string& name, int amplitude, std::size_t frames) {
        Bytes data;
        for (std::size_t i = 0; i < frames; ++i)
            data.push_back(static_cast<std::uint8_t>(
                128 + std::lround(amplitude * std::sin(2 * 3.14159265 * 440 * i / 22050.0))));
        test::writeFileBytes(path(name), test::pcmWavBytes(1, 22050, 8, data));
    }

    template <typename Routine>
    bool convert(const std::string& source, const std::string& output,
                 SourceKind kind = SourceKind::Wav, int batchPosition = 1,
                 RecordingBatchView* view = nullptr) {
        RecordingBatchView ownView;
        Routine routine;
        RoutineContext context{settings, view ? *view : ownView, batchPosition, {}};
        return routine.run(kind, path(source).string(), path(output).string(), context);
    }

    std::map<std::string, std::string> mp4Items(const std::string& name) {
        std::map<std::string, std::string> items;
        TagLib::MP4::File file(path(name).c_str());
        EXPECT_TRUE(file.isValid()) << name;
        if (!file.isValid())
            return items;
        for (const auto& [key, item] : file.tag()->itemMap()) {
            const std::string k = key.to8Bit(true);
            items[k] = k == "trkn" ? std::to_string(item.toIntPair().first) + "/" +
                                         std::to_string(item.toIntPair().second)
                                   : item.toStringList().toString().to8Bit(true);
        }
        return items;
    }

    double rms(const std::vector<std::int16_t>& samples) {
        double sum = 0;
        for (const std::int16_t s : samples)
            sum += static_cast<double>(s) * s;
        return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
    }

    double kbps(const std::string& name, double seconds) {
        return static_cast<double>(std::filesystem::file_size(path(name))) * 8 / seconds / 1000;
    }

    ConversionSettings settings{std::string()};
};

// ---------------------------------------------------------------------------------------------
// The command line

TEST_F(AacFamilyRoutineTest, CommandLineConvertsToEveryExtension) {
    writeWav("in.wav", 2, 44100, 30000);
    const std::string home = path("home").string();
    for (const std::string word : {"m4r", "m4a", "m4b", "mp4", "aac"}) {
        std::string out;
        const int status =
            test::runCommand(test::shellQuote(VELMORA_CLI_PATH) + " convert --to " + word + " " +
                                 test::shellQuote(path("in.wav")) + " </dev/null 2>&1",
                             &out);
        EXPECT_EQ(status, 0) << word << ": " << out;
        EXPECT_EQ(out, path("in.wav").string() + " -> " +
                           path("home/Documents/in." + word).string() + "\n");
        const auto output = path("home/Documents/in." + word);
        const auto fields = test::ffprobeStream(output);
        EXPECT_EQ(fields.at("codec_name"), "aac") << word;
        EXPECT_EQ(fields.at("sample_rate"), "44100") << word;
        EXPECT_EQ(fields.at("channels"), "2") << word;
    }
    const auto brand = [&](const std::string& name) {
        const Bytes file = test::readFileBytes(path("home/Documents/" + name));
        return std::string(file.begin() + 8, file.begin() + 12);
    };
    EXPECT_EQ(brand("in.m4r"), "M4A ");
    EXPECT_EQ(brand("in.m4b"), "M4A ");
    EXPECT_EQ(brand("in.mp4"), "isom");
    bool complete = false;
    EXPECT_FALSE(
        test::adtsFrames(test::readFileBytes(path("home/Documents/in.aac")), complete).empty());
    EXPECT_TRUE(complete);
}

// ---------------------------------------------------------------------------------------------
// Tags

TEST_F(AacFamilyRoutineTest, PresetTagsFollowTheTitleAndTrackRules) {
    writeWav("Song.Name.wav", 1, 44100, 5000);
    settings.M4AID3TagType = 0;
    TagPreset& preset = settings.M4ATag;
    preset.TitleAsFileName = 1;
    preset.Title = "unused";
    preset.Artist = "Åsa Ärtist";
    preset.Genre = "Folk";
    preset.Copyright = "(c) 2024";
    preset.TrackNumType = 1;
    ASSERT_TRUE(convert<Mp4Routine>("Song.Name.wav", "a.m4r", SourceKind::Wav, 3));
    EXPECT_EQ(mp4Items("a.m4r"), (std::map<std::string, std::string>{{"\xC2\xA9nam", "Song.Name"},
                                                                     {"\xC2\xA9"
                                                                      "ART",
                                                                      "Åsa Ärtist"},
                                                                     {"\xC2\xA9gen", "Folk"},
                                                                     {"trkn", "3/0"}}));

    preset.TitleAsFileName = 0;
    preset.TrackNumType = 2;
    preset.CustomTrackNum = 0;
    ASSERT_TRUE(convert<Mp4Routine>("Song.Name.wav", "b.m4a"));
    const auto items = mp4Items("b.m4a");
    EXPECT_EQ(items.at("\xC2\xA9nam"), "unused");
    EXPECT_FALSE(items.contains("trkn"));

    settings.M4AID3TagType = 2;
    ASSERT_TRUE(convert<Mp4Routine>("Song.Name.wav", "c.m4a"));
    EXPECT_TRUE(mp4Items("c.m4a").empty());
}

TEST_F(AacFamilyRoutineTest, TransferredTagsComeFromAnMpeg4Source) {
    writeWav("in.wav", 2, 44100, 20000);
    ASSERT_EQ(test::runCommand("ffmpeg -v error -y -i " + test::shellQuote(path("in.wav")) +
                               " -c:a aac -metadata title='Tïtle' -metadata artist=Art"
                               " -metadata track=5/9 -metadata composer=Comp"
                               " -metadata copyright=Mine " +
                               test::shellQuote(path("src.m4a"))),
              0);
    settings.M4AID3TagType = 1;
    ASSERT_TRUE(convert<Mp4Routine>("src.m4a", "out.m4r", SourceKind::Mpeg4Audio));
    EXPECT_EQ(mp4Items("out.m4r"), (std::map<std::string, std::string>{{"\xC2\xA9nam", "Tïtle"},
                                                                       {"\xC2\xA9"
                                                                        "ART",
                                                                        "Art"},
                                                                       {"\xC2\xA9wrt", "Comp"},
                                                                       {"trkn", "5/0"}}));
    // A source without tags gives a file without items.
    ASSERT_TRUE(convert<Mp4Routine>("in.wav", "none.m4r"));
    EXPECT_TRUE(mp4Items("none.m4r").empty());
}

// ---------------------------------------------------------------------------------------------
// Encoder options

TEST_F(AacFamilyRoutineTest, QualityOutsideItsRangeEncodesAsTheDefault) {
    writeWav("in.wav", 2, 44100, 44100);
    ASSERT_TRUE(convert<Mp4Routine>("in.wav", "auto.m4a"));
    ASSERT_TRUE(convert<AacRoutine>("in.wav", "auto.aac"));
    settings.AutoDestM4AEncodingParam = 0;
    settings.AutoDestAACEncodingParam = 0;
    for (const int quality : {5, 600}) {
        settings.M4AVBRQuality = quality;
        settings.AACVBRQuality = quality;
        const std::string name = "q" + std::to_string(quality);
        ASSERT_TRUE(convert<Mp4Routine>("in.wav", name + ".m4a"));
        ASSERT_TRUE(convert<AacRoutine>("in.wav", name + ".aac"));
        EXPECT_EQ(test::readFileBytes(path(name + ".m4a")), test::readFileBytes(path("auto.m4a")));
        EXPECT_EQ(test::readFileBytes(path(name + ".aac")), test::readFileBytes(path("auto.aac")));
    }
    settings.M4AVBRQuality = 10;
    ASSERT_TRUE(convert<Mp4Routine>("in.wav", "q10.m4a"));
    EXPECT_LT(std::filesystem::file_size(path("q10.m4a")),
              std::filesystem::file_size(path("auto.m4a")) * 2 / 3);
}

TEST_F(AacFamilyRoutineTest, AverageBitRateIsTheTotalOverBothChannels) {
    writeWav("in.wav", 2, 44100, 44100 * 4);
    settings.AutoDestAACEncodingParam = 0;
    settings.AACVBR = 0;
    settings.AACABRBitRate = 128;
    settings.AutoDestM4AEncodingParam = 0;
    settings.M4AVBR = 0;
    settings.M4AABRBitRate = 64;
    ASSERT_TRUE(convert<AacRoutine>("in.wav", "out.aac"));
    ASSERT_TRUE(convert<Mp4Routine>("in.wav", "out.m4a"));
    EXPECT_NEAR(kbps("out.aac", 4.0), 128, 15);
    EXPECT_NEAR(kbps("out.m4a", 4.0), 64, 8);
}

TEST_F(AacFamilyRoutineTest, MpegVersionReachesTheHeadersOnlyWithAutoOff) {
    writeWav("in.wav", 2, 44100, 10000);
    settings.AACMpegVersion = 1;
    settings.MonoType = 1; // no effect: the source's channels go on
    const auto ids = [&](const std::string& name) {
        bool complete = false;
        std::set<int> seen;
        for (const auto& f : test::adtsFrames(test::readFileBytes(path(name)), complete))
            seen.insert(f.id * 10 + f.channelConfig);
        EXPECT_TRUE(complete);
        return seen;
    };
    ASSERT_TRUE(convert<AacRoutine>("in.wav", "auto.aac"));
    EXPECT_EQ(ids("auto.aac"), (std::set<int>{2}));
    settings.AutoDestAACEncodingParam = 0;
    ASSERT_TRUE(convert<AacRoutine>("in.wav", "mpeg2.aac"));
    EXPECT_EQ(ids("mpeg2.aac"), (std::set<int>{12}));
}

TEST_F(AacFamilyRoutineTest, EightBitSourcesAreWidenedAndAmplifiedAsUnsigned) {
    write8BitWav("in.wav", 30, 22050);
    ASSERT_TRUE(convert<Mp4Routine>("in.wav", "plain.m4a"));
    settings.AmplifyM4A = 1;
    settings.AmplifyM4ACoef = 300;
    settings.AmplifyAAC = 1;
    settings.AmplifyAACCoef = 300;
    ASSERT_TRUE(convert<Mp4Routine>("in.wav", "loud.m4a"));
    ASSERT_TRUE(convert<AacRoutine>("in.wav", "loud.aac"));
    EXPECT_EQ(test::ffprobeStream(path("loud.m4a")).at("sample_rate"), "22050");
    EXPECT_EQ(test::ffprobeStream(path("loud.aac")).at("channels"), "1");
    const double plain = rms(test::ffmpegDecode16(path("plain.m4a"), path("p.raw")));
    const double loud = rms(test::ffmpegDecode16(path("loud.m4a"), path("l.raw")));
    const double loudAac = rms(test::ffmpegDecode16(path("loud.aac"), path("a.raw")));
    // A 30-step sine widened by 256: RMS 30 x 256 / sqrt(2).
    EXPECT_NEAR(plain, 30 * 256 / std::sqrt(2.0), 300);
    EXPECT_NEAR(loud / plain, 3.0, 0.15);
    EXPECT_NEAR(loudAac / plain, 3.0, 0.3); // the priming frame of silence is decoded too
}

// ---------------------------------------------------------------------------------------------
// Failures leave nothing behind

TEST_F(AacFamilyRoutineTest, ARefusedStartRemovesTheOutput) {
    writeWav("in.wav", 2, 44100, 5000);
    settings.AutoDestM4AEncodingParam = 0;
    settings.M4AVBR = 0;
    settings.M4AABRBitRate = -128;
    EXPECT_FALSE(convert<Mp4Routine>("in.wav", "out.m4r"));
    settings.AutoDestAACEncodingParam = 0;
    settings.AACVBR = 0;
    settings.AACABRBitRate = -128;
    EXPECT_FALSE(convert<AacRoutine>("in.wav", "out.aac"));
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home", "in.wav"}));
}

TEST_F(AacFamilyRoutineTest, ARateAacCannotSignalFailsCleanly) {
    writeWav("odd.wav", 2, 37800, 5000);
    EXPECT_FALSE(convert<Mp4Routine>("odd.wav", "out.m4r"));
    EXPECT_FALSE(convert<AacRoutine>("odd.wav", "out.aac"));
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home", "odd.wav"}));
}

TEST_F(AacFamilyRoutineTest, CancelRemovesThePartialOutput) {
    writeWav("in.wav", 2, 44100, 1152 * 10);
    RecordingBatchView view;
    int pumps = 0;
    view.cancelWhen(
        [&](const std::string& line, std::size_t) { return line == "pump" && ++pumps == 3; });
    EXPECT_FALSE(convert<Mp4Routine>("in.wav", "out.m4r", SourceKind::Wav, 1, &view));
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home", "in.wav"}));
}

} // namespace
} // namespace velmora
