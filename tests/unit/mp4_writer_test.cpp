// The MP4 family writer, read back by independent readers: a hand walk over the atoms (brand,
// time scales, iods, sample durations, edit list), FFmpeg for the stream and its decoded
// samples, TagLib for the metadata items.

#include "tests/unit/aac_test_support.h"
#include "writers/mp4_writer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Mp4WriterTest : public test::SandboxTest {
protected:
    void requireFfmpeg() {
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }

    // Writes interleaved 16-bit frames in blocks of 1152 frames, as the block loop does.
    bool write(const std::filesystem::path& file, const std::vector<std::int16_t>& pcm, int rate,
               int channels, const Mp4Writer::Tags* tags = nullptr) {
        Mp4Writer writer;
        if (!writer.open(file.string(), rate, channels, 16) || !writer.start())
            return false;
        if (tags)
            writer.setTags(*tags);
        std::vector<std::int16_t> left;
        std::vector<std::int16_t> right;
        test::splitChannels(pcm, channels, left, right);
        for (std::size_t at = 0; at < left.size(); at += 1152) {
            const int frames = static_cast<int>(std::min<std::size_t>(1152, left.size() - at));
            if (!writer.write16(left.data() + at, channels == 2 ? right.data() + at : nullptr,
                                frames))
                return false;
        }
        return writer.close();
    }

    Bytes bytesOf(const std::filesystem::path& file) { return test::readFileBytes(file); }
};

TEST_F(Mp4WriterTest, ContainerCarriesBrandTimeScalesProfileAndEditList) {
    const auto pcm = test::musicSignal(44100, 2, 44100);
    ASSERT_TRUE(write(path("tone.m4r"), pcm, 44100, 2));
    const Bytes file = bytesOf(path("tone.m4r"));
    const auto atoms = test::mp4Atoms(file);

    const auto ftyp = test::findAtom(atoms, "ftyp");
    ASSERT_TRUE(ftyp);
    EXPECT_EQ(std::string(file.begin() + static_cast<std::ptrdiff_t>(ftyp->body),
                          file.begin() + static_cast<std::ptrdiff_t>(ftyp->body + 4)),
              "M4A ");

    const auto mvhd = test::findAtom(atoms, "moov/mvhd");
    ASSERT_TRUE(mvhd);
    EXPECT_EQ(test::readBE32(file, mvhd->body + 12), 90000u); // version 0: after two times

    // iods: ES_ID_Inc-less InitialObjectDescriptor; the audio profile follows the OD and scene
    // profiles at the end of the descriptor.
    const auto iods = test::findAtom(atoms, "moov/iods");
    ASSERT_TRUE(iods);
    EXPECT_EQ(file[iods->body + iods->bodySize - 3], 0x0F);

    const auto mdhd = test::findAtom(atoms, "moov/trak/mdia/mdhd");
    ASSERT_TRUE(mdhd);
    EXPECT_EQ(test::readBE32(file, mdhd->body + 12), 44100u);

    // Every sample one frame long but the last non-zero one; the total is the input plus the
    // 1024 priming frames.
    const auto stts = test::findAtom(atoms, "moov/trak/mdia/minf/stbl/stts");
    ASSERT_TRUE(stts);
    const auto durations = test::sampleDurations(file, *stts);
    ASSERT_FALSE(durations.empty());
    EXPECT_TRUE(std::all_of(durations.begin(), durations.end() - 1,
                            [](std::uint32_t d) { return d == 1024; }));
    EXPECT_GT(durations.back(), 0u);
    EXPECT_LE(durations.back(), 1024u);
    EXPECT_EQ(std::accumulate(durations.begin(), durations.end(), std::uint64_t{0}),
              44100u + 1024u);

    // The edit starts presentation after the priming and lasts as long as the input, in movie
    // time-scale units.
    const auto elst = test::findAtom(atoms, "moov/trak/edts/elst");
    ASSERT_TRUE(elst);
    const std::uint32_t entries = test::readBE32(file, elst->body + 4);
    ASSERT_EQ(entries, 1u);
    EXPECT_EQ(test::readBE32(file, elst->body + 8), 90000u);
    EXPECT_EQ(test::readBE32(file, elst->body + 12), 1024u);

    // No tags asked for: no item at all, not even an encoder stamp.
    EXPECT_FALSE(test::findAtom(atoms, "moov/udta/meta/ilst/\xA9too"));
}

TEST_F(Mp4WriterTest, BrandFollowsTheExtension) {
    const auto pcm = test::musicSignal(2000, 1, 22050);
    const struct {
        const char* name;
        const char* brand;
    } cases[] = {{"a.m4a", "M4A "}, {"a.m4b", "M4A "}, {"a.M4R", "M4A "}, {"a.mp4", "isom"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(write(path(c.name), pcm, 22050, 1)) << c.name;
        const Bytes file = bytesOf(path(c.name));
        const auto ftyp = test::findAtom(test::mp4Atoms(file), "ftyp");
        ASSERT_TRUE(ftyp) << c.name;
        EXPECT_EQ(std::string(file.begin() + static_cast<std::ptrdiff_t>(ftyp->body),
                              file.begin() + static_cast<std::ptrdiff_t>(ftyp->body + 4)),
                  c.brand);
    }
}

TEST_F(Mp4WriterTest, DecodesAsLcAtTheSourceFormatStartingAndEndingWithTheInput) {
    requireFfmpeg();
    const struct {
        int rate;
        int channels;
        std::size_t frames;
    } cases[] = {{44100, 2, 44100}, {22050, 1, 30000}, {48000, 2, 20000}, {8000, 1, 12000}};
    for (const auto& c : cases) {
        const auto pcm = test::sweepSignal(c.frames, c.channels, c.rate);
        const auto file = path("out.m4a");
        ASSERT_TRUE(write(file, pcm, c.rate, c.channels)) << c.rate;

        const auto fields = test::ffprobeStream(file);
        EXPECT_EQ(fields.at("codec_name"), "aac");
        EXPECT_EQ(fields.at("sample_rate"), std::to_string(c.rate));
        EXPECT_EQ(fields.at("channels"), std::to_string(c.channels));
        EXPECT_EQ(fields.at("duration_ts"), std::to_string(c.frames));
        std::string profile;
        test::runCommand("ffprobe -v error -select_streams a:0 -show_entries stream=profile "
                         "-of csv=p=0 " +
                             test::shellQuote(file.string()),
                         &profile);
        EXPECT_EQ(profile, "LC\n");

        // FFmpeg skips the priming through the edit list (it does not cut the end, so the
        // last frame may run on); the decoded audio lines up with the input.
        const auto decoded = test::ffmpegDecode16(file, path("out.raw"));
        const auto decodedFrames = decoded.size() / static_cast<std::size_t>(c.channels);
        EXPECT_GE(decodedFrames + 1024, c.frames) << c.rate;
        EXPECT_LE(decodedFrames, c.frames + 1024) << c.rate;
        EXPECT_EQ(test::bestLag(pcm, decoded, c.channels, 1100), 0) << c.rate;
    }
}

TEST_F(Mp4WriterTest, AnInputShorterThanOneFrameStillPlays) {
    requireFfmpeg();
    auto pcm = test::musicSignal(300, 2, 44100);
    ASSERT_TRUE(write(path("short.m4r"), pcm, 44100, 2));
    const Bytes file = bytesOf(path("short.m4r"));
    const auto stts = test::findAtom(test::mp4Atoms(file), "moov/trak/mdia/minf/stbl/stts");
    ASSERT_TRUE(stts);
    EXPECT_EQ(test::sampleDurations(file, *stts), (std::vector<std::uint32_t>{1024, 300}));
    EXPECT_EQ(test::ffprobeStream(path("short.m4r")).at("duration_ts"), "300");
    const auto decoded = test::ffmpegDecode16(path("short.m4r"), path("short.raw"));
    ASSERT_GE(decoded.size(), 600u);
    EXPECT_GT(*std::max_element(decoded.begin(), decoded.begin() + 600), 2000);
}

TEST_F(Mp4WriterTest, AnEmptyInputGivesAFileWithoutSamples) {
    requireFfmpeg();
    Mp4Writer::Tags tags;
    tags.text.title = "Nothing";
    ASSERT_TRUE(write(path("empty.m4a"), {}, 44100, 2, &tags));
    const Bytes file = bytesOf(path("empty.m4a"));
    const auto atoms = test::mp4Atoms(file);
    // A track without samples is left out; the file is still whole and tagged.
    EXPECT_TRUE(test::findAtom(atoms, "moov/mvhd"));
    EXPECT_FALSE(test::findAtom(atoms, "moov/trak"));
    EXPECT_EQ(test::runCommand("ffprobe -v error " + test::shellQuote(path("empty.m4a"))), 0);
    TagLib::MP4::File tagged(path("empty.m4a").c_str());
    EXPECT_EQ(tagged.tag()->title().to8Bit(true), "Nothing");
}

TEST_F(Mp4WriterTest, EightBitMidpointEncodesAsSilence) {
    requireFfmpeg();
    Mp4Writer writer;
    ASSERT_TRUE(writer.open(path("quiet.m4a").string(), 11025, 1, 8));
    ASSERT_TRUE(writer.start());
    const std::vector<std::uint8_t> block(1152, 128);
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(writer.write8(block.data(), nullptr, 1152));
    ASSERT_TRUE(writer.close());
    const auto decoded = test::ffmpegDecode16(path("quiet.m4a"), path("quiet.raw"));
    ASSERT_GE(decoded.size(), 11520u - 1024);
    EXPECT_TRUE(std::all_of(decoded.begin(), decoded.end(), [](std::int16_t s) { return s == 0; }));
}

TEST_F(Mp4WriterTest, TagsArriveAsUtf8ItemsWithoutCopyright) {
    Mp4Writer::Tags tags;
    tags.text.title = "Ça plaît — 日本";
    tags.text.artist = "Björk";
    tags.text.album = "Album \xFF bad"; // invalid UTF-8 is repaired, never written raw
    tags.text.genre = "Trip-Hop";
    tags.text.year = "1997";
    tags.text.comment = "first take";
    tags.text.composer = "Composer Ö";
    tags.text.copyright = "(c) nobody";
    tags.track = 7;
    ASSERT_TRUE(write(path("tags.m4r"), test::musicSignal(3000, 2, 44100), 44100, 2, &tags));

    TagLib::MP4::File file(path("tags.m4r").c_str());
    ASSERT_TRUE(file.isValid());
    const TagLib::MP4::Tag* tag = file.tag();
    const auto text = [&](const char* name) {
        return tag->item(name).toStringList().toString().to8Bit(true);
    };
    EXPECT_EQ(text("\251nam"), tags.text.title);
    EXPECT_EQ(text("\251ART"), tags.text.artist);
    EXPECT_EQ(text("\251alb"), "Album \xEF\xBF\xBD bad");
    EXPECT_EQ(text("\251gen"), tags.text.genre);
    EXPECT_EQ(text("\251day"), tags.text.year);
    EXPECT_EQ(text("\251cmt"), tags.text.comment);
    EXPECT_EQ(text("\251wrt"), tags.text.composer);
    ASSERT_TRUE(tag->contains("trkn"));
    EXPECT_EQ(tag->item("trkn").toIntPair().first, 7);
    EXPECT_EQ(tag->item("trkn").toIntPair().second, 0);
    EXPECT_FALSE(tag->contains("cprt"));
    EXPECT_EQ(tag->itemMap().size(), 8u);
}

TEST_F(Mp4WriterTest, TrackZeroAndEmptyTextsWriteNoItem) {
    Mp4Writer::Tags tags;
    tags.text.title = "Only";
    tags.track = 0;
    ASSERT_TRUE(write(path("few.m4a"), test::musicSignal(3000, 1, 44100), 44100, 1, &tags));
    tags.track = 70000; // beyond the item's 16 bits
    ASSERT_TRUE(write(path("wide.m4a"), test::musicSignal(3000, 1, 44100), 44100, 1, &tags));
    for (const char* name : {"few.m4a", "wide.m4a"}) {
        TagLib::MP4::File file(path(name).c_str());
        ASSERT_TRUE(file.isValid());
        EXPECT_FALSE(file.tag()->contains("trkn")) << name;
        EXPECT_EQ(file.tag()->itemMap().size(), 1u) << name;
        EXPECT_EQ(file.tag()->title().to8Bit(true), "Only");
    }
}

TEST_F(Mp4WriterTest, RefusesWhatItCannotWrite) {
    Mp4Writer writer;
    EXPECT_FALSE(writer.open(path("rate.m4a").string(), 44056, 2, 16));
    EXPECT_FALSE(writer.open(path("bits.m4a").string(), 44100, 2, 24));
    EXPECT_FALSE(writer.open(path("channels.m4a").string(), 44100, 3, 16));
    EXPECT_FALSE(writer.open(path("missing/folder.m4a").string(), 44100, 2, 16));
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home"}));

    ASSERT_TRUE(writer.open(path("refused.m4a").string(), 44100, 2, 16));
    writer.configuration().bitRate = -64000;
    EXPECT_FALSE(writer.start());
    const std::int16_t samples[4] = {};
    EXPECT_FALSE(writer.write16(samples, samples, 4));
    EXPECT_FALSE(writer.close());
}

} // namespace
} // namespace velmora
