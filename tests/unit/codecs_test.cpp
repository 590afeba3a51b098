// Tests of the shared codecs in sources/codecs/ and of ByteReader: G.711 expansion, the IMA and
// Microsoft ADPCM block geometry and arithmetic, and the libgsm wrapper. The WAV reader's tests
// compare every codec with FFmpeg on whole files; these pin down the parts on their own.

#include "platform/byte_reader.h"
#include "platform/float_sample.h"
#include "sources/codecs/g711.h"
#include "sources/codecs/gsm_decoder.h"
#include "sources/codecs/ima_adpcm_decoder.h"
#include "sources/codecs/ms_adpcm_decoder.h"
#include "tests/unit/test_support.h"

#include <array>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(G711Test, KnownValuesAndSymmetry) {
    EXPECT_EQ(g711::alawToLinear(0xD5), 8);
    EXPECT_EQ(g711::alawToLinear(0x55), -8);
    EXPECT_EQ(g711::alawToLinear(0xAA), 32256);
    EXPECT_EQ(g711::alawToLinear(0x2A), -32256);
    EXPECT_EQ(g711::alawToLinear(0xC5), 0x108); // segment 1, mantissa 0
    EXPECT_EQ(g711::mulawToLinear(0xFF), 0);
    EXPECT_EQ(g711::mulawToLinear(0x7F), 0);
    EXPECT_EQ(g711::mulawToLinear(0x80), 32124);
    EXPECT_EQ(g711::mulawToLinear(0x00), -32124);
    EXPECT_EQ(g711::mulawToLinear(0xFE), 8);
    for (int code = 0; code < 256; ++code) {
        const auto byte = static_cast<std::uint8_t>(code);
        EXPECT_EQ(g711::alawToLinear(byte), -g711::alawToLinear(byte ^ 0x80));
        EXPECT_EQ(g711::mulawToLinear(byte), -g711::mulawToLinear(byte ^ 0x80));
    }
}

TEST(ImaAdpcmTest, NibbleExpansionFollowsTheStepTable) {
    ImaAdpcmDecoder::Channel channel;
    // step 7: 7/8 + 7/4 + 7/2 + 7 with truncating shifts = 0 + 1 + 3 + 7.
    EXPECT_EQ(channel.expandNibble(7), 11);
    EXPECT_EQ(channel.stepIndex, 8);
    // step 16 (index 8), nibble 8 = −(16/8) = −2, index −1.
    EXPECT_EQ(channel.expandNibble(8), 9);
    EXPECT_EQ(channel.stepIndex, 7);
    // Clamps: predictor to 16 bits, index to 0..88.
    channel.predictor = 32760;
    channel.stepIndex = 88;
    EXPECT_EQ(channel.expandNibble(7), 32767);
    EXPECT_EQ(channel.stepIndex, 88);
    channel.predictor = -32760;
    EXPECT_EQ(channel.expandNibble(15), -32768);
    channel.stepIndex = 0;
    channel.expandNibble(0);
    EXPECT_EQ(channel.stepIndex, 0);
    EXPECT_EQ(ImaAdpcmDecoder::kStepTable.front(), 7);
    EXPECT_EQ(ImaAdpcmDecoder::kStepTable.back(), 32767);
}

TEST(ImaAdpcmTest, BlockGeometry) {
    EXPECT_TRUE(ImaAdpcmDecoder::create(1, 256, 505));
    EXPECT_FALSE(ImaAdpcmDecoder::create(1, 256, 506));
    EXPECT_TRUE(ImaAdpcmDecoder::create(2, 2048, 2041));
    EXPECT_FALSE(ImaAdpcmDecoder::create(2, 2048, 2042));
    EXPECT_TRUE(ImaAdpcmDecoder::create(1, 4, 1));
    EXPECT_FALSE(ImaAdpcmDecoder::create(1, 3, 1));
    EXPECT_FALSE(ImaAdpcmDecoder::create(1, 0, 1));
    EXPECT_FALSE(ImaAdpcmDecoder::create(1, 256, 0));
    EXPECT_FALSE(ImaAdpcmDecoder::create(0, 256, 505));
    EXPECT_FALSE(ImaAdpcmDecoder::create(3, 256, 17));
}

TEST(ImaAdpcmTest, DecodesAStereoBlockInTheWaveLayout) {
    const auto decoder = ImaAdpcmDecoder::create(2, 16, 9);
    ASSERT_TRUE(decoder);
    // Headers: left 1000 at index 0, right −1000 at index 200 (clamped to 88).
    Bytes block = {0xE8, 0x03, 0, 0, 0x18, 0xFC, 200, 0};
    block.insert(block.end(), {0x77, 0x77, 0x77, 0x77}); // left: eight nibbles of 7
    block.insert(block.end(), {0x00, 0x00, 0x00, 0x00}); // right: eight nibbles of 0
    std::vector<std::int16_t> out(decoder->blockSamples());
    ASSERT_TRUE(decoder->decodeBlock(block, out));

    ImaAdpcmDecoder::Channel left{1000, 0};
    ImaAdpcmDecoder::Channel right{-1000, 88};
    std::vector<std::int16_t> expected = {1000, -1000};
    for (int i = 0; i < 8; ++i) {
        expected.push_back(left.expandNibble(7));
        expected.push_back(right.expandNibble(0));
    }
    EXPECT_EQ(out, expected);
    EXPECT_EQ(out[3], -1000 + 32767 / 8); // step 32767 at index 88

    // Wrong sizes are refused, not read past.
    EXPECT_FALSE(decoder->decodeBlock(std::span(block).first(15), out));
    std::vector<std::int16_t> small(decoder->blockSamples() - 1);
    EXPECT_FALSE(decoder->decodeBlock(block, small));
}

TEST(MsAdpcmTest, BlockGeometryAndCoefficientTable) {
    const std::vector<MsAdpcmDecoder::Coefficients> seven(7, {256, 0});
    EXPECT_TRUE(MsAdpcmDecoder::create(1, 256, 500, seven));
    EXPECT_FALSE(MsAdpcmDecoder::create(1, 256, 501, seven));
    EXPECT_TRUE(MsAdpcmDecoder::create(2, 512, 500, seven));
    EXPECT_FALSE(MsAdpcmDecoder::create(2, 512, 501, seven));
    EXPECT_TRUE(MsAdpcmDecoder::create(1, 7, 2, seven));
    EXPECT_FALSE(MsAdpcmDecoder::create(1, 6, 2, seven));
    EXPECT_FALSE(MsAdpcmDecoder::create(1, 256, 1, seven));
    EXPECT_FALSE(MsAdpcmDecoder::create(1, 0, 2, seven));
    EXPECT_FALSE(MsAdpcmDecoder::create(3, 256, 70, seven));
    EXPECT_FALSE(MsAdpcmDecoder::create(1, 256, 500, {}));
    EXPECT_FALSE(
        MsAdpcmDecoder::create(1, 256, 500, std::vector<MsAdpcmDecoder::Coefficients>(257)));
    EXPECT_TRUE(
        MsAdpcmDecoder::create(1, 256, 500, std::vector<MsAdpcmDecoder::Coefficients>(256)));
}

TEST(MsAdpcmTest, DecodesAMonoBlockByHand) {
    const auto decoder = MsAdpcmDecoder::create(1, 9, 6, {{256, 0}, {512, -256}});
    ASSERT_TRUE(decoder);
    // predictor 1 (512, −256), delta 16, sample 1 = 100, sample 2 = 50, nibbles 1, 0, 8, 7.
    const Bytes block = {1, 16, 0, 100, 0, 50, 0, 0x10, 0x87};
    std::vector<std::int16_t> out(decoder->blockSamples());
    ASSERT_TRUE(decoder->decodeBlock(block, out));
    // 1: (100×512 − 50×256)/256 = 150, + 16 → 166; delta 16×230/256 = 14 → floor 16.
    // 0: (166×512 − 100×256)/256 = 232; delta 16.
    // 8 (−8): (232×512 − 166×256)/256 = 298, − 128 = 170; delta 16×768/256 = 48.
    // 7: (170×512 − 232×256)/256 = 108, + 336 = 444; delta 48×614/256 = 115.
    EXPECT_EQ(out, (std::vector<std::int16_t>{50, 100, 166, 232, 170, 444}));

    // A predictor index beyond the table rejects the block.
    Bytes bad = block;
    bad[0] = 2;
    EXPECT_FALSE(decoder->decodeBlock(bad, out));
    EXPECT_FALSE(decoder->decodeBlock(std::span(block).first(8), out));
}

TEST(MsAdpcmTest, LargeCodesSaturateWithoutOverflow) {
    // Every nibble 8 (−8) with a growing delta and extreme coefficients: the samples clamp and
    // the delta stops at its ceiling; the sanitizer build would report any signed overflow.
    const auto decoder = MsAdpcmDecoder::create(2, 1024, 2 + (1024 - 14), {{32767, -32768}});
    ASSERT_TRUE(decoder);
    Bytes block = {0, 0, 0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80, 0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80};
    block.resize(1024, 0x88);
    std::vector<std::int16_t> out(decoder->blockSamples());
    ASSERT_TRUE(decoder->decodeBlock(block, out));
    for (const std::int16_t sample : out)
        EXPECT_TRUE(sample >= -32768 && sample <= 32767);
}

TEST(GsmDecoderTest, FramingModesAndSizes) {
    GsmDecoder wav49(true);
    ASSERT_TRUE(wav49.isOpen());
    std::vector<std::int16_t> out(GsmDecoder::kWav49BlockSamples);
    const Bytes block(GsmDecoder::kWav49BlockBytes, 0);
    EXPECT_TRUE(wav49.decodeBlock(block, out));
    EXPECT_FALSE(wav49.decodeBlock(std::span(block).first(64), out));
    EXPECT_FALSE(wav49.decodeFrame(std::span(block).first(33), out));

    GsmDecoder plain(false);
    ASSERT_TRUE(plain.isOpen());
    Bytes frame(GsmDecoder::kFrameBytes, 0);
    EXPECT_FALSE(plain.decodeFrame(frame, out)); // no 0xD signature nibble
    frame[0] = 0xD0;
    EXPECT_TRUE(plain.decodeFrame(frame, out));
    EXPECT_FALSE(plain.decodeBlock(block, out));
    std::vector<std::int16_t> small(GsmDecoder::kFrameSamples - 1);
    EXPECT_FALSE(plain.decodeFrame(frame, small));
}

class ByteReaderTest : public test::SandboxTest {};

TEST_F(ByteReaderTest, MemoryAndFileReadTheSameAndFailOnShortReads) {
    const Bytes bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    const auto file = path("bytes.bin");
    test::writeFileBytes(file, bytes);
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    auto fromFile = ByteReader::fromFile(stream);
    ASSERT_TRUE(fromFile);
    ByteReader fromMemory(bytes);
    for (ByteReader* in : {&*fromFile, &fromMemory}) {
        SCOPED_TRACE(in == &fromMemory ? "memory" : "file");
        EXPECT_EQ(in->size(), 9u);
        std::uint16_t u16 = 0;
        std::uint32_t u32 = 0;
        std::uint8_t u8 = 0;
        ASSERT_TRUE(in->readU16LE(u16));
        EXPECT_EQ(u16, 0x0201);
        ASSERT_TRUE(in->readU16BE(u16));
        EXPECT_EQ(u16, 0x0304);
        ASSERT_TRUE(in->peekU8(u8));
        EXPECT_EQ(u8, 0x05);
        EXPECT_EQ(in->tell(), 4u);
        ASSERT_TRUE(in->readU32LE(u32));
        EXPECT_EQ(u32, 0x08070605u);
        EXPECT_EQ(in->remaining(), 1u);
        EXPECT_FALSE(in->skip(2));
        EXPECT_EQ(in->tell(), 8u);
        EXPECT_FALSE(in->seek(10));
        ASSERT_TRUE(in->seek(5));
        ASSERT_TRUE(in->readU32BE(u32));
        EXPECT_EQ(u32, 0x06070809u);
        EXPECT_FALSE(in->readU8(u8));
        EXPECT_FALSE(in->peekU8(u8));
        ASSERT_TRUE(in->seek(7));
        std::array<std::uint8_t, 4> out{};
        EXPECT_FALSE(in->readBytes(std::span(out).first(3)));
        ASSERT_TRUE(in->seek(7));
        EXPECT_EQ(in->readUpTo(out), 2u);
        EXPECT_EQ(out[0], 0x08);
        EXPECT_EQ(out[1], 0x09);
        EXPECT_EQ(in->readUpTo(out), 0u);
        ASSERT_TRUE(in->seek(9)); // the end itself is a valid offset
        EXPECT_EQ(in->remaining(), 0u);
    }
    std::fclose(stream);
}

TEST_F(ByteReaderTest, TagsMatchOrLeaveThePositionAndViewsStayInTheMemory) {
    Bytes bytes = {'R', 'I', 'F', 'F', 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 'a', 'b'};
    const auto file = path("tags.bin");
    test::writeFileBytes(file, bytes);
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    auto fromFile = ByteReader::fromFile(stream);
    ASSERT_TRUE(fromFile);
    ByteReader fromMemory(bytes);
    for (ByteReader* in : {&*fromFile, &fromMemory}) {
        SCOPED_TRACE(in == &fromMemory ? "memory" : "file");
        EXPECT_FALSE(in->matchTag("RIFX"));
        EXPECT_EQ(in->tell(), 0u);
        ASSERT_TRUE(in->matchTag("RIFF"));
        std::uint64_t u64 = 0;
        ASSERT_TRUE(in->readU64LE(u64));
        EXPECT_EQ(u64, 0x0807060504030201u);
        EXPECT_FALSE(in->matchTag("abc")) << "a tag longer than what is left";
        EXPECT_EQ(in->tell(), 12u);
        std::span<const std::uint8_t> view;
        if (in == &fromMemory) {
            EXPECT_FALSE(in->takeView(3, view));
            ASSERT_TRUE(in->takeView(1, view));
            ASSERT_EQ(view.size(), 1u);
            EXPECT_EQ(view[0], 'a');
            EXPECT_EQ(in->takeViewUpTo(100).size(), 1u);
            EXPECT_EQ(in->remaining(), 0u);
        } else {
            // A file has no memory to view: the reader refuses rather than pointing anywhere.
            EXPECT_FALSE(in->takeView(1, view));
            EXPECT_TRUE(in->takeViewUpTo(1).empty());
            EXPECT_EQ(in->tell(), 12u);
        }
        EXPECT_FALSE(in->readU64LE(u64));
    }
    std::fclose(stream);
}

TEST(FloatSampleTest, ScalesTruncatesAndSaturates) {
    const std::pair<double, int> cases[] = {
        {0.0, 0},           {1.0, 32767},
        {-1.0, -32768},     {2.5, 32767},
        {-7.0, -32768},     {0.5, 16383},
        {-0.5, -16384},     {1.0 / 65536, 0},
        {-1.0 / 65536, -1}, {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& [sample, expected] : cases)
        EXPECT_EQ(floatToSample(sample), expected) << sample;
}

} // namespace
} // namespace velmora
