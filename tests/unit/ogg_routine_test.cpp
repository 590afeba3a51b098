// The OGG routine end to end, from WAV, FLAC and Ogg sources made here: rate, channels and
// nominal bit rate as the stream carries them (snap and limits, "Auto" without them), the
// conversion chain (resampling, widening, channel choice), the comments of the three tag
// modes, cancel and refused or failing encoders leaving nothing behind, and the command line.
// Every output is read back with ffprobe, FFmpeg, TagLib or a hand walk over its pages.

#include "engine/conversion_settings.h"
#include "engine/routine_factory.h"
#include "tests/unit/lossy_output_checks.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <string>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::RecordingBatchView;

class OggRoutineTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
        settings.OGGID3TagType = 2;
    }

    bool convert(SourceKind kind, const std::string& source, const std::string& output,
                 RecordingBatchView& view, int batchPosition = 1) {
        auto routine = RoutineFactory::create(4000);
        if (!routine)
            return false;
        RoutineContext context{settings, view, batchPosition, {}};
        return routine->run(kind, path(source).string(), path(output).string(), context);
    }
    bool convert(SourceKind kind, const std::string& source,
                 const std::string& output = "out.ogg") {
        RecordingBatchView view;
        return convert(kind, source, output, view);
    }

    void writeWav(const std::string& name, int channels, int rate, int bits, double seconds,
                  double leftHz = 440, double rightHz = 1000, double amplitude = 0.5) {
        test::writeFileBytes(
            path(name), test::toneWav(channels, rate, bits, seconds, leftHz, rightHz, amplitude));
    }

    std::map<std::string, std::vector<std::string>> comments(const std::string& name = "out.ogg") {
        std::map<std::string, std::vector<std::string>> result;
        TagLib::Ogg::Vorbis::File file(path(name).c_str());
        EXPECT_TRUE(file.isValid());
        if (!file.isValid())
            return result;
        for (const auto& [key, values] : file.tag()->fieldListMap())
            for (const auto& value : values)
                result[key.to8Bit(true)].push_back(value.to8Bit(true));
        return result;
    }

    ConversionSettings settings{std::string()};
};

struct EncodingCase {
    const char* name;
    int automatic;
    int bitRate;    // "OGGBitRate"
    int sampleRate; // "OGGSampleRate"
    int channels;   // "OGGChannels"
    int sourceChannels;
    int sourceRate;
    int expectedRate;
    int expectedChannels;
    int expectedKbps;

    friend void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.name; }
};

class OggRoutineEncoding : public OggRoutineTest,
                           public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(OggRoutineEncoding, StreamCarriesTheChosenFormat) {
    const EncodingCase& c = GetParam();
    settings.AutoDestOGGEncodingParam = c.automatic;
    settings.OGGBitRate = c.bitRate;
    settings.OGGSampleRate = c.sampleRate;
    settings.OGGChannels = c.channels;
    writeWav("in.wav", c.sourceChannels, c.sourceRate, 16, 1.5);
    ASSERT_TRUE(convert(SourceKind::Wav, "in.wav"));

    const auto layout = test::walkOggPages(test::readFileBytes(path("out.ogg")));
    ASSERT_TRUE(layout.wellFormed);
    EXPECT_EQ(test::vorbisNominalBitrate(layout), c.expectedKbps * 1000);
    const auto fields = test::probeStream(path("out.ogg"));
    EXPECT_EQ(fields.at("codec_name"), "vorbis");
    EXPECT_EQ(fields.at("sample_rate"), std::to_string(c.expectedRate));
    EXPECT_EQ(fields.at("channels"), std::to_string(c.expectedChannels));
    EXPECT_EQ(fields.at("bit_rate"), std::to_string(c.expectedKbps * 1000));
    const auto pcm = test::decodeWithFfmpeg(path("out.ogg"), path("decoded.raw"));
    // As long as the source: the last granule position counts the frames encoded (the
    // resampler may round by one); FFmpeg's decoder may end within one block of it.
    const double frames = 1.5 * c.expectedRate;
    EXPECT_NEAR(double(layout.pages.back().granule), frames, 1.0);
    EXPECT_NEAR(double(pcm.frames()), frames, 2048.0);
    EXPECT_GT(test::toneLevel(pcm, 0, 440), 0.2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OggRoutineEncoding,
    ::testing::Values(
        EncodingCase{"SnappedToTheTop", 0, 500, 44100, 2, 2, 44100, 44100, 2, 480},
        EncodingCase{"MonoLoweredToTheMaximum", 0, 500, 44100, 1, 2, 44100, 44100, 1, 224},
        EncodingCase{"RaisedToTheMinimum", 0, 8, 32000, 2, 2, 44100, 32000, 2, 40},
        EncodingCase{"SourceRateSnapped", 0, 64, 0, 0, 1, 23000, 22050, 1, 64},
        EncodingCase{"AutomaticBitRateForAWavSource", 0, 0, 16000, 2, 1, 44100, 16000, 2, 56},
        EncodingCase{"AutoHighRateSource", 1, 8, 8000, 1, 2, 96000, 48000, 2, 192},
        EncodingCase{"AutoLowRateMonoSource", 1, 500, 44100, 2, 1, 8000, 11025, 1, 24}),
    [](const ::testing::TestParamInfo<EncodingCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(OggRoutineTest, BitRateZeroTakesAnOggSourcesOwn) {
    settings.AutoDestOGGEncodingParam = 0;
    settings.OGGBitRate = 0;
    settings.OGGSampleRate = 0;
    settings.OGGChannels = 0;
    writeWav("in.wav", 2, 44100, 16, 1.0);
    ASSERT_EQ(test::runCommand("ffmpeg -v error -i " + test::shellQuote(path("in.wav")) +
                               " -c:a libvorbis -b:a 96k " + test::shellQuote(path("in.ogg"))),
              0);
    ASSERT_TRUE(convert(SourceKind::Ogg, "in.ogg"));
    const auto layout = test::walkOggPages(test::readFileBytes(path("out.ogg")));
    EXPECT_EQ(test::vorbisNominalBitrate(layout), 96000);
}

TEST_F(OggRoutineTest, EightBitSourceAtItsOwnRateIsWidened) {
    settings.AutoDestOGGEncodingParam = 0;
    settings.OGGSampleRate = 0;
    settings.OGGChannels = 0;
    settings.OGGBitRate = 128;
    writeWav("in.wav", 2, 44100, 8, 1.5, 440, 1000, 0.4);
    ASSERT_TRUE(convert(SourceKind::Wav, "in.wav"));
    const auto pcm = test::decodeWithFfmpeg(path("out.ogg"), path("decoded.raw"));
    EXPECT_EQ(pcm.rate, 44100);
    ASSERT_EQ(pcm.channels, 2);
    EXPECT_NEAR(double(pcm.frames()), 66150.0, 2048.0);
    const auto layout = test::walkOggPages(test::readFileBytes(path("out.ogg")));
    ASSERT_TRUE(layout.wellFormed);
    EXPECT_EQ(layout.pages.back().granule, 66150);
    EXPECT_NEAR(test::toneLevel(pcm, 0, 440), 0.4, 0.03);
    EXPECT_NEAR(test::toneLevel(pcm, 1, 1000), 0.4, 0.03);
    EXPECT_LT(test::toneLevel(pcm, 0, 1000), 0.02);
}

struct ChannelCase {
    const char* name;
    int sourceChannels;
    int channels; // "OGGChannels"
    int monoType;
    int amplify; // percent, 100 = off
    // Per output channel: level of the source's left (440 Hz) and right (1000 Hz) tone.
    std::vector<std::pair<double, double>> levels;

    friend void PrintTo(const ChannelCase& c, std::ostream* os) { *os << c.name; }
};

class OggRoutineChannels : public OggRoutineTest,
                           public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(OggRoutineChannels, ChannelChoiceAndAmplifier) {
    const ChannelCase& c = GetParam();
    settings.AutoDestOGGEncodingParam = 0;
    settings.OGGSampleRate = 0;
    settings.OGGBitRate = 96;
    settings.OGGChannels = c.channels;
    settings.MonoType = c.monoType;
    settings.AmplifyOGG = c.amplify != 100;
    settings.AmplifyOGGCoeff = c.amplify;
    writeWav("in.wav", c.sourceChannels, 22050, 16, 1.5, 440, 1000, 0.3);
    ASSERT_TRUE(convert(SourceKind::Wav, "in.wav"));
    const auto pcm = test::decodeWithFfmpeg(path("out.ogg"), path("decoded.raw"));
    ASSERT_EQ(pcm.channels, static_cast<int>(c.levels.size()));
    for (int ch = 0; ch < pcm.channels; ++ch) {
        EXPECT_NEAR(test::toneLevel(pcm, ch, 440), c.levels[ch].first, 0.03) << "channel " << ch;
        EXPECT_NEAR(test::toneLevel(pcm, ch, 1000), c.levels[ch].second, 0.03) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OggRoutineChannels,
    ::testing::Values(ChannelCase{"RightChannel", 2, 1, 2, 100, {{0, 0.3}}},
                      ChannelCase{"LeftChannel", 2, 1, 1, 100, {{0.3, 0}}},
                      ChannelCase{"Mixed", 2, 1, 0, 100, {{0.15, 0.15}}},
                      ChannelCase{"MonoToStereo", 1, 2, 0, 100, {{0.3, 0}, {0.3, 0}}},
                      ChannelCase{"StereoKept", 2, 0, 2, 100, {{0.3, 0}, {0, 0.3}}},
                      ChannelCase{"AmplifiedRightChannel", 2, 1, 2, 250, {{0, 0.75}}}),
    [](const ::testing::TestParamInfo<ChannelCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Tags

TEST_F(OggRoutineTest, PresetComments) {
    settings.OGGID3TagType = 0;
    TagPreset& preset = settings.OGGTag;
    preset.TitleAsFileName = 0;
    preset.Title = "Preset Title";
    preset.Artist = "Preset Artist";
    preset.Year = "1987";
    preset.Genre = "Synthpop";
    preset.Composer = "Preset Composer";
    writeWav("My.Song.wav", 1, 22050, 16, 0.5);

    preset.TrackNumType = 0;
    ASSERT_TRUE(convert(SourceKind::Wav, "My.Song.wav"));
    const std::map<std::string, std::vector<std::string>> expected = {
        {"TITLE", {"Preset Title"}},
        {"ARTIST", {"Preset Artist"}},
        {"DATE", {"1987"}},
        {"GENRE", {"Synthpop"}},
        {"COMPOSER", {"Preset Composer"}}};
    EXPECT_EQ(comments(), expected) << "no TRACKNUMBER for track 0";

    preset.TrackNumType = 1;
    preset.TitleAsFileName = 1;
    RecordingBatchView view;
    ASSERT_TRUE(convert(SourceKind::Wav, "My.Song.wav", "out.ogg", view, 5));
    auto found = comments();
    EXPECT_EQ(found["TRACKNUMBER"], std::vector<std::string>{"5"});
    EXPECT_EQ(found["TITLE"], std::vector<std::string>{"My.Song"});

    preset.TrackNumType = 2;
    preset.CustomTrackNum = 300; // the whole number: Vorbis comments are text
    ASSERT_TRUE(convert(SourceKind::Wav, "My.Song.wav"));
    EXPECT_EQ(comments()["TRACKNUMBER"], std::vector<std::string>{"300"});

    settings.OGGID3TagType = 2;
    ASSERT_TRUE(convert(SourceKind::Wav, "My.Song.wav"));
    EXPECT_TRUE(comments().empty());
}

TEST_F(OggRoutineTest, TransferredCommentsKeepTheTrackText) {
    settings.OGGID3TagType = 1;
    writeWav("in.wav", 2, 44100, 16, 0.5);
    ASSERT_EQ(test::runCommand("ffmpeg -v error -i " + test::shellQuote(path("in.wav")) +
                               " -metadata title='From Flac' -metadata album=Record "
                               "-metadata track=3/12 " +
                               test::shellQuote(path("in.flac"))),
              0);
    ASSERT_TRUE(convert(SourceKind::Flac, "in.flac"));
    auto found = comments();
    EXPECT_EQ(found["TITLE"], std::vector<std::string>{"From Flac"});
    EXPECT_EQ(found["ALBUM"], std::vector<std::string>{"Record"});
    EXPECT_EQ(found["TRACKNUMBER"], std::vector<std::string>{"3/12"});
    EXPECT_FALSE(found.contains("ARTIST"));
}

// ---------------------------------------------------------------------------------------------
// Pages and failures

TEST_F(OggRoutineTest, HeadersFirstAndTheLastPageEndsTheStream) {
    writeWav("in.wav", 2, 44100, 16, 2.0);
    ASSERT_TRUE(convert(SourceKind::Wav, "in.wav"));
    const auto layout = test::walkOggPages(test::readFileBytes(path("out.ogg")));
    ASSERT_TRUE(layout.wellFormed);
    ASSERT_GT(layout.packets.size(), 3u);
    EXPECT_EQ(layout.pages[0].packetsEnded, 1);
    EXPECT_GT(layout.packetFirstPage[3], layout.packetLastPage[2]);
    EXPECT_EQ(layout.pages.back().flags & 4, 4);
    EXPECT_EQ(layout.pages.back().granule, 88200);
}

TEST_F(OggRoutineTest, CancelLeavesNoFileAndKeepsAnExistingTarget) {
    writeWav("in.wav", 2, 44100, 16, 3.0);
    for (const bool targetExists : {false, true}) {
        const Bytes target = {'o', 'l', 'd'};
        if (targetExists)
            test::writeFileBytes(path("out.ogg"), target);
        RecordingBatchView view;
        view.cancelOnLine("upper Converting in.wav...40%");
        EXPECT_FALSE(convert(SourceKind::Wav, "in.wav", "out.ogg", view));
        EXPECT_EQ(view.linesOf("upper").back(), "Converting in.wav...40%");
        std::vector<std::string> expected = {"config", "home", "in.wav"};
        if (targetExists)
            expected.push_back("out.ogg");
        EXPECT_EQ(test::folderNames(root()), expected);
        if (targetExists) {
            EXPECT_EQ(test::readFileBytes(path("out.ogg")), target);
        }
    }
}

TEST_F(OggRoutineTest, RefusedEncoderSettingsLeaveNoFile) {
    settings.AutoDestOGGEncodingParam = 0;
    // Not a value the store would ever load; the encoder takes one or two channels.
    settings.OGGChannels = 3;
    writeWav("in.wav", 2, 44100, 16, 0.5);
    EXPECT_FALSE(convert(SourceKind::Wav, "in.wav"));
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home", "in.wav"}));
}

TEST_F(OggRoutineTest, AFileThatCannotGrowFailsAndIsRemoved) {
    settings.AutoDestOGGEncodingParam = 0;
    settings.OGGBitRate = 320;
    writeWav("in.wav", 2, 44100, 16, 5.0);
    RecordingBatchView view;
    auto run = [&] { return convert(SourceKind::Wav, "in.wav", "out.ogg", view); };
    ASSERT_TRUE(run());
    const auto whole = static_cast<rlim_t>(std::filesystem::file_size(path("out.ogg")));
    std::filesystem::remove(path("out.ogg"));
    // Part of the audio; and all of it but the last bytes, which only the end of the stream
    // and close write.
    for (const rlim_t limit : {whole / 3, whole - 20}) {
        EXPECT_EQ(test::runWithFileSizeLimit(limit, [&] { return run() ? 1 : 0; }), 0) << limit;
        EXPECT_EQ(test::folderNames(root()),
                  (std::vector<std::string>{"config", "home", "in.wav"}));
    }
}

// ---------------------------------------------------------------------------------------------
// Command line

TEST_F(OggRoutineTest, CommandLineConvertsWithStoredAndRunOnlySettings) {
    writeWav("in.wav", 2, 44100, 16, 1.0);
    const std::string cli = test::shellQuote(VELMORA_CLI_PATH);
    const std::string in = test::shellQuote(path("in.wav"));
    ASSERT_EQ(test::runCommand(cli + " settings set AutoDestOGGEncodingParam 0"), 0);
    ASSERT_EQ(test::runCommand(cli + " settings set OGGBitRate 96"), 0);
    std::string out;
    ASSERT_EQ(test::runCommand(cli + " convert --to ogg " + in + " </dev/null", &out), 0);
    EXPECT_EQ(out,
              path("in.wav").string() + " -> " + path("home/Documents/in.ogg").string() + "\n");
    const auto documents = path("home/Documents");
    EXPECT_EQ(test::probeStream(documents / "in.ogg").at("bit_rate"), "96000");

    out.clear();
    ASSERT_EQ(test::runCommand(cli +
                                   " convert --to 4000 --set OGGSampleRate=22050 --set "
                                   "OGGChannels=1 --set OGGID3TagType=0 --set "
                                   "OGGTag.Album=Somewhere " +
                                   in + " </dev/null",
                               &out),
              0);
    EXPECT_EQ(out,
              path("in.wav").string() + " -> " + path("home/Documents/in_1.ogg").string() + "\n");
    const auto fields = test::probeStream(documents / "in_1.ogg");
    EXPECT_EQ(fields.at("sample_rate"), "22050");
    EXPECT_EQ(fields.at("channels"), "1");
    EXPECT_EQ(fields.at("bit_rate"), "80000"); // 96 lowered to the mono maximum at 22050 Hz
    TagLib::Ogg::Vorbis::File file((documents / "in_1.ogg").c_str());
    ASSERT_TRUE(file.isValid());
    EXPECT_EQ(file.tag()->album().to8Bit(true), "Somewhere");
    EXPECT_EQ(file.tag()->title().to8Bit(true), "in");
}

} // namespace
} // namespace velmora
