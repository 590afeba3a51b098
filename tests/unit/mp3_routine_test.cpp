// The MP3 routine end to end, from WAV, FLAC and MP3 sources made here: the rate, bit-rate and
// mode decisions as the stream carries them, the channel "MonoType" picks, widening of 8-bit
// sources, the amplifier, the three tag modes (raw ID3 transfer byte for byte), failures and
// cancel leaving nothing behind, and the command line. Every output is read back with ffprobe,
// FFmpeg, TagLib or a hand walk over its frames.

#include "engine/conversion_settings.h"
#include "engine/routine_factory.h"
#include "tests/unit/lossy_output_checks.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The text of the first frame with the id as TagLib reads it; "<none>" when there is none.
std::string frameText(const TagLib::ID3v2::FrameListMap& frames, const char* id) {
    const auto found = frames.find(id);
    if (found == frames.end() || found->second.isEmpty())
        return "<none>";
    return found->second.front()->toString().to8Bit(true);
}
using test::RecordingBatchView;

class Mp3RoutineTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
        settings.MP3ID3TagType = 2; // tags only where a test asks for them
    }

    bool convert(SourceKind kind, const std::string& source, const std::string& output,
                 RecordingBatchView& view, int batchPosition = 1) {
        auto routine = RoutineFactory::create(1000);
        if (!routine)
            return false;
        RoutineContext context{settings, view, batchPosition, {}};
        return routine->run(kind, path(source).string(), path(output).string(), context);
    }
    bool convert(SourceKind kind, const std::string& source,
                 const std::string& output = "out.mp3") {
        RecordingBatchView view;
        return convert(kind, source, output, view);
    }

    void writeWav(const std::string& name, int channels, int rate, int bits, double seconds,
                  double leftHz = 440, double rightHz = 1000, double amplitude = 0.5) {
        test::writeFileBytes(
            path(name), test::toneWav(channels, rate, bits, seconds, leftHz, rightHz, amplitude));
    }

    // An MP3 file made by FFmpeg from a WAV made here, at `kbps`.
    void writeMp3Source(const std::string& name, int channels, int kbps,
                        const std::string& extra = "") {
        writeWav("for-mp3.wav", channels, 44100, 16, 2.0);
        ASSERT_EQ(test::runCommand("ffmpeg -v error -y -i " +
                                   test::shellQuote(path("for-mp3.wav")) +
                                   " -c:a libmp3lame -b:a " + std::to_string(kbps) + "k " + extra +
                                   " " + test::shellQuote(path(name))),
                  0);
        std::filesystem::remove(path("for-mp3.wav"));
    }

    // Every frame of the output between its tags, all alike.
    std::vector<test::MpegFrame> outputFrames(const std::string& name = "out.mp3") {
        const Bytes bytes = test::readFileBytes(path(name));
        const std::size_t begin = test::id3v2TagSize(bytes);
        const std::size_t end = bytes.size() - (test::endsWithId3v1(bytes) ? 128 : 0);
        std::size_t stoppedAt = 0;
        auto frames = test::walkMpegFrames(bytes, begin, end, &stoppedAt);
        EXPECT_EQ(stoppedAt, end) << "bytes between the tags that are not frames";
        return frames;
    }

    ConversionSettings settings{std::string()};
};

struct EncodingCase {
    const char* name;
    int automatic;
    int bitRate;
    int sampleRate;
    int channelMode;
    int sourceChannels;
    int sourceRate;
    int expectedRate;
    int expectedKbps;
    int expectedChannels;

    friend void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.name; }
};

class Mp3RoutineEncoding : public Mp3RoutineTest,
                           public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(Mp3RoutineEncoding, StreamCarriesTheChosenRateAndBitRate) {
    const EncodingCase& c = GetParam();
    settings.AutoDestMP3EncodingParam = c.automatic;
    settings.MP3BitRate = c.bitRate;
    settings.MP3SampleRate = c.sampleRate;
    settings.MP3ChannelMode = c.channelMode;
    writeWav("in.wav", c.sourceChannels, c.sourceRate, 16, 1.5);
    ASSERT_TRUE(convert(SourceKind::Wav, "in.wav"));

    const auto frames = outputFrames();
    ASSERT_GT(frames.size(), 10u);
    for (const auto& frame : frames) {
        ASSERT_EQ(frame.bitrateKbps, c.expectedKbps);
        ASSERT_EQ(frame.sampleRate, c.expectedRate);
    }
    const auto fields = test::probeStream(path("out.mp3"));
    EXPECT_EQ(fields.at("sample_rate"), std::to_string(c.expectedRate));
    EXPECT_EQ(fields.at("bit_rate"), std::to_string(c.expectedKbps * 1000));
    EXPECT_EQ(fields.at("channels"), std::to_string(c.expectedChannels));
    // Resampled by the encoder: about as long as the source, and still the source's tone.
    const auto pcm = test::decodeWithFfmpeg(path("out.mp3"), path("decoded.raw"));
    // Without an information frame nothing trims the encoder's delay (576) and the padding of
    // the last frames (at most three frames of 1152 at MPEG-1 rates).
    const double sourceFrames = 1.5 * c.expectedRate;
    EXPECT_GE(double(pcm.frames()), sourceFrames);
    EXPECT_LE(double(pcm.frames()), sourceFrames + 576 + 3 * 1152);
    EXPECT_GT(test::toneLevel(pcm, 0, 440), 0.2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mp3RoutineEncoding,
    ::testing::Values(
        EncodingCase{"BitRateLimitedAt22050", 0, 320, 22050, 1, 2, 44100, 22050, 160, 2},
        EncodingCase{"BitRateRaisedAt32000", 0, 8, 32000, 1, 2, 44100, 32000, 32, 2},
        EncodingCase{"RateBetweenTwoSnapsDown", 0, 128, 46050, 1, 2, 44100, 44100, 128, 2},
        EncodingCase{"RateSnapsUp", 0, 128, 46100, 1, 1, 44100, 48000, 128, 1},
        EncodingCase{"AutoHighRateSource", 1, 128, 44100, 1, 2, 96000, 48000, 192, 2},
        EncodingCase{"AutoLowRateMonoSource", 1, 128, 44100, 1, 1, 8000, 11025, 24, 1},
        EncodingCase{"AutomaticBitRateForBitRateZero", 0, 0, 24000, 3, 2, 44100, 24000, 48, 1}),
    [](const ::testing::TestParamInfo<EncodingCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(Mp3RoutineTest, SameModeAsTheSource) {
    settings.AutoDestMP3EncodingParam = 0;
    settings.MP3ChannelMode = 4;
    writeWav("stereo.wav", 2, 44100, 16, 1.0);
    ASSERT_EQ(test::runCommand("ffmpeg -v error -i " + test::shellQuote(path("stereo.wav")) + " " +
                               test::shellQuote(path("stereo.flac"))),
              0);
    ASSERT_TRUE(convert(SourceKind::Flac, "stereo.flac"));
    for (const auto& frame : outputFrames())
        ASSERT_EQ(frame.mode, 1) << "joint stereo for a two-channel FLAC source";

    // An MPEG source lends its own mode: plain stereo stays plain stereo.
    writeMp3Source("plain.mp3", 2, 128, "-joint_stereo 0");
    for (const auto& frame : outputFrames("plain.mp3"))
        ASSERT_EQ(frame.mode, 0) << "the source itself";
    ASSERT_TRUE(convert(SourceKind::MpegAudio, "plain.mp3"));
    for (const auto& frame : outputFrames())
        ASSERT_EQ(frame.mode, 0);
}

TEST_F(Mp3RoutineTest, BitRateZeroTakesAnMpegSourcesOwn) {
    settings.AutoDestMP3EncodingParam = 0;
    settings.MP3BitRate = 0;
    settings.MP3SampleRate = 0;
    writeMp3Source("in.mp3", 2, 96);
    ASSERT_TRUE(convert(SourceKind::MpegAudio, "in.mp3"));
    for (const auto& frame : outputFrames())
        ASSERT_EQ(frame.bitrateKbps, 96);
    // The same source announced as another kind gets the automatic rule instead.
    ASSERT_TRUE(convert(SourceKind::Other, "in.mp3", "other.mp3"));
    for (const auto& frame : outputFrames("other.mp3"))
        ASSERT_EQ(frame.bitrateKbps, 128);
}

struct MonoCase {
    const char* name;
    int monoType;
    double leftLevel;  // of the 440 Hz tone of the source's left channel
    double rightLevel; // of the 1000 Hz tone of its right channel
};

TEST_F(Mp3RoutineTest, MonoOutputTakesTheChannelMonoTypePicks) {
    settings.AutoDestMP3EncodingParam = 0;
    settings.MP3ChannelMode = 3;
    settings.MP3BitRate = 128;
    writeWav("in.wav", 2, 44100, 16, 1.5, 440, 1000, 0.5);
    for (const MonoCase& c : {MonoCase{"Right", 2, 0.0, 0.5}, MonoCase{"Left", 1, 0.5, 0.0},
                              MonoCase{"Mixed", 0, 0.25, 0.25}}) {
        SCOPED_TRACE(c.name);
        settings.MonoType = c.monoType;
        ASSERT_TRUE(convert(SourceKind::Wav, "in.wav"));
        const auto pcm = test::decodeWithFfmpeg(path("out.mp3"), path("decoded.raw"));
        ASSERT_EQ(pcm.channels, 1);
        EXPECT_NEAR(test::toneLevel(pcm, 0, 440), c.leftLevel, 0.03);
        EXPECT_NEAR(test::toneLevel(pcm, 0, 1000), c.rightLevel, 0.03);
    }
}

TEST_F(Mp3RoutineTest, EightBitSourcesAreWidenedAndAmplified) {
    settings.AutoDestMP3EncodingParam = 0;
    settings.MP3SampleRate = 0;
    settings.MP3BitRate = 128;
    settings.MP3ChannelMode = 0;
    writeWav("in.wav", 2, 22050, 8, 1.5, 440, 1000, 0.3);
    ASSERT_TRUE(convert(SourceKind::Wav, "in.wav"));
    auto pcm = test::decodeWithFfmpeg(path("out.mp3"), path("decoded.raw"));
    ASSERT_EQ(pcm.channels, 2);
    EXPECT_EQ(pcm.rate, 22050);
    EXPECT_NEAR(test::toneLevel(pcm, 0, 440), 0.3, 0.03);
    EXPECT_NEAR(test::toneLevel(pcm, 1, 1000), 0.3, 0.03);
    EXPECT_LT(test::toneLevel(pcm, 0, 1000), 0.02);

    settings.AmplifyMp3 = 1;
    settings.AmplifyMp3Coeff = 200;
    ASSERT_TRUE(convert(SourceKind::Wav, "in.wav"));
    pcm = test::decodeWithFfmpeg(path("out.mp3"), path("decoded.raw"));
    EXPECT_NEAR(test::toneLevel(pcm, 0, 440), 0.6, 0.05);
    EXPECT_NEAR(test::toneLevel(pcm, 1, 1000), 0.6, 0.05);
}

// ---------------------------------------------------------------------------------------------
// Tags

class Mp3RoutineTags : public Mp3RoutineTest {
protected:
    void SetUp() override {
        Mp3RoutineTest::SetUp();
        if (IsSkipped())
            return;
        settings.MP3ID3TagType = 0;
        TagPreset& preset = settings.MP3Tag;
        preset.TitleAsFileName = 1;
        preset.Artist = "Preset Artist";
        preset.Album = "Preset Album";
        preset.Year = "2001";
        preset.Genre = "rock";
        preset.Comment = "Preset Comment";
        preset.Composer = "";
        preset.Copyright = "Preset Copyright";
        preset.TrackNumType = 2;
        preset.CustomTrackNum = 300;
        writeWav("My.Song.wav", 2, 44100, 16, 0.5);
    }
};

TEST_F(Mp3RoutineTags, PresetWithBothTagsPlacedAroundTheAudio) {
    settings.MP3WriteID3Version = 2;
    ASSERT_TRUE(convert(SourceKind::Wav, "My.Song.wav"));
    const Bytes bytes = test::readFileBytes(path("out.mp3"));
    const std::size_t id3v2 = test::id3v2TagSize(bytes);
    ASSERT_GT(id3v2, 10u);
    ASSERT_TRUE(test::endsWithId3v1(bytes));
    // Audio frames from right after the ID3v2 tag up to the ID3v1 block.
    EXPECT_GT(outputFrames().size(), 10u);
    EXPECT_TRUE(test::mpegFrameAt(bytes, id3v2));

    TagLib::MPEG::File file(path("out.mp3").c_str());
    ASSERT_TRUE(file.hasID3v1Tag());
    ASSERT_TRUE(file.hasID3v2Tag());
    TagLib::ID3v1::Tag* v1 = file.ID3v1Tag();
    EXPECT_EQ(v1->title().to8Bit(true), "My.Song");
    EXPECT_EQ(v1->genreNumber(), 17u);
    EXPECT_EQ(v1->track(), 44u);
    const auto& frames = file.ID3v2Tag()->frameListMap();
    EXPECT_EQ(frameText(frames, "TIT2"), "My.Song");
    EXPECT_EQ(frameText(frames, "TPE1"), "Preset Artist");
    EXPECT_EQ(frameText(frames, "TALB"), "Preset Album");
    EXPECT_EQ(file.ID3v2Tag()->year(), 2001u);
    EXPECT_EQ(frameText(frames, "TCON"), "rock");
    EXPECT_EQ(frameText(frames, "TCOP"), "Preset Copyright");
    EXPECT_EQ(frameText(frames, "TRCK"), "44");
    EXPECT_EQ(frameText(frames, "TCOM"), "<none>");
    EXPECT_EQ(file.ID3v2Tag()->comment().to8Bit(true), "Preset Comment");
}

TEST_F(Mp3RoutineTags, VersionsAndModes) {
    struct Case {
        const char* name;
        int tagType;
        int version;
        int trackType;
        bool v1;
        bool v2;
        bool trck;
    };
    for (const Case& c : {Case{"OnlyId3v1", 0, 0, 2, true, false, false},
                          Case{"OnlyId3v2", 0, 1, 2, false, true, true},
                          Case{"NoTrackNoTrck", 0, 1, 0, false, true, false},
                          Case{"UnknownVersionNone", 0, 3, 2, false, false, false},
                          Case{"ModeNone", 2, 2, 2, false, false, false},
                          // A WAV source without tags has nothing to transfer.
                          Case{"TransferFromUntagged", 1, 2, 2, false, false, false}}) {
        SCOPED_TRACE(c.name);
        settings.MP3ID3TagType = c.tagType;
        settings.MP3WriteID3Version = c.version;
        settings.MP3Tag.TrackNumType = c.trackType;
        ASSERT_TRUE(convert(SourceKind::Wav, "My.Song.wav"));
        const Bytes bytes = test::readFileBytes(path("out.mp3"));
        EXPECT_EQ(test::endsWithId3v1(bytes), c.v1);
        EXPECT_EQ(test::id3v2TagSize(bytes) > 0, c.v2);
        if (c.v2) {
            const auto ids = test::id3v2FrameIds(bytes);
            EXPECT_EQ(std::find(ids.begin(), ids.end(), "TRCK") != ids.end(), c.trck);
        }
        if (!c.v1 && !c.v2) {
            EXPECT_TRUE(test::mpegFrameAt(bytes, 0)) << "audio from the first byte";
        }
    }
}

TEST_F(Mp3RoutineTags, TrackFromThePositionInTheBatch) {
    settings.MP3WriteID3Version = 1;
    settings.MP3Tag.TrackNumType = 1;
    RecordingBatchView view;
    ASSERT_TRUE(convert(SourceKind::Wav, "My.Song.wav", "out.mp3", view, 3));
    TagLib::MPEG::File file(path("out.mp3").c_str());
    ASSERT_TRUE(file.hasID3v2Tag());
    EXPECT_EQ(file.ID3v2Tag()->track(), 3u);
}

TEST_F(Mp3RoutineTags, TransferredFromAFlacSource) {
    settings.MP3ID3TagType = 1;
    settings.MP3WriteID3Version = 2;
    ASSERT_EQ(test::runCommand("ffmpeg -v error -i " + test::shellQuote(path("My.Song.wav")) +
                               " -metadata title='From Flac' -metadata artist=Band "
                               "-metadata genre=Jpop -metadata track=3/12 " +
                               test::shellQuote(path("in.flac"))),
              0);
    ASSERT_TRUE(convert(SourceKind::Flac, "in.flac"));
    TagLib::MPEG::File file(path("out.mp3").c_str());
    ASSERT_TRUE(file.hasID3v1Tag());
    ASSERT_TRUE(file.hasID3v2Tag());
    EXPECT_EQ(file.ID3v2Tag()->title().to8Bit(true), "From Flac");
    EXPECT_EQ(file.ID3v2Tag()->artist().to8Bit(true), "Band");
    const auto& frames = file.ID3v2Tag()->frameListMap();
    EXPECT_EQ(frameText(frames, "TRCK"), "3");
    EXPECT_EQ(file.ID3v1Tag()->genreNumber(), 146u);
    EXPECT_EQ(file.ID3v1Tag()->track(), 3u);
}

// An ID3v2.3 tag spelled out byte by byte, with a frame the program does not write itself and
// padding, so that a re-rendering could not produce the same bytes.
Bytes handMadeId3v2() {
    Bytes frames;
    auto frame = [&](const std::string& id, const Bytes& body) {
        test::appendText(frames, id);
        test::appendU32BE(frames, static_cast<std::uint32_t>(body.size()));
        frames.push_back(0);
        frames.push_back(0);
        frames.insert(frames.end(), body.begin(), body.end());
    };
    Bytes title = {0};
    test::appendText(title, "Raw Title");
    frame("TIT2", title);
    Bytes priv;
    test::appendText(priv, "velmora.test");
    priv.push_back(0);
    for (int i = 0; i < 40; ++i)
        priv.push_back(static_cast<std::uint8_t>(i * 37));
    frame("PRIV", priv);
    frames.resize(frames.size() + 33, 0); // padding
    Bytes tag;
    test::appendText(tag, "ID3");
    tag.insert(tag.end(), {3, 0, 0});
    const std::size_t size = frames.size();
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.push_back(static_cast<std::uint8_t>((size >> shift) & 0x7F));
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

Bytes handMadeId3v1() {
    Bytes block;
    test::appendText(block, "TAG");
    for (int i = 0; i < 124; ++i)
        block.push_back(static_cast<std::uint8_t>(i < 30 ? 'A' + i % 26 : ' '));
    block.push_back(99); // a genre the program would never write for "Raw Title"
    return block;
}

TEST_F(Mp3RoutineTags, MpegSourceTagsAreCopiedByteForByte) {
    settings.MP3ID3TagType = 1;
    writeMp3Source("bare.mp3", 2, 128, "-id3v2_version 0 -write_xing 0");
    const Bytes audio = test::readFileBytes(path("bare.mp3"));
    ASSERT_EQ(test::id3v2TagSize(audio), 0u);
    ASSERT_FALSE(test::endsWithId3v1(audio));
    const Bytes id3v2 = handMadeId3v2();
    const Bytes id3v1 = handMadeId3v1();
    Bytes source = id3v2;
    source.insert(source.end(), audio.begin(), audio.end());
    source.insert(source.end(), id3v1.begin(), id3v1.end());
    test::writeFileBytes(path("in.mp3"), source);

    // Whatever the version setting says.
    for (const int version : {0, 1, 2}) {
        settings.MP3WriteID3Version = version;
        ASSERT_TRUE(convert(SourceKind::MpegAudio, "in.mp3"));
        const Bytes out = test::readFileBytes(path("out.mp3"));
        ASSERT_GT(out.size(), id3v2.size() + id3v1.size());
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(id3v2.size())), id3v2);
        EXPECT_EQ(Bytes(out.end() - 128, out.end()), id3v1);
        EXPECT_TRUE(test::mpegFrameAt(out, id3v2.size()));
    }

    // Only the tags the source has.
    Bytes onlyV1 = audio;
    onlyV1.insert(onlyV1.end(), id3v1.begin(), id3v1.end());
    test::writeFileBytes(path("v1.mp3"), onlyV1);
    ASSERT_TRUE(convert(SourceKind::MpegAudio, "v1.mp3"));
    const Bytes out = test::readFileBytes(path("out.mp3"));
    EXPECT_EQ(test::id3v2TagSize(out), 0u);
    EXPECT_EQ(Bytes(out.end() - 128, out.end()), id3v1);
}

// ---------------------------------------------------------------------------------------------
// Failures

TEST_F(Mp3RoutineTest, CancelLeavesNoFileAndKeepsAnExistingTarget) {
    writeWav("in.wav", 2, 44100, 16, 3.0);
    const Bytes target = {'o', 'l', 'd'};
    test::writeFileBytes(path("out.mp3"), target);
    RecordingBatchView view;
    view.cancelOnLine("upper Converting in.wav...30%");
    EXPECT_FALSE(convert(SourceKind::Wav, "in.wav", "out.mp3", view));
    EXPECT_EQ(view.linesOf("upper").back(), "Converting in.wav...30%");
    EXPECT_EQ(test::folderNames(root()),
              (std::vector<std::string>{"config", "home", "in.wav", "out.mp3"}));
    EXPECT_EQ(test::readFileBytes(path("out.mp3")), target);
}

TEST_F(Mp3RoutineTest, AFileThatCannotGrowFailsAndIsRemoved) {
    settings.AutoDestMP3EncodingParam = 0;
    settings.MP3BitRate = 320;
    writeWav("in.wav", 2, 44100, 16, 5.0);
    // Room for part of the audio; and room for all of it but the last bytes, which only
    // reach the disk when the writer closes.
    RecordingBatchView view;
    auto run = [&] { return convert(SourceKind::Wav, "in.wav", "out.mp3", view); };
    ASSERT_TRUE(run());
    const auto whole = static_cast<rlim_t>(std::filesystem::file_size(path("out.mp3")));
    std::filesystem::remove(path("out.mp3"));
    for (const rlim_t limit : {whole / 3, whole - 50}) {
        EXPECT_EQ(test::runWithFileSizeLimit(limit, [&] { return run() ? 1 : 0; }), 0) << limit;
        EXPECT_EQ(test::folderNames(root()),
                  (std::vector<std::string>{"config", "home", "in.wav"}));
    }
}

// ---------------------------------------------------------------------------------------------
// Command line

TEST_F(Mp3RoutineTest, CommandLineConvertsWithStoredAndRunOnlySettings) {
    writeWav("in.wav", 2, 44100, 16, 1.0);
    const std::string cli = test::shellQuote(VELMORA_CLI_PATH);
    const std::string in = test::shellQuote(path("in.wav"));
    ASSERT_EQ(test::runCommand(cli + " settings set AutoDestMP3EncodingParam 0"), 0);
    ASSERT_EQ(test::runCommand(cli + " settings set MP3BitRate 64"), 0);
    std::string out;
    ASSERT_EQ(test::runCommand(cli + " convert --to mp3 " + in + " </dev/null", &out), 0);
    EXPECT_EQ(out,
              path("in.wav").string() + " -> " + path("home/Documents/in.mp3").string() + "\n");
    const auto documents = path("home/Documents");
    EXPECT_EQ(test::probeStream(documents / "in.mp3").at("bit_rate"), "64000");

    out.clear();
    ASSERT_EQ(test::runCommand(cli +
                                   " convert --to mp3 --set MP3BitRate=192 --set "
                                   "MP3ChannelMode=3 --set MP3ID3TagType=0 --set "
                                   "MP3Tag.Artist=Someone " +
                                   in + " </dev/null",
                               &out),
              0);
    EXPECT_EQ(out,
              path("in.wav").string() + " -> " + path("home/Documents/in_1.mp3").string() + "\n");
    const auto fields = test::probeStream(documents / "in_1.mp3");
    EXPECT_EQ(fields.at("bit_rate"), "192000");
    EXPECT_EQ(fields.at("channels"), "1");
    TagLib::MPEG::File file((documents / "in_1.mp3").c_str());
    ASSERT_TRUE(file.hasID3v2Tag());
    EXPECT_EQ(file.ID3v2Tag()->artist().to8Bit(true), "Someone");
    EXPECT_EQ(file.ID3v2Tag()->title().to8Bit(true), "in");
    // The run-only values were not stored.
    out.clear();
    ASSERT_EQ(test::runCommand(cli + " settings get MP3BitRate", &out), 0);
    EXPECT_EQ(out, "64\n");
}

} // namespace
} // namespace velmora
