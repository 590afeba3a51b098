// The MPEG-4 file writer on its own, with synthetic samples, read back by ffprobe: a track long
// enough to need several chunks keeps every sample where the index says it is, and the index
// spilled to a temporary file gives the same file as one kept in memory.

#include "platform/mp4/mp4_file.h"
#include "tests/unit/aac_test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace velmora {
namespace {

constexpr std::uint8_t kStereoLc44100[] = {0x12, 0x10};
constexpr std::uint32_t kFrame = 1024;

// Sample i: a size that varies, filled with i's low byte so its place can be checked.
std::vector<std::uint8_t> sampleBytes(std::uint32_t i) {
    return std::vector<std::uint8_t>(600 + (i * 37) % 700, static_cast<std::uint8_t>(i));
}

class Mp4FileTest : public test::SandboxTest {
protected:
    void TearDown() override {
        unsetenv("TMPDIR");
        SandboxTest::TearDown();
    }

    // `samples` samples of one frame each but the last (500 units), priming as the first's
    // rendering offset.
    bool writeTrack(const std::filesystem::path& file, std::uint32_t samples) {
        Mp4File mp4;
        if (!mp4.create(file.string()))
            return false;
        mp4.setTimeScale(90000);
        const std::uint32_t track =
            mp4.addAudioTrack(44100, Mp4File::kInvalidDuration, Mp4File::kMpeg4AudioType);
        mp4.setAudioProfileLevel(0x0F);
        if (!mp4.setTrackEsConfiguration(track, kStereoLc44100))
            return false;
        mp4.setMetadataText(Mp4File::TextItem::Name, "Long");
        for (std::uint32_t i = 0; i < samples; ++i) {
            const auto bytes = sampleBytes(i);
            if (!mp4.writeSample(track, bytes, i + 1 == samples ? 500 : kFrame, i == 0 ? kFrame : 0,
                                 true))
                return false;
        }
        return mp4.close();
    }

    struct Packet {
        long long pos = 0;
        long long size = 0;
        long long duration = 0;
    };

    std::vector<Packet> packets(const std::filesystem::path& file) {
        std::string output;
        test::runCommand("ffprobe -v error -select_streams a:0 -show_entries "
                         "packet=pos,size,duration -of csv=p=0 " +
                             test::shellQuote(file.string()),
                         &output);
        std::vector<Packet> result;
        std::istringstream lines(output);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.empty()) // after a packet with side data (the priming to skip)
                continue;
            Packet packet;
            char comma = 0;
            std::istringstream fields(line);
            // csv order follows ffprobe's packet field order: duration, size, pos.
            fields >> packet.duration >> comma >> packet.size >> comma >> packet.pos;
            result.push_back(packet);
        }
        return result;
    }
};

TEST_F(Mp4FileTest, EverySampleOfAManyChunkTrackIsWhereTheIndexSaysAndLastsWhatItSays) {
    if (!test::haveTool("ffprobe"))
        GTEST_SKIP() << "ffprobe not installed";
    // About 3.9 MB: four chunks of at most 1 MiB.
    constexpr std::uint32_t kSamples = 4000;
    ASSERT_TRUE(writeTrack(path("long.m4a"), kSamples));
    const auto file = test::readFileBytes(path("long.m4a"));
    const auto found = packets(path("long.m4a"));
    ASSERT_EQ(found.size(), kSamples);
    long long expectedPos = 44; // after ftyp, free and the mdat header
    for (std::uint32_t i = 0; i < kSamples; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(found[i].pos, expectedPos);
        ASSERT_EQ(found[i].size, static_cast<long long>(sampleBytes(i).size()));
        ASSERT_EQ(file.at(static_cast<std::size_t>(found[i].pos)), static_cast<std::uint8_t>(i));
        ASSERT_EQ(found[i].duration, i + 1 == kSamples ? 500 : kFrame);
        expectedPos += found[i].size;
    }
    const auto atoms = test::mp4Atoms(file);
    const auto mdat = test::findAtom(atoms, "mdat");
    ASSERT_TRUE(mdat);
    EXPECT_EQ(mdat->body + mdat->bodySize, static_cast<std::size_t>(expectedPos));
    // Presentation: the track minus its priming, in the movie's units.
    EXPECT_EQ(test::ffprobeFields(path("long.m4a"), "stream=duration_ts").at("duration_ts"),
              std::to_string((kSamples - 1) * kFrame + 500 - kFrame));
    const auto stco = test::findAtom(atoms, "moov/trak/mdia/minf/stbl/stco");
    ASSERT_TRUE(stco);
    EXPECT_EQ(test::readBE32(file, stco->body + 4), 4u);
}

TEST_F(Mp4FileTest, AnIndexKeptInMemoryGivesTheSameFileAsASpilledOne) {
    ASSERT_TRUE(writeTrack(path("spilled.m4a"), 20000));
    // No temporary folder to spill into.
    setenv("TMPDIR", path("missing").c_str(), 1);
    ASSERT_TRUE(writeTrack(path("in-memory.m4a"), 20000));
    EXPECT_EQ(test::readFileBytes(path("spilled.m4a")), test::readFileBytes(path("in-memory.m4a")));
}

TEST_F(Mp4FileTest, RefusesSamplesItCannotDescribe) {
    Mp4File mp4;
    ASSERT_TRUE(mp4.create(path("refused.m4a").string()));
    const std::uint32_t track =
        mp4.addAudioTrack(44100, Mp4File::kInvalidDuration, Mp4File::kMpeg4AudioType);
    const std::vector<std::uint8_t> bytes(100, 1);
    EXPECT_FALSE(mp4.writeSample(track, bytes, kFrame, 0, true)) << "before the configuration";
    const std::uint8_t noChannels[] = {0x12, 0x00};
    EXPECT_FALSE(mp4.setTrackEsConfiguration(track, noChannels));
    ASSERT_TRUE(mp4.setTrackEsConfiguration(track, kStereoLc44100));
    EXPECT_FALSE(mp4.writeSample(track, bytes, kFrame, 0, false)) << "not a sync sample";
    EXPECT_FALSE(mp4.writeSample(track + 1, bytes, kFrame, 0, true)) << "unknown track";
    EXPECT_TRUE(mp4.writeSample(track, bytes, kFrame, kFrame, true));
    EXPECT_FALSE(mp4.writeSample(track, bytes, kFrame, 5, true)) << "a later rendering offset";
    EXPECT_FALSE(mp4.setTrackEsConfiguration(track, kStereoLc44100)) << "after the first sample";
    EXPECT_TRUE(mp4.close());
}

} // namespace
} // namespace velmora
