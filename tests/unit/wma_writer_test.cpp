// The Windows Media writer and the runtime's writing side: files FFmpeg decodes at the codec
// format whatever the PCM fed (rate, width and channel conversion), the length of the decoded
// audio, sample times, the header attributes as a walk over the ASF header and FFmpeg read
// them, and what the writer refuses.

#include "platform/wmf/wmf_writer.h"
#include "tests/unit/asf_test_file.h"
#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/test_support.h"
#include "writers/wma_format_list.h"
#include "writers/wma_writer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace velmora {
namespace {

// A tone of `amplitude` in one channel (in the width given, unsigned for 8 bits).
std::vector<int> tone(std::size_t frames, int rate, double amplitude, int bits,
                      double frequency = 440.0) {
    std::vector<int> out(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double v =
            amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
        out[i] = bits == 8 ? 128 + static_cast<int>(v / 256.0) : static_cast<int>(v);
    }
    return out;
}

// Root mean square of one channel of interleaved 16-bit PCM, leaving out the codec's lead-in
// and the padded end.
double rms(const std::vector<std::int16_t>& pcm, int channels, int channel) {
    const std::size_t frames = pcm.size() / static_cast<std::size_t>(channels);
    const std::size_t from = 8192;
    if (frames < 2 * from)
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = from; i < frames - from; ++i) {
        const double s =
            pcm[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
        sum += s * s;
    }
    return std::sqrt(sum / static_cast<double>(frames - 2 * from));
}

class WmaWriterTest : public test::SandboxTest {
protected:
    const WmfMediaType* format(int rate, int channels) {
        m_formats.push_back({WmfCodecInfo::kWmaFormatTag, rate, channels});
        return &m_formats.back();
    }

    // Feeds `left`/`right` in blocks of 1152 frames.
    bool feed(WmaWriter& writer, int bits, const std::vector<int>& left,
              const std::vector<int>& right) {
        for (std::size_t at = 0; at < left.size(); at += 1152) {
            const std::size_t count = std::min<std::size_t>(1152, left.size() - at);
            bool accepted = false;
            if (bits == 8) {
                std::vector<std::uint8_t> l(count), r(count);
                for (std::size_t i = 0; i < count; ++i) {
                    l[i] = static_cast<std::uint8_t>(left[at + i]);
                    r[i] = right.empty() ? 0 : static_cast<std::uint8_t>(right[at + i]);
                }
                accepted = writer.write8(l.data(), right.empty() ? nullptr : r.data(),
                                         static_cast<int>(count));
            } else {
                std::vector<std::int16_t> l(count), r(count);
                for (std::size_t i = 0; i < count; ++i) {
                    l[i] = static_cast<std::int16_t>(left[at + i]);
                    r[i] = right.empty() ? 0 : static_cast<std::int16_t>(right[at + i]);
                }
                accepted = writer.write16(l.data(), right.empty() ? nullptr : r.data(),
                                          static_cast<int>(count));
            }
            if (!accepted)
                return false;
        }
        return true;
    }

    std::vector<std::int16_t> decoded(const std::string& name) {
        const auto bytes = test::ffmpegDecode(path(name), 16, path("decoded.raw"));
        std::vector<std::int16_t> pcm(bytes.size() / 2);
        for (std::size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        return pcm;
    }

    std::deque<WmfMediaType> m_formats; // the writer borrows the media types: stable addresses

    void SetUp() override {
        SandboxTest::SetUp();
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }
};

TEST_F(WmaWriterTest, SampleTimesAdvanceByTruncatedHundredNanosecondUnits) {
    WmaWriter writer;
    writer.setPath(path("out.wma").string());
    writer.setInputFormat(44100, 16, 2);
    writer.setCodecFormat(format(44100, 2), 128000);
    ASSERT_TRUE(writer.begin());
    EXPECT_EQ(writer.sampleTime(), 0u);
    const std::vector<std::int16_t> block(1152, 0);
    ASSERT_TRUE(writer.write16(block.data(), block.data(), 1152));
    EXPECT_EQ(writer.sampleTime(), 261224u); // 261224.49...
    ASSERT_TRUE(writer.write16(block.data(), block.data(), 1152));
    EXPECT_EQ(writer.sampleTime(), 522448u); // each block is truncated on its own
    ASSERT_TRUE(writer.write16(block.data(), block.data(), 1000));
    EXPECT_EQ(writer.sampleTime(), 522448u + 226757u);
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(writer.sampleTime(), 0u);
}

struct ConversionCase {
    int inRate, inBits, inChannels;
    int codecRate, codecChannels;
    std::uint32_t bitRate;
    std::size_t frames;
};

class WmaWriterConversion : public WmaWriterTest,
                            public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(WmaWriterConversion, DecodesAtTheCodecFormatWithTheInputsDuration) {
    const ConversionCase& c = GetParam();
    WmaWriter writer;
    writer.setPath(path("out.wma").string());
    writer.setInputFormat(c.inRate, c.inBits, c.inChannels);
    writer.setCodecFormat(format(c.codecRate, c.codecChannels), c.bitRate);
    ASSERT_TRUE(writer.begin());
    const auto left = tone(c.frames, c.inRate, 12000, c.inBits);
    const auto right =
        c.inChannels == 2 ? tone(c.frames, c.inRate, 8000, c.inBits, 660) : std::vector<int>();
    ASSERT_TRUE(feed(writer, c.inBits, left, right));
    ASSERT_TRUE(writer.close());

    const auto fields = test::ffprobeStream(path("out.wma"));
    EXPECT_EQ(fields.at("codec_name"), "wmav2");
    EXPECT_EQ(fields.at("sample_rate"), std::to_string(c.codecRate));
    EXPECT_EQ(fields.at("channels"), std::to_string(c.codecChannels));
    const auto pcm = decoded("out.wma");
    const double seconds = static_cast<double>(pcm.size()) / c.codecChannels / c.codecRate;
    const double expected = static_cast<double>(c.frames) / c.inRate;
    // The codec works in whole frames of at most 2048 samples: the end is padded up to one.
    EXPECT_GE(seconds, expected - 0.002);
    EXPECT_LE(seconds, expected + 2048.0 / c.codecRate);
    EXPECT_GT(rms(pcm, c.codecChannels, 0), 1000.0); // the tone came through
}

INSTANTIATE_TEST_SUITE_P(Formats, WmaWriterConversion,
                         ::testing::Values(ConversionCase{44100, 16, 2, 44100, 2, 128000, 132300},
                                           ConversionCase{44100, 16, 2, 22050, 1, 32000, 100000},
                                           ConversionCase{8000, 8, 1, 16000, 2, 48000, 40000},
                                           ConversionCase{48000, 16, 1, 48000, 1, 64000, 96001},
                                           ConversionCase{11025, 16, 2, 44100, 2, 96000, 33075},
                                           ConversionCase{22050, 8, 2, 32000, 1, 40000, 50000}));

TEST_F(WmaWriterTest, TwoChannelsFoldToTheirAverageAndOneChannelFeedsBoth) {
    const std::size_t frames = 88200;
    const auto loud = tone(frames, 44100, 16000, 16);
    const std::vector<int> silent(frames, 0);
    WmaWriter writer;
    writer.setPath(path("mono.wma").string());
    writer.setInputFormat(44100, 16, 2);
    writer.setCodecFormat(format(44100, 1), 128000);
    ASSERT_TRUE(writer.begin());
    ASSERT_TRUE(feed(writer, 16, loud, silent));
    ASSERT_TRUE(writer.close());
    const double toneRms = 16000 / std::sqrt(2.0);
    EXPECT_NEAR(rms(decoded("mono.wma"), 1, 0), toneRms / 2, toneRms * 0.05);

    writer.setPath(path("stereo.wma").string());
    writer.setInputFormat(44100, 16, 1);
    writer.setCodecFormat(format(44100, 2), 128000);
    ASSERT_TRUE(writer.begin());
    ASSERT_TRUE(feed(writer, 16, loud, {}));
    ASSERT_TRUE(writer.close());
    const auto stereo = decoded("stereo.wma");
    EXPECT_NEAR(rms(stereo, 2, 0), toneRms, toneRms * 0.05);
    EXPECT_NEAR(rms(stereo, 2, 1), toneRms, toneRms * 0.05);
}

TEST_F(WmaWriterTest, WritesTheTenAttributesWithTheirTypes) {
    WmaWriter writer;
    writer.setPath(path("tags.wma").string());
    writer.setInputFormat(22050, 16, 1);
    writer.setCodecFormat(format(22050, 1), 32000);
    WmaWriter::Tags tags;
    tags.text.title = "Tëst Title 歌";
    tags.text.album = "The Album";
    tags.text.artist = "Some Artist";
    tags.text.genre = "Jpop";
    tags.text.year = "1999";
    tags.text.comment = "A comment";
    tags.text.composer = "Composer \xff"; // not UTF-8: repaired, never passed on raw
    tags.text.copyright = "(c) Someone";
    tags.track = 7;
    writer.setTags(tags);
    ASSERT_TRUE(writer.begin());
    ASSERT_TRUE(feed(writer, 16, tone(22050, 22050, 9000, 16), {}));
    ASSERT_TRUE(writer.close());

    const auto header = test::walkAsfHeader(test::readFileBytes(path("tags.wma")));
    ASSERT_TRUE(header);
    EXPECT_TRUE(header->hasContentDescription);
    EXPECT_EQ(header->title, "Tëst Title 歌");
    EXPECT_EQ(header->author, "Some Artist");
    EXPECT_EQ(header->copyright, "(c) Someone");
    EXPECT_EQ(header->description, "A comment");
    std::map<std::string, test::AsfDescriptor> byName;
    for (const auto& d : header->descriptors)
        byName[d.name] = d;
    EXPECT_EQ(byName["WM/AlbumArtist"].text, "Some Artist");
    EXPECT_EQ(byName["WM/AlbumTitle"].text, "The Album");
    EXPECT_EQ(byName["WM/Genre"].text, "Jpop");
    EXPECT_EQ(byName["WM/Year"].text, "1999");
    EXPECT_EQ(byName["WM/Composer"].text, "Composer \xEF\xBF\xBD");
    EXPECT_EQ(byName["WM/TrackNumber"].type, 3); // a 32-bit number
    EXPECT_EQ(byName["WM/TrackNumber"].valueBytes, 4u);
    EXPECT_EQ(byName["WM/TrackNumber"].number, 7u);
    for (const auto& d : header->descriptors)
        EXPECT_TRUE(d.name.starts_with("WM/")) << d.name; // nothing of the muxer's own

    // FFmpeg reads them too.
    std::string text;
    test::runCommand("ffprobe -v error -show_entries format_tags -of default=noprint_wrappers=1 " +
                         test::shellQuote(path("tags.wma").string()),
                     &text);
    for (const std::string line :
         {"TAG:title=Tëst Title 歌", "TAG:artist=Some Artist", "TAG:album=The Album",
          "TAG:genre=Jpop", "TAG:track=7", "TAG:comment=A comment", "TAG:copyright=(c) Someone",
          "TAG:album_artist=Some Artist", "TAG:WM/Year=1999"})
        EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << " in\n" << text;
}

TEST_F(WmaWriterTest, HeaderCarriesTheRealSizeTheTimeOfWritingAndAFreshFileId) {
    const auto fileTimeNow = [] {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
        return (static_cast<std::uint64_t>(seconds) + 11'644'473'600ull) * 10'000'000ull;
    };
    std::vector<test::AsfHeader> headers;
    for (const std::string name : {"one.wma", "two.wma"}) {
        const std::uint64_t before = fileTimeNow();
        WmaWriter writer;
        writer.setPath(path(name).string());
        writer.setInputFormat(44100, 16, 2);
        writer.setCodecFormat(format(44100, 2), 64000);
        WmaWriter::Tags tags;
        tags.text.title = "A title long enough to grow the header past the muxer's estimate";
        tags.text.comment = std::string(300, 'c');
        writer.setTags(tags);
        ASSERT_TRUE(writer.begin());
        ASSERT_TRUE(feed(writer, 16, tone(44100, 44100, 9000, 16), tone(44100, 44100, 9000, 16)));
        ASSERT_TRUE(writer.close());
        const std::uint64_t after = fileTimeNow() + 10'000'000;

        const auto bytes = test::readFileBytes(path(name));
        const auto header = test::walkAsfHeader(bytes);
        ASSERT_TRUE(header);
        ASSERT_TRUE(header->hasFileProperties);
        EXPECT_EQ(header->fileSize, bytes.size());
        EXPECT_GE(header->creationDate, before);
        EXPECT_LE(header->creationDate, after);
        EXPECT_EQ(header->fileId, header->dataFileId);
        headers.push_back(*header);
    }
    EXPECT_NE(headers[0].fileId, headers[1].fileId);
    // FFmpeg still reads the stamped file to its end.
    EXPECT_GT(decoded("two.wma").size(), 44100u * 2 * 9 / 10);
}

TEST_F(WmaWriterTest, WritesEmptyAttributesWhenNoTagsWereGiven) {
    WmaWriter writer;
    writer.setPath(path("plain.wma").string());
    writer.setInputFormat(44100, 16, 2);
    writer.setCodecFormat(format(44100, 2), 64000);
    ASSERT_TRUE(writer.begin());
    ASSERT_TRUE(feed(writer, 16, tone(4410, 44100, 9000, 16), tone(4410, 44100, 9000, 16)));
    ASSERT_TRUE(writer.close());
    const auto header = test::walkAsfHeader(test::readFileBytes(path("plain.wma")));
    ASSERT_TRUE(header);
    EXPECT_TRUE(header->hasContentDescription);
    EXPECT_EQ(header->title + header->author + header->copyright + header->description, "");
    std::vector<std::string> names;
    for (const auto& d : header->descriptors) {
        names.push_back(d.name);
        EXPECT_EQ(d.text, "") << d.name;
        EXPECT_EQ(d.number, 0u) << d.name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"WM/AlbumArtist", "WM/AlbumTitle", "WM/Composer",
                                               "WM/Genre", "WM/TrackNumber", "WM/Year"}));
}

TEST_F(WmaWriterTest, RefusesToBeginWithoutWhatTheProfileNeeds) {
    struct Case {
        const char* what;
        bool withFormat;
        std::uint32_t bitRate;
        int inBits;
        int inChannels;
        bool withPath;
    };
    for (const Case& c : {Case{"no codec format", false, 128000, 16, 2, true},
                          Case{"no bit rate", true, 0, 16, 2, true},
                          Case{"24-bit input", true, 128000, 24, 2, true},
                          Case{"three channels", true, 128000, 16, 3, true},
                          Case{"no path", true, 128000, 16, 2, false}}) {
        SCOPED_TRACE(c.what);
        WmaWriter writer;
        if (c.withPath)
            writer.setPath(path("out.wma").string());
        writer.setInputFormat(44100, c.inBits, c.inChannels);
        if (c.withFormat)
            writer.setCodecFormat(format(44100, 2), c.bitRate);
        EXPECT_FALSE(writer.begin());
        EXPECT_FALSE(writer.isWriting());
        EXPECT_FALSE(std::filesystem::exists(path("out.wma")));
        const std::int16_t block[4] = {};
        EXPECT_FALSE(writer.write16(block, block, 2));
    }
    // A format the encoder does not have.
    WmaWriter writer;
    writer.setPath(path("out.wma").string());
    writer.setInputFormat(44100, 16, 2);
    const WmfMediaType professional{WmfCodecInfo::kWmaProFormatTag, 44100, 2};
    writer.setCodecFormat(&professional, 128000);
    EXPECT_FALSE(writer.begin());
}

TEST_F(WmaWriterTest, RefusesBlocksThatDoNotMatchItsInput) {
    WmaWriter writer;
    writer.setPath(path("out.wma").string());
    writer.setInputFormat(44100, 16, 2);
    writer.setCodecFormat(format(44100, 2), 128000);
    ASSERT_TRUE(writer.begin());
    const std::int16_t block[8] = {};
    const std::uint8_t bytes[8] = {};
    EXPECT_FALSE(writer.write16(block, nullptr, 4)); // the right channel is missing
    EXPECT_FALSE(writer.write8(bytes, bytes, 4));    // 8-bit samples for 16-bit input
    EXPECT_FALSE(writer.write16(block, block, -1));
    EXPECT_TRUE(writer.write16(block, block, 4));
    writer.abandon();
    EXPECT_FALSE(writer.isWriting());
}

TEST_F(WmaWriterTest, TheRuntimeTakesOnlyWholeFramesInTimeOrder) {
    WmfWriter runtime;
    ASSERT_TRUE(runtime.setProfile({WmfCodecInfo::kWmaFormatTag, 44100, 2}, 128000));
    ASSERT_TRUE(runtime.setInputProps(44100, 16, 2));
    EXPECT_FALSE(runtime.setInputProps(44100, 12, 2));
    EXPECT_FALSE(runtime.setInputProps(0, 16, 2));
    EXPECT_FALSE(runtime.setProfile({WmfCodecInfo::kWmaFormatTag, 44100, 6}, 128000));
    ASSERT_TRUE(runtime.beginWriting(path("out.asf").string()));
    const std::vector<std::uint8_t> pcm(4 * 100, 0);
    EXPECT_TRUE(runtime.writeSample(pcm, 1000));
    EXPECT_FALSE(runtime.writeSample(std::span(pcm).first(6), 2000)); // a frame and a half
    EXPECT_FALSE(runtime.writeSample(pcm, 999));                      // before the last one
    EXPECT_TRUE(runtime.writeSample(pcm, 1000));
    EXPECT_TRUE(runtime.endWriting());
    EXPECT_FALSE(runtime.isWriting());
    EXPECT_EQ(test::ffprobeStream(path("out.asf")).at("codec_name"), "wmav2");
}

} // namespace
} // namespace velmora
