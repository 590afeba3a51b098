#include "tests/unit/test_support.h"
#include "writers/wav_writer.h"

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

using test::SandboxTest;

std::uint32_t u32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
           (std::uint32_t{bytes[offset + 3]} << 24);
}

// The header this writer must produce, spelled out field by field.
std::vector<std::uint8_t> expectedHeader(int channels, int bits, int rate,
                                         std::uint32_t dataBytes) {
    std::vector<std::uint8_t> h;
    test::appendText(h, "RIFF");
    test::appendU32LE(h, 36 + dataBytes);
    test::appendText(h, "WAVEfmt ");
    test::appendU32LE(h, 16);
    test::appendU16LE(h, 1);
    test::appendU16LE(h, static_cast<std::uint32_t>(channels));
    test::appendU32LE(h, static_cast<std::uint32_t>(rate));
    test::appendU32LE(h, static_cast<std::uint32_t>(rate * channels * bits / 8));
    test::appendU16LE(h, static_cast<std::uint32_t>(channels * bits / 8));
    test::appendU16LE(h, static_cast<std::uint32_t>(bits));
    test::appendText(h, "data");
    test::appendU32LE(h, dataBytes);
    return h;
}

class WavWriterTest : public SandboxTest {
protected:
    void requireTools() {
        if (!test::haveTool("ffprobe") || !test::haveTool("ffmpeg"))
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }

    // Stream properties as an independent reader sees them.
    std::map<std::string, std::string> probe(const std::filesystem::path& file) {
        std::string text;
        EXPECT_EQ(test::runCommand("ffprobe -v error -select_streams a:0 -show_entries "
                                   "stream=codec_name,sample_rate,channels,bits_per_sample,"
                                   "duration_ts -of default=noprint_wrappers=1 " +
                                       test::shellQuote(file.string()) + " 2>&1",
                                   &text),
                  0)
            << text;
        std::map<std::string, std::string> fields;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(start, end - start);
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos)
                fields[line.substr(0, eq)] = line.substr(eq + 1);
            start = end + 1;
        }
        return fields;
    }

    // The interleaved samples as ffmpeg decodes them, in the file's own width.
    std::vector<std::uint8_t> decode(const std::filesystem::path& file, int bits) {
        const auto raw = path("decoded.raw");
        const std::string format = bits == 16 ? "-f s16le -c:a pcm_s16le" : "-f u8 -c:a pcm_u8";
        EXPECT_EQ(test::runCommand("ffmpeg -v error -y -i " + test::shellQuote(file.string()) +
                                   " " + format + " " + test::shellQuote(raw.string())),
                  0);
        return test::readFileBytes(raw);
    }
};

TEST_F(WavWriterTest, NoPcmGivesABareHeader) {
    const auto file = path("empty.wav");
    WavWriter writer;
    ASSERT_TRUE(writer.open(file.string(), true, 16, 44100));
    writer.close();
    EXPECT_EQ(test::readFileBytes(file), expectedHeader(2, 16, 44100, 0));
}

TEST_F(WavWriterTest, HeaderHoldsPlaceholdersUntilClose) {
    const auto file = path("open.wav");
    WavWriter writer;
    ASSERT_TRUE(writer.open(file.string(), false, 8, 8000));
    const std::uint8_t pcm[3] = {1, 2, 3};
    ASSERT_TRUE(writer.write8(pcm, nullptr, 3));
    // The header is on disk from open() on; the block is still gathered in memory.
    const auto bytes = test::readFileBytes(file);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(u32At(bytes, 4), 4u);
    EXPECT_EQ(u32At(bytes, 40), 4u);
    ASSERT_TRUE(writer.close());
    const auto closed = test::readFileBytes(file);
    ASSERT_EQ(closed.size(), 47u);
    EXPECT_EQ(u32At(closed, 4), 39u);
    EXPECT_EQ(u32At(closed, 40), 3u);
}

struct FormatCase {
    bool stereo;
    int bits;
    int rate;
    std::uint32_t byteRate;
    std::uint16_t blockAlign;
    const char* codec;
};

TEST_F(WavWriterTest, FormatFieldsMatchTheStream) {
    requireTools();
    const FormatCase cases[] = {
        {false, 8, 8000, 8000, 1, "pcm_u8"},       {true, 16, 44100, 176400, 4, "pcm_s16le"},
        {false, 16, 22050, 44100, 2, "pcm_s16le"}, {true, 8, 11025, 22050, 2, "pcm_u8"},
        {true, 16, 48000, 192000, 4, "pcm_s16le"},
    };
    for (const FormatCase& c : cases) {
        const std::string name = std::string(c.stereo ? "stereo" : "mono") + "-" +
                                 std::to_string(c.bits) + "-" + std::to_string(c.rate) + ".wav";
        SCOPED_TRACE(name);
        const auto file = path(name);
        const int channels = c.stereo ? 2 : 1;
        const int frames = 10;
        WavWriter writer;
        ASSERT_TRUE(writer.open(file.string(), c.stereo, c.bits, c.rate));
        std::vector<std::int16_t> samples16(frames, 0);
        std::vector<std::uint8_t> samples8(frames, 128);
        if (c.bits == 16)
            ASSERT_TRUE(writer.write16(samples16.data(), samples16.data(), frames));
        else
            ASSERT_TRUE(writer.write8(samples8.data(), samples8.data(), frames));
        writer.close();

        const auto bytes = test::readFileBytes(file);
        const std::uint32_t dataBytes = static_cast<std::uint32_t>(c.blockAlign) * frames;
        ASSERT_EQ(bytes.size(), 44u + dataBytes);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 44),
                  expectedHeader(channels, c.bits, c.rate, dataBytes));
        EXPECT_EQ(u32At(bytes, 28), c.byteRate);
        EXPECT_EQ(bytes[32] | (bytes[33] << 8), c.blockAlign);

        auto fields = probe(file);
        EXPECT_EQ(fields["codec_name"], c.codec);
        EXPECT_EQ(fields["sample_rate"], std::to_string(c.rate));
        EXPECT_EQ(fields["channels"], std::to_string(channels));
        EXPECT_EQ(fields["bits_per_sample"], std::to_string(c.bits));
        EXPECT_EQ(fields["duration_ts"], std::to_string(frames));
    }
}

TEST_F(WavWriterTest, Stereo16InterleavesLeftFirstAcrossBlocks) {
    requireTools();
    const auto file = path("stereo16.wav");
    WavWriter writer;
    ASSERT_TRUE(writer.open(file.string(), true, 16, 44100));
    std::vector<std::int16_t> expected;
    for (int block = 0; block < 3; ++block) {
        const int frames = 1152 - 100 * block;
        std::vector<std::int16_t> left(frames), right(frames);
        for (int i = 0; i < frames; ++i) {
            left[i] = static_cast<std::int16_t>((i * 37 + block * 1000) % 65536 - 32768);
            right[i] = static_cast<std::int16_t>(-(i * 11) - block);
            expected.push_back(left[i]);
            expected.push_back(right[i]);
        }
        ASSERT_TRUE(writer.write16(left.data(), right.data(), frames));
    }
    writer.close();

    const auto bytes = test::readFileBytes(file);
    EXPECT_EQ(bytes.size(), 44 + expected.size() * 2);
    EXPECT_EQ(u32At(bytes, 4) + 8, bytes.size());
    EXPECT_EQ(u32At(bytes, 40) + 44, bytes.size());
    const auto decoded = decode(file, 16);
    std::vector<std::uint8_t> expectedBytes;
    for (const std::int16_t s : expected)
        test::appendU16LE(expectedBytes, static_cast<std::uint16_t>(s));
    EXPECT_EQ(decoded, expectedBytes);
}

TEST_F(WavWriterTest, Mono16IgnoresRightBuffer) {
    requireTools();
    const auto file = path("mono16.wav");
    WavWriter writer;
    ASSERT_TRUE(writer.open(file.string(), false, 16, 22050));
    const std::vector<std::int16_t> left = {0, 1, -1, 32767, -32768, 258, -259};
    const std::vector<std::int16_t> right = {9, 9, 9, 9, 9, 9, 9};
    ASSERT_TRUE(writer.write16(left.data(), nullptr, 4));
    ASSERT_TRUE(writer.write16(left.data() + 4, right.data(), 3));
    writer.close();

    std::vector<std::uint8_t> expectedBytes;
    for (const std::int16_t s : left)
        test::appendU16LE(expectedBytes, static_cast<std::uint16_t>(s));
    EXPECT_EQ(decode(file, 16), expectedBytes);
    EXPECT_EQ(test::readFileBytes(file).size(), 44 + expectedBytes.size());
}

TEST_F(WavWriterTest, EightBitSamplesAreStoredUnsigned) {
    requireTools();
    const std::vector<std::uint8_t> left = {0, 1, 127, 128, 129, 255};
    const std::vector<std::uint8_t> right = {255, 254, 128, 0, 64, 200};

    const auto stereoFile = path("stereo8.wav");
    WavWriter stereo;
    ASSERT_TRUE(stereo.open(stereoFile.string(), true, 8, 11025));
    ASSERT_TRUE(stereo.write8(left.data(), right.data(), 6));
    stereo.close();
    std::vector<std::uint8_t> interleaved;
    for (std::size_t i = 0; i < left.size(); ++i) {
        interleaved.push_back(left[i]);
        interleaved.push_back(right[i]);
    }
    EXPECT_EQ(decode(stereoFile, 8), interleaved);

    const auto monoFile = path("mono8.wav");
    WavWriter mono;
    ASSERT_TRUE(mono.open(monoFile.string(), false, 8, 8000));
    ASSERT_TRUE(mono.write8(left.data(), nullptr, 3));
    ASSERT_TRUE(mono.write8(left.data() + 3, right.data(), 3));
    mono.close();
    EXPECT_EQ(decode(monoFile, 8), left);
    const auto bytes = test::readFileBytes(monoFile);
    ASSERT_EQ(bytes.size(), 50u);
    EXPECT_EQ(u32At(bytes, 4), 42u);
    EXPECT_EQ(u32At(bytes, 40), 6u);
}

TEST_F(WavWriterTest, CloseIsSafeTwiceAndAfterFailedOpen) {
    const auto file = path("twice.wav");
    {
        WavWriter writer;
        ASSERT_TRUE(writer.open(file.string(), false, 16, 8000));
        const std::int16_t pcm[2] = {1, 2};
        ASSERT_TRUE(writer.write16(pcm, nullptr, 2));
        writer.close();
        const auto first = test::readFileBytes(file);
        writer.close();
        EXPECT_FALSE(writer.isOpen());
        EXPECT_FALSE(writer.write16(pcm, nullptr, 2));
        EXPECT_EQ(test::readFileBytes(file), first);
    } // the destructor closes once more
    EXPECT_EQ(test::readFileBytes(file).size(), 48u);

    WavWriter failed;
    EXPECT_FALSE(failed.open(path("missing/folder/x.wav").string(), true, 16, 44100));
    EXPECT_FALSE(failed.isOpen());
    failed.close();
    failed.close();
}

TEST_F(WavWriterTest, OpenRefusesFormatsItCannotDescribe) {
    struct Case {
        int bits, rate;
    };
    for (const Case c :
         {Case{24, 44100}, Case{0, 44100}, Case{16, 0}, Case{8, -8000}, Case{16, 2000000000}}) {
        const auto file = path("bad-" + std::to_string(c.bits) + "-" + std::to_string(c.rate));
        WavWriter writer;
        EXPECT_FALSE(writer.open(file.string(), true, c.bits, c.rate));
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

TEST_F(WavWriterTest, WriteRefusesTheWrongWidthAndMissingBuffers) {
    const auto file = path("width.wav");
    WavWriter writer;
    ASSERT_TRUE(writer.open(file.string(), true, 16, 8000));
    const std::uint8_t bytes[2] = {1, 2};
    const std::int16_t samples[2] = {1, 2};
    EXPECT_FALSE(writer.write8(bytes, bytes, 2));
    EXPECT_FALSE(writer.write16(samples, nullptr, 2));
    EXPECT_FALSE(writer.write16(nullptr, samples, 2));
    EXPECT_FALSE(writer.write16(samples, samples, -1));
    EXPECT_TRUE(writer.write16(samples, samples, 0));
    writer.close();
    EXPECT_EQ(test::readFileBytes(file), expectedHeader(2, 16, 8000, 0));
}

TEST_F(WavWriterTest, OpeningAnExistingFileReplacesIt) {
    const auto file = path("old.wav");
    const auto neighbour = path("neighbour.wav");
    test::writeFileBytes(file, std::vector<std::uint8_t>(5000, 0x55));
    test::writeFileBytes(neighbour, std::vector<std::uint8_t>(100, 0x66));
    WavWriter writer;
    ASSERT_TRUE(writer.open(file.string(), false, 8, 8000));
    const std::uint8_t pcm[4] = {10, 20, 30, 40};
    ASSERT_TRUE(writer.write8(pcm, nullptr, 4));
    writer.close();
    auto expected = expectedHeader(1, 8, 8000, 4);
    expected.insert(expected.end(), pcm, pcm + 4);
    EXPECT_EQ(test::readFileBytes(file), expected);
    EXPECT_EQ(test::readFileBytes(neighbour), std::vector<std::uint8_t>(100, 0x66));
}

TEST_F(WavWriterTest, DataChunkLimitRefusesWholeBlocks) {
    const auto file = path("limit.wav");
    WavWriter writer(100); // bytes of PCM
    ASSERT_TRUE(writer.open(file.string(), false, 16, 8000));
    const std::vector<std::int16_t> pcm(60, 7);
    ASSERT_TRUE(writer.write16(pcm.data(), nullptr, 30));
    EXPECT_FALSE(writer.write16(pcm.data(), nullptr, 30)); // 120 > 100: nothing of it written
    ASSERT_TRUE(writer.write16(pcm.data(), nullptr, 20));  // exactly 100
    EXPECT_FALSE(writer.write16(pcm.data(), nullptr, 1));
    EXPECT_EQ(writer.dataBytes(), 100u);
    writer.close();
    auto expected = expectedHeader(1, 16, 8000, 100);
    for (int i = 0; i < 50; ++i)
        test::appendU16LE(expected, 7);
    EXPECT_EQ(test::readFileBytes(file), expected);
}

TEST_F(WavWriterTest, HeaderThatCannotBeWrittenFailsOpen) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    WavWriter writer;
    EXPECT_FALSE(writer.open("/dev/full", true, 16, 44100));
    EXPECT_FALSE(writer.isOpen());
}

// Runs `body` in a child process whose files may not grow past `limitBytes`; returns the
// child's exit status (0 when every expectation inside held), or -1 when it died.
template <typename Body> int inFileSizeLimitedChild(rlim_t limitBytes, Body body) {
    const pid_t child = fork();
    if (child == 0) {
        // Past the limit write() fails with EFBIG instead of the process being killed.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{limitBytes, limitBytes};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(100);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Blocks reach the file kFlushBytes at a time: the write that fills the buffer, or close(),
// reports what did not fit, and the file is cut back to what earlier flushes wrote.
TEST_F(WavWriterTest, WriteThatDoesNotFitReportsFailureAndKeepsFileConsistent) {
    constexpr int kBlockFrames = 1000; // 2000 bytes of mono 16-bit
    constexpr std::size_t kBlockBytes = 2 * kBlockFrames;
    constexpr std::size_t kBlocksPerFlush =
        (WavWriter::kFlushBytes + kBlockBytes - 1) / kBlockBytes;
    constexpr std::size_t kFirstFlush = kBlocksPerFlush * kBlockBytes;
    const auto file = path("full.wav");
    const std::string name = file.string();
    // Room for the header, the first flush and 1000 bytes more.
    const int status = inFileSizeLimitedChild(44 + kFirstFlush + 1000, [&name]() {
        WavWriter writer;
        if (!writer.open(name, false, 16, 8000))
            return 1;
        const std::vector<std::int16_t> pcm(kBlockFrames, -2);
        for (std::size_t block = 1; block < 2 * kBlocksPerFlush; ++block) {
            if (!writer.write16(pcm.data(), nullptr, kBlockFrames))
                return 2; // the first flush fits; the rest is gathered
        }
        if (writer.write16(pcm.data(), nullptr, kBlockFrames)) // the second flush cannot fit
            return 3;
        if (!writer.write16(pcm.data(), nullptr, 10)) // there is still room for this one
            return 4;
        return writer.close() ? 0 : 5;
    });
    ASSERT_EQ(status, 0);
    auto expected = expectedHeader(1, 16, 8000, static_cast<std::uint32_t>(kFirstFlush + 20));
    for (std::size_t i = 0; i < kFirstFlush / 2 + 10; ++i)
        test::appendU16LE(expected, static_cast<std::uint16_t>(-2));
    EXPECT_EQ(test::readFileBytes(file), expected);

    // What close() cannot write is reported there, and the header says what the file holds.
    const auto small = path("small.wav");
    const std::string smallName = small.string();
    EXPECT_EQ(inFileSizeLimitedChild(44 + 100,
                                     [&smallName]() {
                                         WavWriter writer;
                                         if (!writer.open(smallName, false, 16, 8000))
                                             return 1;
                                         const std::vector<std::int16_t> pcm(100, 5);
                                         if (!writer.write16(pcm.data(), nullptr, 100))
                                             return 2;
                                         return writer.close() ? 3 : 0;
                                     }),
              0);
    EXPECT_EQ(test::readFileBytes(small), expectedHeader(1, 16, 8000, 0));

    const auto tiny = path("tiny.wav");
    const std::string tinyName = tiny.string();
    EXPECT_EQ(inFileSizeLimitedChild(20,
                                     [&tinyName]() {
                                         WavWriter writer;
                                         return writer.open(tinyName, true, 16, 44100) ? 1 : 0;
                                     }),
              0);
}

} // namespace
} // namespace velmora
