// The Windows Media format catalogue: which offered formats it keeps, its order with equal
// rates and bit rates, the nearest-format selection, and the catalogue of this machine's
// runtime checked against the encoder itself.

#include "platform/wmf/wmf_codec_info.h"
#include "tests/unit/test_support.h"
#include "writers/wma_format_list.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace velmora {
namespace {

using Triple = std::tuple<int, std::uint32_t, int>; // rate, bit rate, channels

WmfCodecFormat offered(int rate, std::uint32_t bitRate, int channels,
                       std::uint16_t tag = WmfCodecInfo::kWmaFormatTag,
                       std::string description = "Windows Media Audio 9.2") {
    return {std::move(description), {tag, rate, channels}, bitRate};
}

std::vector<Triple> triples(const WmaFormatList& list) {
    std::vector<Triple> out;
    for (const auto& entry : list.entries())
        out.emplace_back(entry.mediaType.sampleRate, entry.bitRate, entry.mediaType.channels);
    return out;
}

Triple selected(const WmaFormatList& list, int rate, std::int64_t bitRate, int channels) {
    const WmaFormatList::Entry* entry = list.selectFormat(rate, bitRate, channels);
    if (!entry)
        return {0, 0, 0};
    return {entry->mediaType.sampleRate, entry->bitRate, entry->mediaType.channels};
}

class WmaFormatListTest : public test::SandboxTest {};

TEST_F(WmaFormatListTest, OrdersByRateThenBitRateAndPutsALaterChannelCountFirst) {
    const std::vector<WmfCodecFormat> formats = {
        offered(44100, 128000, 2), offered(22050, 32000, 2),  offered(44100, 64000, 2),
        offered(44100, 128000, 1), offered(44100, 128000, 2), offered(8000, 24000, 1),
        offered(44100, 64000, 1),  offered(32000, 48000, 1),  offered(32000, 48000, 2),
        offered(32000, 48000, 1)};
    WmaFormatList list;
    list.build(formats);
    EXPECT_EQ(triples(list), (std::vector<Triple>{{8000, 24000, 1},
                                                  {22050, 32000, 2},
                                                  {32000, 48000, 2},
                                                  {32000, 48000, 1},
                                                  {44100, 64000, 1},
                                                  {44100, 64000, 2},
                                                  {44100, 128000, 1},
                                                  {44100, 128000, 2}}));
    // Building again starts from nothing.
    list.build(std::vector<WmfCodecFormat>{offered(16000, 24000, 1)});
    EXPECT_EQ(triples(list), (std::vector<Triple>{{16000, 24000, 1}}));
}

TEST_F(WmaFormatListTest, KeepsOnlyAudioOnlyWindowsMediaAudioUpToTwoChannels) {
    const std::vector<WmfCodecFormat> formats = {
        offered(44100, 64000, 2, 0x161, "Windows Media Audio 9.2 (A/V) 64 kbps"),
        offered(44100, 80000, 2, 0x161, "windows media audio (a/v) 80 kbps"),
        offered(44100, 96000, 2, 0x161, "Windows Media Audio 9.2 (a/V)"),
        offered(44100, 128000, 2, 0x160), // the first-generation codec
        offered(44100, 160000, 2, 0x163), // lossless
        offered(44100, 192000, 2, 0x00A), // voice
        offered(48000, 192000, 6, 0x162), // surround
        offered(48000, 256000, 3, 0x161),
        offered(48000, 192000, 2, 0x162, "Windows Media Audio 10 Professional"),
        offered(44100, 112000, 1, 0x161, "Windows Media Audio 9.2 (A/ V)"),
    };
    WmaFormatList list;
    list.build(formats);
    EXPECT_EQ(triples(list), (std::vector<Triple>{{44100, 112000, 1}, {48000, 192000, 2}}));
}

class WmaSelectFormatTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        list.build(std::vector<WmfCodecFormat>{
            offered(8000, 24000, 1), offered(8000, 32000, 2), offered(22050, 32000, 2),
            offered(22050, 48000, 2), offered(22050, 64000, 2), offered(44100, 48000, 1),
            offered(44100, 64000, 2), offered(44100, 96000, 2), offered(44100, 128000, 2)});
    }
    WmaFormatList list;
};

TEST_F(WmaSelectFormatTest, TakesTheNearestBitRateAtTheRequestedRate) {
    EXPECT_EQ(selected(list, 44100, 96000, 2), Triple(44100, 96000, 2));
    EXPECT_EQ(selected(list, 44100, 100000, 2), Triple(44100, 96000, 2));
    // 112000 lies as far from 96000 as from 128000: the higher wins.
    EXPECT_EQ(selected(list, 44100, 112000, 2), Triple(44100, 128000, 2));
    EXPECT_EQ(selected(list, 44100, 111999, 2), Triple(44100, 96000, 2));
    EXPECT_EQ(selected(list, 44100, 150000, 2), Triple(44100, 128000, 2));
    EXPECT_EQ(selected(list, 44100, 1000, 2), Triple(44100, 64000, 2));
    EXPECT_EQ(selected(list, 22050, 40000, 2), Triple(22050, 48000, 2));
    EXPECT_EQ(selected(list, 22050, 39999, 2), Triple(22050, 32000, 2));
}

TEST_F(WmaSelectFormatTest, MovesToTheNextHigherRateOrElseTheHighestRateBelow) {
    // 16000 Hz is not listed: the lowest bit rate of 22050 Hz, whatever was asked.
    EXPECT_EQ(selected(list, 16000, 20000, 2), Triple(22050, 32000, 2));
    EXPECT_EQ(selected(list, 16000, 500000, 2), Triple(22050, 32000, 2));
    EXPECT_EQ(selected(list, 11025, 48000, 1), Triple(44100, 48000, 1));
    // Above the highest rate: its highest bit rate.
    EXPECT_EQ(selected(list, 48000, 192000, 2), Triple(44100, 128000, 2));
    EXPECT_EQ(selected(list, 48000, 24000, 2), Triple(44100, 128000, 2));
    EXPECT_EQ(selected(list, 96000, 24000, 1), Triple(44100, 48000, 1));
}

TEST_F(WmaSelectFormatTest, ConsidersOnlyTheRequestedChannelCount) {
    // The mono 48000 entry at 44100 Hz is not a candidate for two channels.
    EXPECT_EQ(selected(list, 44100, 48000, 2), Triple(44100, 64000, 2));
    EXPECT_EQ(selected(list, 8000, 32000, 1), Triple(8000, 24000, 1));
    EXPECT_EQ(selected(list, 44100, 128000, 3), Triple(0, 0, 0));
    EXPECT_EQ(selected(list, 44100, 128000, 0), Triple(0, 0, 0));
    WmaFormatList stereoOnly;
    stereoOnly.build(std::vector<WmfCodecFormat>{offered(44100, 128000, 2)});
    EXPECT_EQ(stereoOnly.selectFormat(44100, 128000, 1), nullptr);
    EXPECT_EQ(WmaFormatList().selectFormat(44100, 128000, 2), nullptr);
}

TEST_F(WmaFormatListTest, TheRuntimesCatalogueHoldsWhatTheEncoderAccepts) {
    const WmaFormatList& catalogue = WmaFormatList::shared();
    EXPECT_EQ(&catalogue, &WmaFormatList::shared()); // built once
    const auto entries = triples(catalogue);
    ASSERT_GE(entries.size(), 20u);
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const auto& [rate0, bitRate0, channels0] = entries[i - 1];
        const auto& [rate1, bitRate1, channels1] = entries[i];
        EXPECT_TRUE(rate0 < rate1 || (rate0 == rate1 && bitRate0 <= bitRate1)) << i;
        EXPECT_NE(entries[i - 1], entries[i]);
    }
    for (const auto& entry : catalogue.entries()) {
        EXPECT_TRUE(entry.mediaType.channels == 1 || entry.mediaType.channels == 2);
        EXPECT_TRUE(WmfCodecInfo::encoderAccepts(entry.mediaType, entry.bitRate));
        EXPECT_GE(entry.bitRate, 24000u);
    }
    // The formats the automatic targets and the option page's defaults ask for.
    for (const Triple& wanted : {Triple{44100, 128000, 2}, Triple{48000, 192000, 2},
                                 Triple{44100, 48000, 1}, Triple{22050, 32000, 2}}) {
        const auto [rate, bitRate, channels] = wanted;
        EXPECT_EQ(selected(catalogue, rate, bitRate, channels), wanted);
    }
    // Below 24 kbit/s the encoder refuses: "20000 at 22050" comes out as its nearest.
    EXPECT_FALSE(WmfCodecInfo::encoderAccepts({WmfCodecInfo::kWmaFormatTag, 22050, 1}, 20000));
    EXPECT_EQ(selected(catalogue, 22050, 20000, 1), Triple(22050, 24000, 1));
    EXPECT_FALSE(WmfCodecInfo::encoderAccepts({WmfCodecInfo::kWmaFormatTag, 96000, 2}, 128000));
}

} // namespace
} // namespace velmora
