// The rules by which the MP3 and OGG outputs pick rate, bit rate, channels and mode: the table
// lookup with its tie rule, the automatic rule at every row boundary, the limits by output rate,
// and the whole choice from settings and source, including which source kinds lend their own
// bit rate. The tag choice is checked on files made here.

#include "engine/conversion_settings.h"
#include "engine/encoder_policy.h"
#include "sources/source_factory.h"
#include "tests/unit/lossy_output_checks.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>
#include <ostream>
#include <vector>

namespace velmora {
namespace {

class EncoderPolicyTest : public test::SandboxTest {
protected:
    ConversionSettings settings{std::string()};
};

struct SnapCase {
    int value;
    int expected;
};

TEST_F(EncoderPolicyTest, SnapTakesTheNearestEntryAndTheLowerOneOnATie) {
    const std::vector<SnapCase> rates = {{44100, 44100},
                                         {46000, 44100},
                                         {46100, 48000},
                                         {46050, 44100},
                                         {23025, 22050},
                                         {23026, 24000},
                                         {7999, 8000},
                                         {1, 8000},
                                         {-5, 8000},
                                         {48001, 48000},
                                         {96000, 48000},
                                         {2147483647, 48000},
                                         {-2147483647 - 1, 8000},
                                         {11500, 11025},
                                         {11600, 12000}};
    for (const SnapCase& c : rates)
        EXPECT_EQ(EncoderPolicy::snap(c.value, EncoderPolicy::mp3SampleRates()), c.expected)
            << c.value;
    const std::vector<SnapCase> bitRates = {{0, 8},     {12, 8},    {13, 16},   {136, 128},
                                            {137, 144}, {288, 256}, {289, 320}, {1000, 320}};
    for (const SnapCase& c : bitRates)
        EXPECT_EQ(EncoderPolicy::snap(c.value, EncoderPolicy::mp3BitRates()), c.expected)
            << c.value;
    // The OGG table goes on past 320.
    EXPECT_EQ(EncoderPolicy::snap(500, EncoderPolicy::oggBitRates()), 480);
    EXPECT_EQ(EncoderPolicy::snap(360, EncoderPolicy::oggBitRates()), 320);
    EXPECT_EQ(EncoderPolicy::snap(361, EncoderPolicy::oggBitRates()), 400);
}

struct AutoCase {
    int sourceRate;
    int outRate;
    int mono;
    int stereo;
};

TEST_F(EncoderPolicyTest, AutomaticRuleAtEveryRowBoundary) {
    const std::vector<AutoCase> cases = {
        {8000, 11025, 24, 48},    {11025, 11025, 24, 48},  {11026, 12000, 24, 48},
        {12000, 12000, 24, 48},   {12001, 16000, 32, 56},  {16000, 16000, 32, 56},
        {16001, 22050, 48, 64},   {22050, 22050, 48, 64},  {22051, 24000, 48, 64},
        {24000, 24000, 48, 64},   {24001, 32000, 64, 96},  {32000, 32000, 64, 96},
        {32001, 44100, 96, 128},  {44100, 44100, 96, 128}, {44101, 48000, 128, 192},
        {96000, 48000, 128, 192},
    };
    for (const AutoCase& c : cases) {
        EXPECT_EQ(EncoderPolicy::autoChoice(c.sourceRate, 1),
                  (EncoderPolicy::AutoChoice{c.mono, c.outRate}))
            << c.sourceRate;
        EXPECT_EQ(EncoderPolicy::autoChoice(c.sourceRate, 2),
                  (EncoderPolicy::AutoChoice{c.stereo, c.outRate}))
            << c.sourceRate;
    }
}

TEST_F(EncoderPolicyTest, Mp3BitRateLimitsByOutputRate) {
    EXPECT_EQ(EncoderPolicy::limitMp3BitRate(320, 22050), 160);
    EXPECT_EQ(EncoderPolicy::limitMp3BitRate(320, 24000), 160);
    EXPECT_EQ(EncoderPolicy::limitMp3BitRate(8, 32000), 32);
    EXPECT_EQ(EncoderPolicy::limitMp3BitRate(128, 12000), 64);
    EXPECT_EQ(EncoderPolicy::limitMp3BitRate(8, 12000), 8);
    EXPECT_EQ(EncoderPolicy::limitMp3BitRate(8, 16000), 8);
    EXPECT_EQ(EncoderPolicy::limitMp3BitRate(320, 48000), 320);
}

TEST_F(EncoderPolicyTest, OggBitRateRangesByRateAndChannels) {
    struct Case {
        int rate;
        int stereoMin, stereoMax, monoMin, monoMax;
    };
    const std::vector<Case> cases = {
        {8000, 16, 80, 8, 40},     {11025, 16, 96, 16, 48},   {12000, 16, 96, 16, 48},
        {16000, 24, 160, 16, 80},  {22050, 32, 160, 16, 80},  {24000, 32, 160, 16, 80},
        {32000, 40, 320, 32, 160}, {44100, 48, 480, 32, 224}, {48000, 48, 480, 32, 224},
    };
    for (const Case& c : cases) {
        const auto stereo = EncoderPolicy::oggBitRateRange(c.rate, 2);
        const auto mono = EncoderPolicy::oggBitRateRange(c.rate, 1);
        EXPECT_EQ(stereo.minimum, c.stereoMin) << c.rate;
        EXPECT_EQ(stereo.maximum, c.stereoMax) << c.rate;
        EXPECT_EQ(mono.minimum, c.monoMin) << c.rate;
        EXPECT_EQ(mono.maximum, c.monoMax) << c.rate;
    }
}

// ---------------------------------------------------------------------------------------------
// MP3

SourceStream stream(SourceKind kind, int rate, int channels, int channelMode = 4, int kbps = 0) {
    return {kind, rate, channels, channelMode, kbps};
}

TEST_F(EncoderPolicyTest, Mp3AutoFollowsTheSourceAndSetsNoMode) {
    settings.AutoDestMP3EncodingParam = 1;
    settings.MP3BitRate = 320; // ignored in Auto
    settings.MP3SampleRate = 8000;
    EXPECT_EQ(EncoderPolicy::mp3Settings(settings, stream(SourceKind::Flac, 96000, 2)),
              (Mp3EncoderSettings{96000, 2, std::nullopt, 48000, 192}));
    EXPECT_EQ(EncoderPolicy::mp3Settings(settings, stream(SourceKind::Wav, 22050, 1)),
              (Mp3EncoderSettings{22050, 1, std::nullopt, 22050, 48}));
}

struct Mp3Case {
    const char* name;
    int channelMode; // "MP3ChannelMode"
    int monoType;
    int bitRate;    // "MP3BitRate"
    int sampleRate; // "MP3SampleRate"
    SourceStream source;
    Mp3EncoderSettings expected;

    friend void PrintTo(const Mp3Case& c, std::ostream* os) { *os << c.name; }
};

class EncoderPolicyMp3 : public EncoderPolicyTest, public ::testing::WithParamInterface<Mp3Case> {};

TEST_P(EncoderPolicyMp3, ExplicitSettings) {
    const Mp3Case& c = GetParam();
    settings.AutoDestMP3EncodingParam = 0;
    settings.MP3ChannelMode = c.channelMode;
    settings.MonoType = c.monoType;
    settings.MP3BitRate = c.bitRate;
    settings.MP3SampleRate = c.sampleRate;
    EXPECT_EQ(EncoderPolicy::mp3Settings(settings, c.source), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncoderPolicyMp3,
    ::testing::Values(
        Mp3Case{"LimitAt22050",
                1,
                0,
                320,
                22050,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 2, 1, 22050, 160}},
        Mp3Case{"RaisedAt32000",
                0,
                0,
                8,
                32000,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 2, 0, 32000, 32}},
        Mp3Case{"RateSnapsDownOnATie",
                1,
                0,
                128,
                46050,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 2, 1, 44100, 128}},
        Mp3Case{"RateZeroIsTheSourceRateSnapped",
                1,
                0,
                128,
                0,
                stream(SourceKind::Wav, 96000, 2),
                {96000, 2, 1, 48000, 128}},
        Mp3Case{"BitRateSnapped",
                1,
                0,
                100,
                44100,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 2, 1, 44100, 96}},
        // Same as the source: an MPEG source's own mode, dual channel included (the writer
        // turns it into stereo).
        Mp3Case{"MpegSourceOwnMode",
                4,
                0,
                128,
                44100,
                stream(SourceKind::MpegAudio, 44100, 2, 2),
                {44100, 2, 2, 44100, 128}},
        Mp3Case{"MpegMonoSource",
                4,
                0,
                128,
                44100,
                stream(SourceKind::MpegAudio, 44100, 1, 3),
                {44100, 1, 3, 44100, 128}},
        Mp3Case{"FlacStereoIsJoint",
                4,
                0,
                128,
                44100,
                stream(SourceKind::Flac, 44100, 2),
                {44100, 2, 1, 44100, 128}},
        Mp3Case{"WavMonoIsMono",
                4,
                0,
                128,
                44100,
                stream(SourceKind::Wav, 44100, 1),
                {44100, 1, 3, 44100, 128}},
        // A mono output: with "MonoType" 0 both channels reach the encoder, which mixes them.
        Mp3Case{"MonoMixedByTheEncoder",
                3,
                0,
                64,
                44100,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 2, 3, 44100, 64}},
        Mp3Case{"MonoLeftChannel",
                3,
                1,
                64,
                44100,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 1, 3, 44100, 64}},
        Mp3Case{"MonoRightChannel",
                3,
                2,
                64,
                44100,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 1, 3, 44100, 64}},
        Mp3Case{"StereoModeKeepsBothChannels",
                0,
                2,
                64,
                44100,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 2, 0, 44100, 64}},
        // Bit rate 0: MPEG and Ogg sources lend their own, others take the automatic rule for
        // the output rate and the output's channels.
        Mp3Case{"OwnBitRateOfAnMpegSource",
                1,
                0,
                0,
                44100,
                stream(SourceKind::MpegAudio, 44100, 2, 1, 96),
                {44100, 2, 1, 44100, 96}},
        Mp3Case{"OwnBitRateOfAnOggSourceSnappedAndLimited",
                1,
                0,
                0,
                22050,
                stream(SourceKind::Ogg, 44100, 2, 4, 499),
                {44100, 2, 1, 22050, 160}},
        Mp3Case{"UnknownOwnBitRateSetsNone",
                1,
                0,
                0,
                44100,
                stream(SourceKind::MpegAudio, 44100, 2, 1, 0),
                {44100, 2, 1, 44100, std::nullopt}},
        Mp3Case{"AutomaticBitRateForAFlacSource",
                3,
                0,
                0,
                16000,
                stream(SourceKind::Flac, 44100, 2),
                {44100, 2, 3, 16000, 32}},
        Mp3Case{"AutomaticBitRateForStereoOutput",
                0,
                0,
                0,
                32000,
                stream(SourceKind::Wav, 8000, 1),
                {8000, 1, 0, 32000, 96}},
        Mp3Case{"NegativeBitRateSetsNone",
                1,
                0,
                -3,
                44100,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 2, 1, 44100, std::nullopt}}),
    [](const ::testing::TestParamInfo<Mp3Case>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// OGG

TEST_F(EncoderPolicyTest, OggAutoAppliesNeitherSnappingNorLimits) {
    settings.AutoDestOGGEncodingParam = 1;
    settings.OGGBitRate = 8;
    EXPECT_EQ(EncoderPolicy::oggSettings(settings, stream(SourceKind::Flac, 96000, 2)),
              (OggEncoderSettings{48000, 2, 192}));
    // 24 kbit/s is below the mono minimum of 16000 Hz and stays.
    EXPECT_EQ(EncoderPolicy::oggSettings(settings, stream(SourceKind::Wav, 8000, 1)),
              (OggEncoderSettings{11025, 1, 24}));
}

struct OggCase {
    const char* name;
    int bitRate;    // "OGGBitRate"
    int sampleRate; // "OGGSampleRate"
    int channels;   // "OGGChannels"
    SourceStream source;
    OggEncoderSettings expected;

    friend void PrintTo(const OggCase& c, std::ostream* os) { *os << c.name; }
};

class EncoderPolicyOgg : public EncoderPolicyTest, public ::testing::WithParamInterface<OggCase> {};

TEST_P(EncoderPolicyOgg, ExplicitSettings) {
    const OggCase& c = GetParam();
    settings.AutoDestOGGEncodingParam = 0;
    settings.OGGBitRate = c.bitRate;
    settings.OGGSampleRate = c.sampleRate;
    settings.OGGChannels = c.channels;
    EXPECT_EQ(EncoderPolicy::oggSettings(settings, c.source), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncoderPolicyOgg,
    ::testing::Values(
        OggCase{"StereoTopOfTheTable",
                500,
                44100,
                2,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 2, 480}},
        OggCase{"MonoLoweredToTheMaximum",
                500,
                44100,
                1,
                stream(SourceKind::Wav, 44100, 2),
                {44100, 1, 224}},
        OggCase{
            "RaisedToTheMinimum", 8, 32000, 2, stream(SourceKind::Wav, 44100, 2), {32000, 2, 40}},
        OggCase{
            "SourceChannelsAndRate", 128, 0, 0, stream(SourceKind::Wav, 23025, 1), {22050, 1, 80}},
        OggCase{"OwnBitRateOfAnOggSource",
                0,
                44100,
                2,
                stream(SourceKind::Ogg, 44100, 2, 4, 200),
                {44100, 2, 192}},
        OggCase{"OwnBitRateOfAnMpegSourceLimited",
                0,
                8000,
                1,
                stream(SourceKind::MpegAudio, 44100, 2, 1, 320),
                {8000, 1, 40}},
        OggCase{"UnknownOwnBitRateRaisedToTheMinimum",
                0,
                44100,
                2,
                stream(SourceKind::Ogg, 44100, 2, 4, 0),
                {44100, 2, 48}},
        OggCase{"AutomaticBitRateForTheOutput",
                0,
                16000,
                1,
                stream(SourceKind::Flac, 44100, 2),
                {16000, 1, 32}},
        OggCase{"AutomaticBitRateStereo",
                0,
                11025,
                2,
                stream(SourceKind::Aiff, 44100, 1),
                {11025, 2, 48}}),
    [](const ::testing::TestParamInfo<OggCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Tags

TEST_F(EncoderPolicyTest, TagValuesFromThePresetTheSourceOrNone) {
    if (!test::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    const std::string tagged = path("Tagged.Song.flac").string();
    ASSERT_EQ(test::runCommand("ffmpeg -v error -f lavfi -i sine=d=0.5 -metadata title=Original "
                               "-metadata artist=Band -metadata track=3/12 " +
                               test::shellQuote(tagged)),
              0);
    test::writeFileBytes(path("plain.wav"), test::toneWav(1, 8000, 16, 0.2, 440, 440));

    TagPreset preset;
    preset.TitleAsFileName = 1;
    preset.Artist = "Preset Artist";
    preset.TrackNumType = 1;

    SourceFactory factory;
    auto flac = factory.open(tagged, SourceKind::Flac, 44100, true);
    ASSERT_TRUE(flac);
    auto fromPreset = EncoderPolicy::tagValues(0, preset, *flac, tagged, SourceKind::Flac, 7);
    ASSERT_TRUE(fromPreset);
    EXPECT_EQ(fromPreset->text.title, "Tagged.Song");
    EXPECT_EQ(fromPreset->text.artist, "Preset Artist");
    EXPECT_EQ(fromPreset->track, 7);

    auto fromSource = EncoderPolicy::tagValues(1, preset, *flac, tagged, SourceKind::Flac, 7);
    ASSERT_TRUE(fromSource);
    EXPECT_EQ(fromSource->text.title, "Original");
    EXPECT_EQ(fromSource->text.artist, "Band");
    EXPECT_EQ(fromSource->track, 3);
    EXPECT_EQ(fromSource->text.track, "3/12");

    EXPECT_FALSE(EncoderPolicy::tagValues(2, preset, *flac, tagged, SourceKind::Flac, 7));

    auto wav = factory.open(path("plain.wav").string(), SourceKind::Wav, 44100, true);
    ASSERT_TRUE(wav);
    // Nothing to transfer: no tags at all rather than empty ones.
    EXPECT_FALSE(
        EncoderPolicy::tagValues(1, preset, *wav, path("plain.wav").string(), SourceKind::Wav, 1));
}

} // namespace
} // namespace velmora
