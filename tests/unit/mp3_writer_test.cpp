// The MP3 writer and the ID3 rendering on files written here and read back with FFmpeg, TagLib
// and a hand walk over the frame headers: constant bit rate without an information frame, the
// parameters reaching the stream, the encoder's tail flushed at close, the tag layout, and a
// file that cannot grow reported as a failure.

#include "tests/unit/lossy_output_checks.h"
#include "tests/unit/test_support.h"
#include "writers/id3_tag_renderer.h"
#include "writers/mp3_writer.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::PlanarTone;

// The text of the first frame with the id as TagLib reads it; "<none>" when there is none.
std::string frameText(const TagLib::ID3v2::FrameListMap& frames, const char* id) {
    const auto found = frames.find(id);
    if (found == frames.end() || found->second.isEmpty())
        return "<none>";
    return found->second.front()->toString().to8Bit(true);
}

// Planar sines, left and right at their own frequencies.
class Mp3WriterTest : public test::SandboxTest {
protected:
    void requireFfmpeg() {
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }

    // Feeds the tone in blocks of 1152 frames, the last one short.
    static bool feed(Mp3Writer& writer, const PlanarTone& tone, bool stereo) {
        const int total = static_cast<int>(tone.left.size());
        for (int at = 0; at < total; at += 1152) {
            const int frames = std::min(1152, total - at);
            if (!writer.write16(tone.left.data() + at, stereo ? tone.right.data() + at : nullptr,
                                frames))
                return false;
        }
        return true;
    }
};

struct StreamCase {
    const char* name;
    int inRate;
    int outRate;
    int channels;
    int mode;
    int kbps;
    int expectedChannels;
    int expectedMode; // as the frame headers carry it

    friend void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }
};

class Mp3WriterStream : public Mp3WriterTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(Mp3WriterStream, ConstantBitRateFramesWithTheParametersSet) {
    requireFfmpeg();
    const StreamCase& c = GetParam();
    const PlanarTone tone(c.inRate, c.inRate * 2 + 333, 440, 1500);
    Mp3Writer writer;
    ASSERT_TRUE(writer.open(path("out.mp3").string()));
    writer.setInSampleRate(c.inRate);
    writer.setOutSampleRate(c.outRate);
    writer.setChannels(c.channels);
    writer.setMode(c.mode);
    writer.setBitrate(c.kbps);
    ASSERT_TRUE(writer.start());
    ASSERT_TRUE(feed(writer, tone, c.channels == 2));
    ASSERT_TRUE(writer.close());

    const Bytes bytes = test::readFileBytes(path("out.mp3"));
    std::size_t stoppedAt = 0;
    const auto frames = test::walkMpegFrames(bytes, 0, bytes.size(), &stoppedAt);
    EXPECT_EQ(stoppedAt, bytes.size()) << "bytes that are not frames";
    ASSERT_GT(frames.size(), 10u);
    for (const auto& frame : frames) {
        ASSERT_EQ(frame.bitrateKbps, c.kbps) << "at " << frame.offset;
        ASSERT_EQ(frame.sampleRate, c.outRate);
        ASSERT_EQ(frame.mode, c.expectedMode);
    }
    // No information frame: the first frame holds audio, not a "Xing"/"Info" header.
    const std::string first(bytes.begin(), bytes.begin() + static_cast<long>(frames[0].size));
    EXPECT_EQ(first.find("Xing"), std::string::npos);
    EXPECT_EQ(first.find("Info"), std::string::npos);

    const auto fields = test::probeStream(path("out.mp3"));
    EXPECT_EQ(fields.at("codec_name"), "mp3");
    EXPECT_EQ(fields.at("sample_rate"), std::to_string(c.outRate));
    EXPECT_EQ(fields.at("channels"), std::to_string(c.expectedChannels));
    EXPECT_EQ(fields.at("bit_rate"), std::to_string(c.kbps * 1000));
    const auto pcm = test::decodeWithFfmpeg(path("out.mp3"), path("decoded.raw"));
    // The tone's full level is 12000 / 32768; mixed down with the other channel, half of it.
    const bool mixedDown = c.channels == 2 && c.expectedChannels == 1;
    EXPECT_NEAR(test::toneLevel(pcm, 0, 440), (mixedDown ? 0.5 : 1.0) * 12000 / 32768, 0.04);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mp3WriterStream,
    ::testing::Values(StreamCase{"JointStereo", 44100, 44100, 2, 1, 128, 2, 1},
                      StreamCase{"PlainStereo", 44100, 44100, 2, 0, 192, 2, 0},
                      StreamCase{"DualChannelBecomesStereo", 48000, 48000, 2, 2, 160, 2, 0},
                      StreamCase{"Resampled", 44100, 22050, 2, 1, 64, 2, 1},
                      StreamCase{"MonoInput", 16000, 16000, 1, 3, 32, 1, 3},
                      // Two channels in, mono mode: the encoder mixes down.
                      StreamCase{"MixedToMono", 32000, 32000, 2, 3, 64, 1, 3},
                      StreamCase{"LowRate", 44100, 8000, 1, 3, 24, 1, 3}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

TEST_F(Mp3WriterTest, ClampsChannelsAndBitRate) {
    requireFfmpeg();
    const PlanarTone tone(44100, 44100, 440, 440);
    Mp3Writer writer;
    ASSERT_TRUE(writer.open(path("out.mp3").string()));
    writer.setInSampleRate(44100);
    writer.setOutSampleRate(44100);
    writer.setChannels(5);   // two
    writer.setBitrate(1000); // 320
    ASSERT_TRUE(writer.start());
    ASSERT_TRUE(feed(writer, tone, true));
    ASSERT_TRUE(writer.close());
    const auto fields = test::probeStream(path("out.mp3"));
    EXPECT_EQ(fields.at("channels"), "2");
    EXPECT_EQ(fields.at("bit_rate"), "320000");
}

TEST_F(Mp3WriterTest, CloseFlushesTheEncodersLastFrames) {
    requireFfmpeg();
    // The encoder holds back more than a frame; without the flush the file ends short of the
    // input.
    const int inputFrames = 44100 + 1000;
    const PlanarTone tone(44100, inputFrames, 440, 440);
    Mp3Writer writer;
    ASSERT_TRUE(writer.open(path("out.mp3").string()));
    writer.setInSampleRate(44100);
    writer.setOutSampleRate(44100);
    writer.setChannels(2);
    writer.setBitrate(128);
    ASSERT_TRUE(writer.start());
    ASSERT_TRUE(feed(writer, tone, true));
    ASSERT_TRUE(writer.close());
    const auto pcm = test::decodeWithFfmpeg(path("out.mp3"), path("decoded.raw"));
    // 576 samples of encoder delay come first.
    EXPECT_GE(pcm.frames(), static_cast<std::size_t>(inputFrames + 576));
    EXPECT_LT(pcm.frames(), static_cast<std::size_t>(inputFrames + 576 + 2 * 1152 + 1));
}

TEST_F(Mp3WriterTest, TagsSurroundTheAudio) {
    requireFfmpeg();
    Bytes id3v2 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
    id3v2.resize(30, 0); // twenty bytes of padding
    Bytes id3v1(128, 0);
    id3v1[0] = 'T';
    id3v1[1] = 'A';
    id3v1[2] = 'G';
    for (std::size_t i = 3; i < 127; ++i)
        id3v1[i] = static_cast<std::uint8_t>('a' + i % 26);
    id3v1[127] = 17;

    const PlanarTone tone(44100, 20000, 440, 440);
    Mp3Writer writer;
    ASSERT_TRUE(writer.open(path("out.mp3").string()));
    writer.setId3v2(id3v2);
    writer.setId3v1(id3v1);
    writer.setId3v1(Bytes(127, 'x')); // not a whole block: ignored
    writer.setInSampleRate(44100);
    writer.setOutSampleRate(44100);
    writer.setBitrate(128);
    ASSERT_TRUE(writer.start());
    ASSERT_TRUE(feed(writer, tone, true));
    ASSERT_TRUE(writer.close());

    const Bytes bytes = test::readFileBytes(path("out.mp3"));
    ASSERT_GT(bytes.size(), id3v2.size() + id3v1.size());
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 30), id3v2);
    EXPECT_EQ(Bytes(bytes.end() - 128, bytes.end()), id3v1);
    std::size_t stoppedAt = 0;
    const auto frames = test::walkMpegFrames(bytes, 30, bytes.size() - 128, &stoppedAt);
    EXPECT_EQ(stoppedAt, bytes.size() - 128);
    EXPECT_GT(frames.size(), 10u);
}

TEST_F(Mp3WriterTest, RefusesWritesOutsideItsLifeCycle) {
    const PlanarTone tone(44100, 1152, 440, 440);
    Mp3Writer writer;
    EXPECT_FALSE(writer.start());
    EXPECT_FALSE(writer.open(path("missing/out.mp3").string()));
    ASSERT_TRUE(writer.open(path("out.mp3").string()));
    EXPECT_FALSE(writer.write16(tone.left.data(), tone.right.data(), 1152)) << "before start";
    ASSERT_TRUE(writer.start());
    EXPECT_FALSE(writer.start()) << "twice";
    EXPECT_FALSE(writer.write16(tone.left.data(), nullptr, 1152)) << "stereo without right";
    EXPECT_FALSE(writer.write16(tone.left.data(), tone.right.data(), -1));
    EXPECT_TRUE(writer.write16(tone.left.data(), tone.right.data(), 0));
    EXPECT_TRUE(writer.close());
    EXPECT_TRUE(writer.close()) << "nothing open";
}

// Encodes ten seconds into a file that may not grow past `limitBytes`; the result tells which
// step failed first: 1 write16, 2 close, 0 none.
int encodeWithFileSizeLimit(const std::string& file, rlim_t limitBytes) {
    return test::runWithFileSizeLimit(limitBytes, [&] {
        const PlanarTone tone(44100, 441000, 440, 660);
        Mp3Writer writer;
        if (!writer.open(file))
            return 101;
        writer.setInSampleRate(44100);
        writer.setOutSampleRate(44100);
        writer.setBitrate(320);
        if (!writer.start())
            return 102;
        for (int at = 0; at + 1152 <= 441000; at += 1152) {
            if (!writer.write16(tone.left.data() + at, tone.right.data() + at, 1152))
                return 1;
        }
        return writer.close() ? 0 : 2;
    });
}

TEST_F(Mp3WriterTest, ShortFileWritesFail) {
    // Ten seconds at 320 kbit/s are 400 kB: a block's output finds no room.
    EXPECT_EQ(encodeWithFileSizeLimit(path("a.mp3").string(), 50000), 1);

    ASSERT_EQ(encodeWithFileSizeLimit(path("whole.mp3").string(), RLIM_INFINITY), 0);
    const auto size = static_cast<rlim_t>(std::filesystem::file_size(path("whole.mp3")));
    // Room for every block but not for the encoder's last frames, which only close writes.
    EXPECT_EQ(encodeWithFileSizeLimit(path("b.mp3").string(), size - 100), 2);
}

// ---------------------------------------------------------------------------------------------
// ID3 rendering

class Id3RenderingTest : public Mp3WriterTest {
protected:
    // An MP3 file with the rendered tags around a little audio, for TagLib to read.
    void writeTagged(const Id3TagRenderer::Fields& fields, bool v1, bool v2) {
        const PlanarTone tone(44100, 8000, 440, 440);
        Mp3Writer writer;
        ASSERT_TRUE(writer.open(path("tagged.mp3").string()));
        if (v1)
            writer.setId3v1(*Id3TagRenderer::render(1, fields));
        if (v2)
            writer.setId3v2(*Id3TagRenderer::render(2, fields));
        writer.setInSampleRate(44100);
        writer.setOutSampleRate(44100);
        writer.setBitrate(128);
        ASSERT_TRUE(writer.start());
        ASSERT_TRUE(feed(writer, tone, true));
        ASSERT_TRUE(writer.close());
    }

    static Id3TagRenderer::Fields sampleFields() {
        Id3TagRenderer::Fields fields;
        fields.text.title = "Title";
        fields.text.artist = "Artist";
        fields.text.album = "Album";
        fields.text.year = "1999";
        fields.text.comment = "Comment";
        fields.text.genre = "rock";
        fields.text.composer = "Composer";
        fields.text.copyright = "Copyright";
        fields.track = 7;
        return fields;
    }
};

TEST_F(Id3RenderingTest, Id3v1BlockWithGenreNumberAndTrackByte) {
    struct Case {
        std::string genre;
        int track;
        unsigned int genreNumber;
        unsigned int trackNumber;
    };
    const std::vector<Case> cases = {{"rock", 7, 17, 7},      {"ROCK", 300, 17, 44},
                                     {"Alt. Rock", 1, 40, 1}, {"Synthpop", 2, 147, 2},
                                     {"Shoegaze", 3, 12, 3},  {"", 0, 12, 0},
                                     {"Other", 256, 12, 0}};
    for (const Case& c : cases) {
        Id3TagRenderer::Fields fields = sampleFields();
        fields.text.genre = c.genre;
        fields.track = c.track;
        const auto block = Id3TagRenderer::render(1, fields);
        ASSERT_TRUE(block);
        ASSERT_EQ(block->size(), 128u);
        writeTagged(fields, true, false);
        TagLib::MPEG::File file(path("tagged.mp3").c_str());
        ASSERT_TRUE(file.isValid());
        TagLib::ID3v1::Tag* tag = file.ID3v1Tag();
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->genreNumber(), c.genreNumber) << c.genre;
        EXPECT_EQ(tag->track(), c.trackNumber) << c.track;
        EXPECT_EQ(tag->title().to8Bit(true), "Title");
        EXPECT_EQ(tag->artist().to8Bit(true), "Artist");
        EXPECT_EQ(tag->album().to8Bit(true), "Album");
        EXPECT_EQ(tag->year(), 1999u);
        EXPECT_EQ(tag->comment().to8Bit(true), "Comment");
        EXPECT_FALSE(file.hasID3v2Tag());
    }
}

TEST_F(Id3RenderingTest, Id3v2FramesInTheirOrderWithTheirValues) {
    struct Case {
        const char* name;
        std::string composer;
        std::string copyright;
        int track;
        int total;
        std::vector<std::string> ids;
        std::string trackText;
    };
    const std::vector<Case> cases = {
        {"All",
         "C",
         "(c)",
         7,
         0,
         {"TIT2", "TPE1", "TALB", "TYER", "TCON", "TCOM", "TCOP", "COMM", "TRCK"},
         "7"},
        {"NoComposerNoCopyright",
         "",
         "",
         7,
         0,
         {"TIT2", "TPE1", "TALB", "TYER", "TCON", "COMM", "TRCK"},
         "7"},
        {"NoTrack", "C", "", 0, 0, {"TIT2", "TPE1", "TALB", "TYER", "TCON", "TCOM", "COMM"}, ""},
        {"TrackLowByteZero",
         "",
         "(c)",
         512,
         0,
         {"TIT2", "TPE1", "TALB", "TYER", "TCON", "TCOP", "COMM"},
         ""},
        {"TrackOfTotal",
         "",
         "",
         259,
         12,
         {"TIT2", "TPE1", "TALB", "TYER", "TCON", "COMM", "TRCK"},
         "3/12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Id3TagRenderer::Fields fields = sampleFields();
        fields.text.composer = c.composer;
        fields.text.copyright = c.copyright;
        fields.track = c.track;
        fields.totalTracks = c.total;
        fields.text.album = ""; // written although empty
        const auto tag = Id3TagRenderer::render(2, fields);
        ASSERT_TRUE(tag);
        EXPECT_EQ(test::id3v2TagSize(*tag), tag->size());
        EXPECT_EQ((*tag)[3], 3) << "ID3v2.3";
        EXPECT_EQ(test::id3v2FrameIds(*tag), c.ids);

        writeTagged(fields, false, true);
        TagLib::MPEG::File file(path("tagged.mp3").c_str());
        ASSERT_TRUE(file.hasID3v2Tag());
        EXPECT_FALSE(file.hasID3v1Tag());
        const auto& frames = file.ID3v2Tag()->frameListMap();
        EXPECT_EQ(frameText(frames, "TIT2"), "Title");
        // TagLib reads a 2.3 TYER as the 2.4 recording time.
        EXPECT_EQ(file.ID3v2Tag()->year(), 1999u);
        EXPECT_EQ(frameText(frames, "TALB"), "");
        // ID3v2 keeps the genre text as given.
        EXPECT_EQ(frameText(frames, "TCON"), "rock");
        if (c.trackText.empty())
            EXPECT_EQ(frameText(frames, "TRCK"), "<none>");
        else
            EXPECT_EQ(frameText(frames, "TRCK"), c.trackText);
        const auto comments = frames.find("COMM");
        ASSERT_TRUE(comments != frames.end() && !comments->second.isEmpty());
        auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(comments->second.front());
        ASSERT_NE(comment, nullptr);
        EXPECT_EQ(comment->language(), TagLib::ByteVector("XXX"));
        EXPECT_EQ(comment->description().to8Bit(true), "");
        EXPECT_EQ(comment->text().to8Bit(true), "Comment");
    }
}

TEST_F(Id3RenderingTest, TextBeyondLatin1SurvivesInId3v2) {
    Id3TagRenderer::Fields fields = sampleFields();
    fields.text.title = "Ωmega – Café";
    fields.text.artist = "Zoë";
    fields.text.comment = "日本語";
    writeTagged(fields, false, true);
    TagLib::MPEG::File file(path("tagged.mp3").c_str());
    ASSERT_TRUE(file.hasID3v2Tag());
    EXPECT_EQ(file.ID3v2Tag()->title().to8Bit(true), fields.text.title);
    EXPECT_EQ(file.ID3v2Tag()->artist().to8Bit(true), fields.text.artist);
    EXPECT_EQ(file.ID3v2Tag()->comment().to8Bit(true), fields.text.comment);
}

} // namespace
} // namespace velmora
