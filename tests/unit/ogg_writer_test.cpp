// The Ogg Vorbis writer on files written here and read back with FFmpeg, TagLib and a hand walk
// over the Ogg pages: header pages before any audio, the end-of-stream page, the nominal bit
// rate, the comments and the TRACKNUMBER rule, refused configurations, and a file that cannot
// grow reported as a failure.

#include "tests/unit/lossy_output_checks.h"
#include "tests/unit/test_support.h"
#include "writers/ogg_writer.h"

#include <gtest/gtest.h>
#include <string>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::PlanarTone;

class OggWriterTest : public test::SandboxTest {
protected:
    void requireFfmpeg() {
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }

    static bool feed(OggWriter& writer, const PlanarTone& tone, bool stereo) {
        const int total = static_cast<int>(tone.left.size());
        for (int at = 0; at < total; at += 1152) {
            const int frames = std::min(1152, total - at);
            if (!writer.write16(tone.left.data() + at, stereo ? tone.right.data() + at : nullptr,
                                frames))
                return false;
        }
        return true;
    }

    // A whole file: init, tags, start, the tone, end of stream, close.
    void encode(const std::string& name, int rate, int channels, int bitRate,
                const OggWriter::Tags& tags, const PlanarTone& tone) {
        OggWriter writer;
        ASSERT_TRUE(writer.open(path(name).string()));
        ASSERT_TRUE(writer.init(rate, channels, bitRate));
        writer.setTags(tags);
        ASSERT_TRUE(writer.start());
        ASSERT_TRUE(feed(writer, tone, channels == 2));
        ASSERT_TRUE(writer.write16(nullptr, nullptr, 0));
        EXPECT_TRUE(writer.isEnded());
        ASSERT_TRUE(writer.close());
    }

    // The comments as TagLib reads them: key -> values.
    std::map<std::string, std::vector<std::string>> comments(const std::string& name) {
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
};

TEST_F(OggWriterTest, HeadersStandOnTheirOwnPagesAndTheLastPageEndsTheStream) {
    requireFfmpeg();
    const PlanarTone tone(44100, 44100 * 2 + 100, 440, 1000);
    encode("out.ogg", 44100, 2, 128000, {}, tone);
    const auto layout = test::walkOggPages(test::readFileBytes(path("out.ogg")));
    ASSERT_TRUE(layout.wellFormed);
    ASSERT_GT(layout.packets.size(), 10u);
    ASSERT_GT(layout.pages.size(), 3u);

    // Page 0: the identification header alone, beginning the stream.
    EXPECT_EQ(layout.pages[0].flags, 2);
    EXPECT_EQ(layout.pages[0].packetsEnded, 1);
    EXPECT_TRUE(layout.pages[0].endsOnPacket);
    EXPECT_TRUE(test::isVorbisHeader(layout.packets[0], 1));
    EXPECT_TRUE(test::isVorbisHeader(layout.packets[1], 3));
    EXPECT_TRUE(test::isVorbisHeader(layout.packets[2], 5));
    // The first audio packet starts on a page after the one where the codebooks end, and every
    // page up to there holds header bytes only.
    const std::size_t lastHeaderPage = layout.packetLastPage[2];
    EXPECT_TRUE(layout.pages[lastHeaderPage].endsOnPacket);
    EXPECT_GT(layout.packetFirstPage[3], lastHeaderPage);
    for (std::size_t p = 0; p <= lastHeaderPage; ++p)
        EXPECT_EQ(layout.pages[p].granule, 0) << "page " << p;

    for (std::size_t p = 0; p + 1 < layout.pages.size(); ++p)
        EXPECT_EQ(layout.pages[p].flags & 4, 0) << "end of stream on page " << p;
    EXPECT_EQ(layout.pages.back().flags & 4, 4);
    // The last granule position counts every input frame.
    EXPECT_EQ(layout.pages.back().granule, 44100 * 2 + 100);

    const auto fields = test::probeStream(path("out.ogg"));
    EXPECT_EQ(fields.at("codec_name"), "vorbis");
    EXPECT_EQ(fields.at("sample_rate"), "44100");
    EXPECT_EQ(fields.at("channels"), "2");
    const auto pcm = test::decodeWithFfmpeg(path("out.ogg"), path("decoded.raw"));
    // FFmpeg's decoder ends within one block of the last granule position.
    EXPECT_NEAR(double(pcm.frames()), double(tone.left.size()), 2048.0);
    // Each channel keeps its own tone.
    EXPECT_GT(test::toneLevel(pcm, 0, 440), 0.3);
    EXPECT_LT(test::toneLevel(pcm, 0, 1000), 0.02);
    EXPECT_GT(test::toneLevel(pcm, 1, 1000), 0.3);
    EXPECT_LT(test::toneLevel(pcm, 1, 440), 0.02);
}

TEST_F(OggWriterTest, NominalBitRateAndChannelsReachTheIdentificationHeader) {
    requireFfmpeg();
    struct Case {
        int rate;
        int channels;
        int bitRate;
    };
    for (const Case& c : {Case{44100, 2, 480000}, Case{44100, 1, 224000}, Case{32000, 2, 40000},
                          Case{8000, 1, 8000}, Case{22050, 1, 80000}}) {
        const PlanarTone tone(c.rate, c.rate, 440, 660);
        encode("out.ogg", c.rate, c.channels, c.bitRate, {}, tone);
        const auto layout = test::walkOggPages(test::readFileBytes(path("out.ogg")));
        EXPECT_EQ(test::vorbisNominalBitrate(layout), c.bitRate);
        const auto fields = test::probeStream(path("out.ogg"));
        EXPECT_EQ(fields.at("sample_rate"), std::to_string(c.rate));
        EXPECT_EQ(fields.at("channels"), std::to_string(c.channels));
        EXPECT_EQ(fields.at("bit_rate"), std::to_string(c.bitRate));
    }
}

TEST_F(OggWriterTest, CommentsAndTheTrackNumberRule) {
    OggWriter::Tags tags;
    tags.title = "Ωmega – Café";
    tags.artist = "Artist";
    tags.album = ""; // left out
    tags.year = "2004";
    tags.genre = "Rock";
    tags.comment = "Comment";
    tags.composer = "Composer";
    tags.copyright = "(c) Someone";
    const PlanarTone tone(22050, 5000, 440, 440);

    struct TrackCase {
        std::string text;
        bool written;
    };
    for (const TrackCase& c :
         {TrackCase{"0", false}, TrackCase{"", false}, TrackCase{"abc", false},
          TrackCase{"-3", false}, TrackCase{"3/12", true}, TrackCase{" 9", true}}) {
        tags.track = c.text;
        encode("tags.ogg", 22050, 1, 48000, tags, tone);
        auto found = comments("tags.ogg");
        if (c.written) {
            EXPECT_EQ(found["TRACKNUMBER"], std::vector<std::string>{c.text});
        } else {
            EXPECT_FALSE(found.contains("TRACKNUMBER")) << "track text \"" << c.text << "\"";
        }
        found.erase("TRACKNUMBER");
        const std::map<std::string, std::vector<std::string>> expected = {
            {"TITLE", {"Ωmega – Café"}},   {"ARTIST", {"Artist"}},   {"DATE", {"2004"}},
            {"GENRE", {"Rock"}},           {"COMMENT", {"Comment"}}, {"COMPOSER", {"Composer"}},
            {"COPYRIGHT", {"(c) Someone"}}};
        EXPECT_EQ(found, expected);
    }
}

TEST_F(OggWriterTest, InvalidUtf8IsRepairedNotPassedOn) {
    OggWriter::Tags tags;
    tags.title = std::string("Bad \xff\xfe bytes");
    encode("bad.ogg", 16000, 1, 32000, tags, PlanarTone(16000, 2000, 440, 440));
    EXPECT_EQ(comments("bad.ogg")["TITLE"],
              std::vector<std::string>{"Bad \xef\xbf\xbd\xef\xbf\xbd bytes"});
}

TEST_F(OggWriterTest, RefusedConfigurations) {
    OggWriter writer;
    EXPECT_FALSE(writer.init(44100, 2, 128000)) << "not open";
    ASSERT_TRUE(writer.open(path("out.ogg").string()));
    EXPECT_FALSE(writer.start()) << "not set up";
    EXPECT_FALSE(writer.init(44100, 2, 8000)) << "far below what the encoder takes";
    ASSERT_TRUE(writer.open(path("out.ogg").string()));
    EXPECT_FALSE(writer.init(44100, 3, 128000)) << "blocks carry two channels at most";
    ASSERT_TRUE(writer.open(path("out.ogg").string()));
    EXPECT_FALSE(writer.init(0, 2, 128000));
    ASSERT_TRUE(writer.open(path("out.ogg").string()));
    ASSERT_TRUE(writer.init(44100, 2, 128000));
    EXPECT_FALSE(writer.init(44100, 2, 128000)) << "twice";
    const PlanarTone tone(44100, 1152, 440, 440);
    EXPECT_FALSE(writer.write16(tone.left.data(), tone.right.data(), 1152)) << "before start";
    ASSERT_TRUE(writer.start());
    EXPECT_FALSE(writer.write16(tone.left.data(), nullptr, 1152)) << "stereo without right";
    EXPECT_TRUE(writer.write16(tone.left.data(), tone.right.data(), 1152));
    EXPECT_TRUE(writer.write16(nullptr, nullptr, 0));
    EXPECT_FALSE(writer.write16(tone.left.data(), tone.right.data(), 1152)) << "after the end";
    EXPECT_TRUE(writer.close());
    EXPECT_TRUE(writer.close()) << "nothing open";
}

TEST_F(OggWriterTest, CloseWritesNothingOfItsOwn) {
    const PlanarTone tone(44100, 44100, 440, 440);
    OggWriter writer;
    ASSERT_TRUE(writer.open(path("open-ended.ogg").string()));
    ASSERT_TRUE(writer.init(44100, 2, 128000));
    ASSERT_TRUE(writer.start());
    ASSERT_TRUE(feed(writer, tone, true));
    ASSERT_TRUE(writer.close());
    // Without the end-of-stream write the stream stops at a page that does not end it.
    const auto layout = test::walkOggPages(test::readFileBytes(path("open-ended.ogg")));
    ASSERT_FALSE(layout.pages.empty());
    for (const auto& page : layout.pages)
        EXPECT_EQ(page.flags & 4, 0);
}

TEST_F(OggWriterTest, AStreamWithoutAudioIsStillComplete) {
    requireFfmpeg();
    OggWriter writer;
    ASSERT_TRUE(writer.open(path("empty.ogg").string()));
    ASSERT_TRUE(writer.init(44100, 1, 96000));
    ASSERT_TRUE(writer.start());
    ASSERT_TRUE(writer.write16(nullptr, nullptr, 0));
    ASSERT_TRUE(writer.close());
    const auto layout = test::walkOggPages(test::readFileBytes(path("empty.ogg")));
    ASSERT_TRUE(layout.wellFormed);
    EXPECT_EQ(layout.pages.back().flags & 4, 4);
    EXPECT_EQ(test::probeStream(path("empty.ogg")).at("codec_name"), "vorbis");
}

// Encodes ten seconds into a file that may not grow past `limitBytes`; the result tells which
// step failed first: 1 a block, 2 the end of stream, 3 close, 0 none.
int encodeWithFileSizeLimit(const std::string& file, rlim_t limitBytes) {
    return test::runWithFileSizeLimit(limitBytes, [&] {
        const PlanarTone tone(44100, 441000, 440, 660);
        OggWriter writer;
        if (!writer.open(file) || !writer.init(44100, 2, 320000) || !writer.start())
            return 101;
        for (int at = 0; at + 1152 <= 441000; at += 1152) {
            if (!writer.write16(tone.left.data() + at, tone.right.data() + at, 1152))
                return 1;
        }
        if (!writer.write16(nullptr, nullptr, 0))
            return 2;
        return writer.close() ? 0 : 3;
    });
}

TEST_F(OggWriterTest, ShortFileWritesFail) {
    EXPECT_EQ(encodeWithFileSizeLimit(path("a.ogg").string(), 60000), 1);
    ASSERT_EQ(encodeWithFileSizeLimit(path("whole.ogg").string(), RLIM_INFINITY), 0);
    const auto size = static_cast<rlim_t>(std::filesystem::file_size(path("whole.ogg")));
    // Only the buffered end of the file is missing: the end of stream or close sees it.
    const int status = encodeWithFileSizeLimit(path("b.ogg").string(), size - 10);
    EXPECT_TRUE(status == 2 || status == 3) << status;
}

} // namespace
} // namespace velmora
