// The AAC encoder layer on its own: what open and setConfiguration accept, the
// AudioSpecificConfig bits, that quality, bit rate, TNS, mid/side and band width reach the
// encoder (measured on the bytes it produces), the drain of short inputs, and how the routines'
// option values land in the configuration record.

#include "engine/aac_encoder_options.h"
#include "engine/conversion_settings.h"
#include "platform/aac/aac_encoder.h"
#include "tests/unit/aac_test_support.h"

#include <gtest/gtest.h>
#include <vector>

namespace velmora {
namespace {

struct Encoded {
    std::vector<std::vector<std::uint8_t>> frames;
    bool failed = false;

    std::size_t bytes() const {
        std::size_t total = 0;
        for (const auto& f : frames)
            total += f.size();
        return total;
    }
};

// Encodes interleaved frames in full encoder frames, then drains.
Encoded encodeAll(AacEncoder& encoder, const std::vector<std::int16_t>& pcm) {
    Encoded result;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(encoder.maxOutputBytes()));
    const auto keep = [&](int bytes) {
        if (bytes < 0)
            result.failed = true;
        else if (bytes > 0)
            result.frames.emplace_back(out.begin(), out.begin() + bytes);
        return bytes;
    };
    const auto step = static_cast<std::size_t>(encoder.inputSamples());
    for (std::size_t at = 0; at < pcm.size(); at += step) {
        const auto samples = static_cast<int>(std::min(step, pcm.size() - at));
        keep(encoder.encode(pcm.data() + at, samples, out.data(), static_cast<int>(out.size())));
    }
    while (keep(encoder.encode(nullptr, 0, out.data(), static_cast<int>(out.size()))) > 0) {
    }
    return result;
}

Encoded encodeWith(const AacEncoderConfig& config, const std::vector<std::int16_t>& pcm,
                   int rate = 44100, int channels = 2) {
    AacEncoder encoder;
    EXPECT_TRUE(encoder.open(rate, channels));
    EXPECT_TRUE(encoder.setConfiguration(config));
    return encodeAll(encoder, pcm);
}

// Bit rate of an encoding in bit/s.
double bitRate(const Encoded& encoded, std::size_t frames, int rate) {
    return static_cast<double>(encoded.bytes()) * 8 * rate / static_cast<double>(frames);
}

TEST(AacEncoderOpen, AcceptsTheAacRatesAndOneOrTwoChannels) {
    AacEncoder encoder;
    for (const int rate : {7350, 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000,
                           64000, 88200, 96000}) {
        for (const int channels : {1, 2}) {
            ASSERT_TRUE(encoder.open(rate, channels)) << rate << " Hz " << channels;
            EXPECT_EQ(encoder.inputSamples(), 1024 * channels);
            EXPECT_GE(encoder.maxOutputBytes(), 768 * channels + 7);
            EXPECT_EQ(encoder.currentConfiguration(), AacEncoderConfig{});
        }
    }
    for (const auto& [rate, channels] : std::vector<std::pair<int, int>>{
             {44056, 2}, {37800, 1}, {0, 2}, {-44100, 2}, {44100, 0}, {44100, 3}}) {
        EXPECT_FALSE(encoder.open(rate, channels)) << rate << " Hz " << channels;
        EXPECT_FALSE(encoder.isOpen());
    }
}

TEST(AacEncoderOpen, AudioSpecificConfigNamesLcRateAndChannels) {
    // object type 2 (5 bits), rate index (4), channel configuration (4), three zero bits.
    const struct {
        int rate;
        int channels;
        std::vector<std::uint8_t> bytes;
    } cases[] = {{44100, 2, {0x12, 0x10}},
                 {48000, 1, {0x11, 0x88}},
                 {8000, 1, {0x15, 0x88}},
                 {96000, 2, {0x10, 0x10}}};
    for (const auto& c : cases) {
        AacEncoder encoder;
        ASSERT_TRUE(encoder.open(c.rate, c.channels));
        EXPECT_EQ(encoder.decoderSpecificInfo(), c.bytes) << c.rate;
    }
}

TEST(AacEncoderConfiguration, RefusesValuesItCannotHonour) {
    const struct {
        const char* name;
        void (*edit)(AacEncoderConfig&);
    } cases[] = {
        {"object type Main", [](AacEncoderConfig& c) { c.aacObjectType = 1; }},
        {"24-bit input", [](AacEncoderConfig& c) { c.inputFormat = 2; }},
        {"output format 2", [](AacEncoderConfig& c) { c.outputFormat = 2; }},
        {"MPEG version 2", [](AacEncoderConfig& c) { c.mpegVersion = 2; }},
        {"quantqual 9", [](AacEncoderConfig& c) { c.quantqual = 9; }},
        {"quantqual 501", [](AacEncoderConfig& c) { c.quantqual = 501; }},
        {"negative bit rate", [](AacEncoderConfig& c) { c.bitRate = -1; }},
        {"band width above Nyquist", [](AacEncoderConfig& c) { c.bandWidth = 22051; }},
        {"block type 3", [](AacEncoderConfig& c) { c.shortctl = 3; }},
    };
    for (const auto& c : cases) {
        AacEncoder encoder;
        ASSERT_TRUE(encoder.open(44100, 2));
        AacEncoderConfig config = encoder.currentConfiguration();
        c.edit(config);
        EXPECT_FALSE(encoder.setConfiguration(config)) << c.name;
    }
    AacEncoder encoder;
    ASSERT_TRUE(encoder.open(44100, 2));
    AacEncoderConfig config = encoder.currentConfiguration();
    config.shortctl = AacEncoderConfig::kNoShortBlocks;
    config.quantqual = 10;
    EXPECT_TRUE(encoder.setConfiguration(config));
    EXPECT_EQ(encoder.currentConfiguration(), config);
}

TEST(AacEncoderConfiguration, CannotChangeOnceEncodingBegan) {
    AacEncoder encoder;
    ASSERT_TRUE(encoder.open(44100, 1));
    ASSERT_TRUE(encoder.setConfiguration(encoder.currentConfiguration()));
    const auto pcm = test::musicSignal(1024, 1, 44100);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(encoder.maxOutputBytes()));
    ASSERT_GE(encoder.encode(pcm.data(), 1024, out.data(), static_cast<int>(out.size())), 0);
    EXPECT_FALSE(encoder.setConfiguration(encoder.currentConfiguration()));
}

TEST(AacEncoderEncode, RefusesMisshapenCalls) {
    AacEncoder encoder;
    ASSERT_TRUE(encoder.open(44100, 2));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(encoder.maxOutputBytes()));
    const auto pcm = test::musicSignal(2048, 2, 44100);
    const int capacity = static_cast<int>(out.size());
    // Not configured yet.
    EXPECT_EQ(encoder.encode(pcm.data(), 2048, out.data(), capacity), -1);
    ASSERT_TRUE(encoder.setConfiguration(encoder.currentConfiguration()));
    EXPECT_EQ(encoder.encode(pcm.data(), 2049, out.data(), capacity), -1); // more than a frame
    EXPECT_EQ(encoder.encode(pcm.data(), 3, out.data(), capacity), -1);    // half a frame
    EXPECT_EQ(encoder.encode(nullptr, 2048, out.data(), capacity), -1);
    // A short frame is the last one: more input after it would be padded in the middle.
    EXPECT_EQ(encoder.encode(pcm.data(), 1000, out.data(), capacity), 0);
    EXPECT_EQ(encoder.encode(pcm.data(), 2048, out.data(), capacity), -1);
}

TEST(AacEncoderEncode, DrainingDeliversEveryFrameOfAShortInput) {
    // One frame of priming plus the input, in whole frames: even 1 input frame yields two AAC
    // frames, and nothing comes out before the drain.
    const struct {
        std::size_t frames;
        std::size_t expected;
    } cases[] = {{0, 0}, {1, 2}, {500, 2}, {1024, 2}, {1025, 3}, {44100, 45}};
    for (const auto& c : cases) {
        const auto pcm = test::musicSignal(c.frames, 2, 44100);
        const Encoded encoded = encodeWith(AacEncoderConfig{}, pcm);
        EXPECT_FALSE(encoded.failed);
        EXPECT_EQ(encoded.frames.size(), c.expected) << c.frames << " frames";
    }
}

TEST(AacEncoderEncode, OutputFormatSelectsRawOrAdtsFramesOfTheSamePayload) {
    const auto pcm = test::musicSignal(4096, 2, 44100);
    AacEncoderConfig adts;
    adts.outputFormat = AacEncoderConfig::kAdtsOutput;
    const Encoded raw = encodeWith(AacEncoderConfig{}, pcm);
    const Encoded framed = encodeWith(adts, pcm);
    ASSERT_EQ(raw.frames.size(), framed.frames.size());
    for (std::size_t i = 0; i < raw.frames.size(); ++i) {
        ASSERT_EQ(framed.frames[i].size(), raw.frames[i].size() + 7);
        EXPECT_TRUE(
            std::equal(raw.frames[i].begin(), raw.frames[i].end(), framed.frames[i].begin() + 7));
    }
}

TEST(AacEncoderQuality, HigherQuantqualGivesALargerStream) {
    const std::size_t frames = 44100 * 4;
    const auto pcm = test::musicSignal(frames, 2, 44100);
    std::vector<double> rates;
    for (const int quantqual : {10, 50, 100, 200, 500}) {
        AacEncoderConfig config;
        config.quantqual = quantqual;
        rates.push_back(bitRate(encodeWith(config, pcm), frames, 44100));
    }
    for (std::size_t i = 1; i < rates.size(); ++i)
        EXPECT_GT(rates[i], rates[i - 1] * 1.05) << "step " << i;
}

TEST(AacEncoderQuality, BitRateIsPerChannel) {
    const std::size_t frames = 44100 * 4;
    for (const int channels : {1, 2}) {
        const auto pcm = test::musicSignal(frames, channels, 44100);
        AacEncoderConfig config;
        config.bitRate = 48000;
        const double rate = bitRate(encodeWith(config, pcm, 44100, channels), frames, 44100);
        EXPECT_NEAR(rate, 48000.0 * channels, 48000.0 * channels * 0.12) << channels;
    }
}

TEST(AacEncoderQuality, TnsMidSideAndBandWidthReachTheEncoder) {
    // Clicks over a tone: TNS has transients to shape. The channels share most of their
    // content, so mid/side pays.
    std::vector<std::int16_t> pcm = test::musicSignal(44100, 2, 44100);
    for (std::size_t i = 0; i < pcm.size(); i += 2 * 2205) {
        for (std::size_t k = 0; k < 64 && i + k < pcm.size(); ++k)
            pcm[i + k] = static_cast<std::int16_t>(k % 2 ? 20000 : -20000);
    }
    const AacEncoderConfig defaults;
    AacEncoderConfig tns = defaults;
    tns.useTns = 1;
    AacEncoderConfig noMidSide = defaults;
    noMidSide.allowMidside = 0;
    AacEncoderConfig narrow = defaults;
    narrow.bandWidth = 3000;
    const Encoded base = encodeWith(defaults, pcm);
    EXPECT_NE(encodeWith(tns, pcm).frames, base.frames);
    EXPECT_NE(encodeWith(noMidSide, pcm).frames, base.frames);
    EXPECT_LT(encodeWith(narrow, pcm).bytes(), base.bytes() * 3 / 4);
}

// ---------------------------------------------------------------------------------------------
// The routines' option values in the configuration record

TEST(AacEncoderOptions, QualityOutsideItsRangeKeepsTheDefault) {
    for (const int quality : {5, 9, 501, 600, -100}) {
        AacEncoderConfig config;
        AacEncoderOptions options;
        options.vbr = 1;
        options.quality = quality;
        options.applyTo(config, 2);
        EXPECT_EQ(config.quantqual, AacEncoderConfig::kDefaultQuantqual) << quality;
        EXPECT_EQ(config.bitRate, 0);
    }
    for (const int quality : {10, 250, 500}) {
        AacEncoderConfig config;
        AacEncoderOptions options;
        options.quality = quality;
        options.applyTo(config, 1);
        EXPECT_EQ(config.quantqual, quality);
    }
}

TEST(AacEncoderOptions, AverageBitRateIsSplitOverTheChannels) {
    ConversionSettings settings{std::string()};
    settings.AACVBR = 0;
    settings.AACABRBitRate = 128;
    AacEncoderConfig stereo;
    AacEncoderOptions::forAac(settings).applyTo(stereo, 2);
    EXPECT_EQ(stereo.bitRate, 64000);
    settings.M4AVBR = 0;
    settings.M4AABRBitRate = 96;
    AacEncoderConfig mono;
    AacEncoderOptions::forMp4Family(settings).applyTo(mono, 1);
    EXPECT_EQ(mono.bitRate, 96000);
    // An odd total loses its remainder, as integer division does.
    settings.M4AABRBitRate = 1;
    AacEncoderConfig odd;
    AacEncoderOptions::forMp4Family(settings).applyTo(odd, 2);
    EXPECT_EQ(odd.bitRate, 500);
    // A stored value no encoder takes is refused by it instead of wrapping around.
    settings.M4AABRBitRate = 2147483647;
    AacEncoderConfig huge;
    AacEncoderOptions::forMp4Family(settings).applyTo(huge, 1);
    EXPECT_LT(huge.bitRate, 0);
}

TEST(AacEncoderOptions, SwitchesAndVersionFollowTheFamily) {
    ConversionSettings settings{std::string()};
    settings.AACMpegVersion = 1;
    settings.AACEnableTNS = 5;
    settings.AACEnableMidside = 0;
    settings.AACBlockType = 2;
    AacEncoderConfig aac;
    AacEncoderOptions::forAac(settings).applyTo(aac, 2);
    EXPECT_EQ(aac.mpegVersion, AacEncoderConfig::kMpeg2);
    EXPECT_EQ(aac.useTns, 1);
    EXPECT_EQ(aac.allowMidside, 0);
    EXPECT_EQ(aac.shortctl, AacEncoderConfig::kNoLongBlocks);

    // The MP4 family has no version of its own: the container stays MPEG-4.
    settings.M4ABlockType = 7; // never stored by the page; the encoder ignores block types
    AacEncoderConfig mp4;
    AacEncoderOptions::forMp4Family(settings).applyTo(mp4, 2);
    EXPECT_EQ(mp4.mpegVersion, AacEncoderConfig::kMpeg4);
    EXPECT_EQ(mp4.shortctl, AacEncoderConfig::kLongAndShortBlocks);
}

} // namespace
} // namespace velmora
