// The ADTS writer, read back by a hand walk over the frame headers and by FFmpeg.

#include "tests/unit/aac_test_support.h"
#include "writers/aac_writer.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace velmora {
namespace {

class AacWriterTest : public test::SandboxTest {
protected:
    void requireFfmpeg() {
        if (!test::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }

    bool write(const std::filesystem::path& file, const std::vector<std::int16_t>& pcm, int rate,
               int channels, int mpegVersion = AacEncoderConfig::kMpeg4) {
        AacWriter writer;
        if (!writer.open(file.string(), rate, channels, 16))
            return false;
        writer.configuration().mpegVersion = mpegVersion;
        if (!writer.start())
            return false;
        std::vector<std::int16_t> left;
        std::vector<std::int16_t> right;
        test::splitChannels(pcm, channels, left, right);
        for (std::size_t at = 0; at < left.size(); at += 1000) {
            const int frames = static_cast<int>(std::min<std::size_t>(1000, left.size() - at));
            if (!writer.write16(left.data() + at, channels == 2 ? right.data() + at : nullptr,
                                frames))
                return false;
        }
        return writer.close();
    }
};

TEST_F(AacWriterTest, EveryFrameHeaderIsValidAndCarriesTheMpegVersion) {
    const struct {
        int rate;
        int channels;
        int mpegVersion;
        int rateIndex;
    } cases[] = {{44100, 2, 0, 4}, {44100, 2, 1, 4}, {16000, 1, 1, 8}, {48000, 1, 0, 3}};
    for (const auto& c : cases) {
        const std::size_t frames = 20000;
        ASSERT_TRUE(write(path("out.aac"), test::musicSignal(frames, c.channels, c.rate), c.rate,
                          c.channels, c.mpegVersion));
        bool complete = false;
        const auto headers = test::adtsFrames(test::readFileBytes(path("out.aac")), complete);
        EXPECT_TRUE(complete) << c.rate;
        // The input and the priming frame, in whole frames.
        EXPECT_EQ(headers.size(), (frames + 1024 + 1023) / 1024) << c.rate;
        for (const test::AdtsFrame& f : headers) {
            EXPECT_EQ(f.id, c.mpegVersion);
            EXPECT_EQ(f.layer, 0);
            EXPECT_EQ(f.protectionAbsent, 1);
            EXPECT_EQ(f.profile, 1); // AAC-LC
            EXPECT_EQ(f.rateIndex, c.rateIndex);
            EXPECT_EQ(f.channelConfig, c.channels);
            EXPECT_EQ(f.rawBlocks, 0);
        }
    }
}

TEST_F(AacWriterTest, FfmpegReadsTheStreamAtTheSourceFormat) {
    requireFfmpeg();
    const auto pcm = test::musicSignal(30000, 2, 32000);
    ASSERT_TRUE(write(path("out.aac"), pcm, 32000, 2, AacEncoderConfig::kMpeg2));
    const auto fields = test::ffprobeStream(path("out.aac"));
    EXPECT_EQ(fields.at("codec_name"), "aac");
    EXPECT_EQ(fields.at("sample_rate"), "32000");
    EXPECT_EQ(fields.at("channels"), "2");
    // ADTS has no place for the priming, so the decoded stream begins with it.
    const auto decoded = test::ffmpegDecode16(path("out.aac"), path("out.raw"));
    EXPECT_EQ(decoded.size() / 2, (30000 + 1024 + 1023) / 1024 * 1024);
    std::vector<std::int16_t> delayed(1024 * 2, 0);
    delayed.insert(delayed.end(), pcm.begin(), pcm.end());
    EXPECT_EQ(test::bestLag(delayed, decoded, 2, 600), 0);
}

TEST_F(AacWriterTest, AnInputShorterThanOneFrameStillGivesItsAudio) {
    requireFfmpeg();
    const auto pcm = test::musicSignal(200, 1, 44100);
    ASSERT_TRUE(write(path("short.aac"), pcm, 44100, 1));
    bool complete = false;
    EXPECT_EQ(test::adtsFrames(test::readFileBytes(path("short.aac")), complete).size(), 2u);
    EXPECT_TRUE(complete);
    const auto decoded = test::ffmpegDecode16(path("short.aac"), path("short.raw"));
    ASSERT_EQ(decoded.size(), 2048u);
    // The input sits right after the priming frame.
    EXPECT_GT(*std::max_element(decoded.begin() + 1024, decoded.begin() + 1224), 3000);
}

TEST_F(AacWriterTest, EightBitMidpointEncodesAsSilence) {
    requireFfmpeg();
    AacWriter writer;
    ASSERT_TRUE(writer.open(path("quiet.aac").string(), 8000, 2, 8));
    ASSERT_TRUE(writer.start());
    const std::vector<std::uint8_t> block(1152, 128);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(writer.write8(block.data(), block.data(), 1152));
    ASSERT_TRUE(writer.close());
    const auto decoded = test::ffmpegDecode16(path("quiet.aac"), path("quiet.raw"));
    ASSERT_GE(decoded.size(), 8u * 1152 * 2);
    EXPECT_TRUE(std::all_of(decoded.begin(), decoded.end(), [](std::int16_t s) { return s == 0; }));
}

TEST_F(AacWriterTest, RefusesWhatItCannotWrite) {
    AacWriter writer;
    EXPECT_FALSE(writer.open(path("rate.aac").string(), 37800, 2, 16));
    EXPECT_FALSE(writer.open(path("bits.aac").string(), 44100, 1, 12));
    EXPECT_FALSE(writer.open(path("none/x.aac").string(), 44100, 1, 16));
    EXPECT_EQ(test::folderNames(root()), (std::vector<std::string>{"config", "home"}));

    ASSERT_TRUE(writer.open(path("refused.aac").string(), 44100, 1, 16));
    writer.configuration().mpegVersion = 3;
    EXPECT_FALSE(writer.start());
    EXPECT_FALSE(writer.close());
}

TEST_F(AacWriterTest, AFullDiskIsReported) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    AacWriter writer;
    ASSERT_TRUE(writer.open("/dev/full", 44100, 2, 16));
    ASSERT_TRUE(writer.start());
    const auto pcm = test::musicSignal(1152, 2, 44100);
    std::vector<std::int16_t> left;
    std::vector<std::int16_t> right;
    test::splitChannels(pcm, 2, left, right);
    bool allWritten = true;
    for (int i = 0; i < 4; ++i)
        allWritten = writer.write16(left.data(), right.data(), 1152) && allWritten;
    EXPECT_FALSE(allWritten);
    EXPECT_FALSE(writer.close());
}

} // namespace
} // namespace velmora
