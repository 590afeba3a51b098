#include "engine/pcm_converter.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <vector>

namespace velmora {
namespace {

constexpr int kBlock = PcmConverter::kMaxBlockFrames;
// Bytes past the caller's capacity that must stay untouched.
constexpr std::size_t kGuardBytes = 64;
constexpr std::uint8_t kSentinel = 0xA5;

// Samples of either width as raw bytes, so one helper serves 8- and 16-bit buffers.
std::vector<std::uint8_t> toBytes(const std::vector<int>& samples, int bits) {
    std::vector<std::uint8_t> bytes;
    for (const int s : samples) {
        if (bits == 16) {
            const auto v = static_cast<std::int16_t>(s);
            const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
            bytes.insert(bytes.end(), p, p + 2);
        } else {
            bytes.push_back(static_cast<std::uint8_t>(s));
        }
    }
    return bytes;
}

std::vector<int> fromBytes(const std::uint8_t* bytes, int count, int bits) {
    std::vector<int> samples;
    for (int i = 0; i < count; ++i) {
        if (bits == 16) {
            std::int16_t v = 0;
            std::memcpy(&v, bytes + 2 * i, 2);
            samples.push_back(v);
        } else {
            samples.push_back(bytes[i]);
        }
    }
    return samples;
}

// A caller-side output buffer of outputCapacity() samples followed by a guard zone. Backed by
// int16_t storage like the routine's buffers, so 16-bit samples are aligned.
class OutBuffer {
public:
    OutBuffer(int capacitySamples, int bits)
        : m_capacityBytes(static_cast<std::size_t>(capacitySamples) * (bits == 16 ? 2 : 1)),
          m_storage((m_capacityBytes + kGuardBytes) / 2 + 1) {
        std::memset(m_storage.data(), kSentinel, m_storage.size() * 2);
    }
    std::int16_t* data() { return m_storage.data(); }
    const std::uint8_t* bytes() const {
        return reinterpret_cast<const std::uint8_t*>(m_storage.data());
    }
    bool untouchedFrom(std::size_t byteOffset) const {
        for (std::size_t i = byteOffset; i < m_storage.size() * 2; ++i)
            if (bytes()[i] != kSentinel)
                return false;
        return true;
    }
    bool guardIntact() const { return untouchedFrom(m_capacityBytes); }

private:
    std::size_t m_capacityBytes;
    std::vector<std::int16_t> m_storage;
};

TEST(PcmConverterTest, FormatFieldsStartUnset) {
    PcmConverter converter;
    EXPECT_EQ(converter.inChannels(), -1);
    EXPECT_EQ(converter.inRate(), -1);
    EXPECT_EQ(converter.inBits(), -1);
    EXPECT_EQ(converter.outChannels(), -1);
    EXPECT_EQ(converter.outRate(), -1);
    EXPECT_EQ(converter.outBits(), -1);
    EXPECT_EQ(converter.resamplerCount(), 0);
    std::int16_t in[4] = {1, 2, 3, 4};
    std::int16_t out[4] = {};
    EXPECT_EQ(converter.process(in, nullptr, 4, out, nullptr), 0);
}

TEST(PcmConverterTest, SetupRefusesFormatsOutsideTheChain) {
    struct Case {
        int inChannels, inRate, inBits, outChannels, outRate, outBits;
    };
    const Case cases[] = {
        {0, 44100, 16, 2, 44100, 16}, {3, 44100, 16, 2, 44100, 16}, {2, 44100, 16, 0, 44100, 16},
        {2, 44100, 24, 2, 44100, 16}, {2, 44100, 16, 2, 44100, 12}, {2, 0, 16, 2, 44100, 16},
        {2, 44100, 16, 2, -8000, 16}, {-1, -1, -1, -1, -1, -1},
    };
    for (const Case& c : cases) {
        PcmConverter converter;
        converter.setInputFormat(c.inChannels, c.inRate, c.inBits);
        converter.setOutputFormat(c.outChannels, c.outRate, c.outBits);
        EXPECT_FALSE(converter.setup())
            << c.inChannels << "/" << c.inRate << "/" << c.inBits << " -> " << c.outChannels << "/"
            << c.outRate << "/" << c.outBits;
        EXPECT_EQ(converter.resamplerCount(), 0);
    }
}

TEST(PcmConverterTest, OutputCapacityUsesIntegerRateRatio) {
    EXPECT_EQ(PcmConverter::outputCapacity(22050, 44100), 3 * 1152);
    EXPECT_EQ(PcmConverter::outputCapacity(44100, 8000), 1152);
    EXPECT_EQ(PcmConverter::outputCapacity(8000, 44100), 6 * 1152);
    EXPECT_EQ(PcmConverter::outputCapacity(44100, 48000), 2 * 1152);
    EXPECT_EQ(PcmConverter::outputCapacity(44100, 44100), 2 * 1152);
}

struct EqualRateCase {
    std::string name;
    int inChannels, inBits, outChannels, outBits;
    std::vector<int> in0, in1;
    std::vector<int> out0, out1; // out1 empty for mono output
};

TEST(PcmConverterTest, EqualRatesConvertWidthThenChannels) {
    const std::vector<EqualRateCase> cases = {
        // (u - 128) * 256 first, then the signed sum shifted right by one.
        {"8-bit stereo to 16-bit mono",
         2,
         8,
         1,
         16,
         {0, 128, 255, 1, 200},
         {1, 129, 0, 0, 56},
         {-32640, 128, -128, -32640, 0},
         {}},
        // The shift rounds negative odd sums down (-3 >> 1 is -2), unlike a division.
        {"16-bit stereo to mono, odd sums",
         2,
         16,
         1,
         16,
         {-3, -1, 32767, -32768, 5, -32768},
         {0, 0, 32767, -32767, -2, -32768},
         {-2, -1, 32767, -32768, 1, -32768},
         {}},
        {"16 to 8 bits mono",
         1,
         16,
         1,
         8,
         {-32768, -1, 0, 255, 256, 32767, -129},
         {},
         {0, 127, 128, 128, 129, 255, 127},
         {}},
        // The unsigned sum: 255 + 255 must not become a negative byte sum.
        {"8-bit stereo to 8-bit mono",
         2,
         8,
         1,
         8,
         {255, 255, 1, 128, 200},
         {255, 0, 0, 129, 100},
         {255, 127, 0, 128, 150},
         {}},
        // Narrowed first: 511 -> 129 and 1 -> 128 mix to 128 (mixing at 16 bits gives 129).
        {"16-bit stereo to 8-bit mono",
         2,
         16,
         1,
         8,
         {32767, -32768, 511},
         {32767, 32767, 1},
         {255, 127, 128},
         {}},
        {"16-bit mono to stereo",
         1,
         16,
         2,
         16,
         {1, -2, 32767, -32768},
         {},
         {1, -2, 32767, -32768},
         {1, -2, 32767, -32768}},
        {"8-bit mono to stereo", 1, 8, 2, 8, {0, 128, 255}, {}, {0, 128, 255}, {0, 128, 255}},
        {"8-bit mono to 16-bit stereo",
         1,
         8,
         2,
         16,
         {0, 128, 255, 127},
         {},
         {-32768, 0, 32512, -256},
         {-32768, 0, 32512, -256}},
        {"16 to 8 bits stereo", 2, 16, 2, 8, {-32768, 32767}, {256, -1}, {0, 255}, {129, 127}},
        {"8 to 16 bits stereo", 2, 8, 2, 16, {0, 255}, {128, 1}, {-32768, 32512}, {0, -32512}},
        {"16-bit stereo unchanged", 2, 16, 2, 16, {5, -6}, {-7, 8}, {5, -6}, {-7, 8}},
    };
    for (const EqualRateCase& c : cases) {
        SCOPED_TRACE(c.name);
        PcmConverter converter;
        converter.setInputFormat(c.inChannels, 22050, c.inBits);
        converter.setOutputFormat(c.outChannels, 22050, c.outBits);
        ASSERT_TRUE(converter.setup());
        EXPECT_FALSE(converter.resampling());
        EXPECT_EQ(converter.resamplerCount(), 0);

        const auto in0 = toBytes(c.in0, c.inBits);
        const auto in1 = toBytes(c.in1, c.inBits);
        const int capacity = PcmConverter::outputCapacity(22050, 22050);
        OutBuffer out0(capacity, c.outBits);
        OutBuffer out1(capacity, c.outBits);
        const int count = static_cast<int>(c.in0.size());
        const int outCount = converter.process(in0.data(), c.inChannels == 2 ? in1.data() : nullptr,
                                               count, out0.data(), out1.data());
        ASSERT_EQ(outCount, count);
        const std::size_t width = c.outBits == 16 ? 2 : 1;
        EXPECT_EQ(fromBytes(out0.bytes(), outCount, c.outBits), c.out0);
        EXPECT_TRUE(out0.untouchedFrom(width * static_cast<std::size_t>(outCount)));
        if (c.outChannels == 2) {
            EXPECT_EQ(fromBytes(out1.bytes(), outCount, c.outBits), c.out1);
            EXPECT_TRUE(out1.untouchedFrom(width * static_cast<std::size_t>(outCount)));
        } else {
            EXPECT_TRUE(out1.untouchedFrom(0)) << "mono output wrote the second buffer";
        }
        EXPECT_EQ(converter.finish(out0.data(), out1.data()), 0);
    }
}

TEST(PcmConverterTest, ProcessRefusesBlocksOutsideItsLimits) {
    PcmConverter converter;
    converter.setInputFormat(2, 44100, 16);
    converter.setOutputFormat(2, 44100, 16);
    ASSERT_TRUE(converter.setup());
    std::vector<std::int16_t> in(kBlock + 1, 1);
    std::vector<std::int16_t> out0(kBlock + 1), out1(kBlock + 1);
    EXPECT_EQ(converter.process(in.data(), in.data(), 0, out0.data(), out1.data()), 0);
    EXPECT_EQ(converter.process(in.data(), in.data(), kBlock + 1, out0.data(), out1.data()), 0);
    EXPECT_EQ(converter.process(in.data(), nullptr, 4, out0.data(), out1.data()), 0);
    EXPECT_EQ(converter.process(in.data(), in.data(), 4, out0.data(), nullptr), 0);
    EXPECT_EQ(converter.process(in.data(), in.data(), kBlock, out0.data(), out1.data()), kBlock);
}

std::vector<int> sine(int frames, double frequency, int rate, double amplitude) {
    std::vector<int> samples(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i)
        samples[static_cast<std::size_t>(i)] = static_cast<int>(
            std::lround(amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / rate)));
    return samples;
}

struct Resampled {
    std::vector<int> channel[2];
    int largestBlock = 0;
    bool guardsIntact = true;
};

// Feeds whole signals through `converter` block by block, the way the routine does, and
// collects every output sample. `finish` adds the drained tail.
Resampled runThrough(PcmConverter& converter, const std::vector<int>& in0,
                     const std::vector<int>& in1, bool finish, int blockFrames = kBlock) {
    const int inBits = converter.inBits();
    const int outBits = converter.outBits();
    const int capacity = PcmConverter::outputCapacity(converter.inRate(), converter.outRate());
    const auto bytes0 = toBytes(in0, inBits);
    const auto bytes1 = toBytes(in1, inBits);
    const std::size_t inWidth = inBits == 16 ? 2 : 1;
    Resampled result;
    auto collect = [&](int outCount, OutBuffer& out0, OutBuffer& out1) {
        result.largestBlock = std::max(result.largestBlock, outCount);
        result.guardsIntact = result.guardsIntact && out0.guardIntact() && out1.guardIntact();
        for (const int s : fromBytes(out0.bytes(), outCount, outBits))
            result.channel[0].push_back(s);
        if (converter.outChannels() == 2)
            for (const int s : fromBytes(out1.bytes(), outCount, outBits))
                result.channel[1].push_back(s);
    };
    const int frames = static_cast<int>(in0.size());
    for (int start = 0; start < frames; start += blockFrames) {
        const int count = std::min(blockFrames, frames - start);
        OutBuffer out0(capacity, outBits);
        OutBuffer out1(capacity, outBits);
        const auto offset = static_cast<std::size_t>(start) * inWidth;
        // Copies so that a read past `count` would hit ASan instead of the next block.
        const std::vector<std::uint8_t> block0(bytes0.begin() + static_cast<long>(offset),
                                               bytes0.begin() +
                                                   static_cast<long>(offset + count * inWidth));
        std::vector<std::uint8_t> block1;
        if (!in1.empty())
            block1.assign(bytes1.begin() + static_cast<long>(offset),
                          bytes1.begin() + static_cast<long>(offset + count * inWidth));
        collect(converter.process(block0.data(), in1.empty() ? nullptr : block1.data(), count,
                                  out0.data(), out1.data()),
                out0, out1);
    }
    if (finish) {
        OutBuffer out0(capacity, outBits);
        OutBuffer out1(capacity, outBits);
        collect(converter.finish(out0.data(), out1.data()), out0, out1);
    }
    return result;
}

// Frequency in Hz of a sine, from its sign changes between `from` and `to`.
double measuredFrequency(const std::vector<int>& samples, int rate, std::size_t from,
                         std::size_t to) {
    int crossings = 0;
    std::size_t first = 0, last = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0)) {
            if (crossings == 0)
                first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    // Crossings are half a period apart.
    return (crossings - 1) / 2.0 * rate / static_cast<double>(last - first);
}

TEST(PcmConverterTest, MonoToStereoUpsamplingUsesOneStateAndCopiesTheChannel) {
    PcmConverter converter;
    converter.setInputFormat(1, 22050, 16);
    converter.setOutputFormat(2, 44100, 16);
    ASSERT_TRUE(converter.setup());
    EXPECT_TRUE(converter.resampling());
    EXPECT_DOUBLE_EQ(converter.factor(), 2.0);
    EXPECT_EQ(converter.resamplerCount(), 1);

    const int frames = 22050;
    const auto in = sine(frames, 1000.0, 22050, 12000.0);
    const Resampled out = runThrough(converter, in, {}, true);
    EXPECT_TRUE(out.guardsIntact);
    EXPECT_LE(out.largestBlock, 3 * 1152);
    EXPECT_EQ(out.channel[0], out.channel[1]);
    EXPECT_NEAR(static_cast<double>(out.channel[0].size()), 2.0 * frames, 1.0);
    EXPECT_NEAR(measuredFrequency(out.channel[0], 44100, 1000, out.channel[0].size() - 1000),
                1000.0, 2.0);
}

TEST(PcmConverterTest, StereoKeepsEachChannelsFrequency) {
    PcmConverter converter;
    converter.setInputFormat(2, 44100, 16);
    converter.setOutputFormat(2, 32000, 16);
    ASSERT_TRUE(converter.setup());
    EXPECT_EQ(converter.resamplerCount(), 2);

    const int frames = 44100;
    const Resampled out = runThrough(converter, sine(frames, 500.0, 44100, 10000.0),
                                     sine(frames, 1500.0, 44100, 10000.0), true);
    EXPECT_TRUE(out.guardsIntact);
    ASSERT_EQ(out.channel[0].size(), out.channel[1].size());
    ASSERT_NEAR(static_cast<double>(out.channel[0].size()), 32000.0, 1.0);
    const std::size_t end = out.channel[0].size() - 1000;
    EXPECT_NEAR(measuredFrequency(out.channel[0], 32000, 1000, end), 500.0, 1.0);
    EXPECT_NEAR(measuredFrequency(out.channel[1], 32000, 1000, end), 1500.0, 3.0);
    // Amplitude survives the filter (passband well below both Nyquist rates).
    int peak = 0;
    for (std::size_t i = 1000; i < end; ++i)
        peak = std::max(peak, std::abs(out.channel[1][i]));
    EXPECT_NEAR(peak, 10000 * 32767.0 / 32768.0, 100.0);
}

TEST(PcmConverterTest, StereoToMonoMixesBeforeResampling) {
    const int frames = 5000;
    std::vector<int> left = sine(frames, 300.0, 48000, 20000.0);
    std::vector<int> right = sine(frames, 2100.0, 48000, 15000.0);
    right[10] = -3; // odd negative sums must round down in the mix
    left[10] = 0;
    std::vector<int> mixed(frames);
    for (int i = 0; i < frames; ++i)
        mixed[static_cast<std::size_t>(i)] = static_cast<int>(std::floor(
            (left[static_cast<std::size_t>(i)] + right[static_cast<std::size_t>(i)]) / 2.0));

    PcmConverter stereo;
    stereo.setInputFormat(2, 48000, 16);
    stereo.setOutputFormat(1, 44100, 16);
    ASSERT_TRUE(stereo.setup());
    EXPECT_EQ(stereo.resamplerCount(), 1);
    PcmConverter mono;
    mono.setInputFormat(1, 48000, 16);
    mono.setOutputFormat(1, 44100, 16);
    ASSERT_TRUE(mono.setup());

    const Resampled fromStereo = runThrough(stereo, left, right, true);
    const Resampled fromMono = runThrough(mono, mixed, {}, true);
    ASSERT_FALSE(fromStereo.channel[0].empty());
    EXPECT_EQ(fromStereo.channel[0], fromMono.channel[0]);
    EXPECT_TRUE(fromStereo.channel[1].empty());
}

struct LengthCase {
    int inRate, outRate;
};

TEST(PcmConverterTest, FinishDeliversTheHeldBackTail) {
    const LengthCase cases[] = {{44100, 8000},  {22050, 44100}, {8000, 48000},
                                {48000, 44100}, {11025, 22050}, {10000, 19999}};
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.inRate) + " -> " + std::to_string(c.outRate));
        const int frames = 3 * c.inRate + 17;
        const auto in = sine(frames, 440.0, c.inRate, 8000.0);
        const double expected = std::round(static_cast<double>(frames) * c.outRate / c.inRate);

        PcmConverter finished;
        finished.setInputFormat(1, c.inRate, 16);
        finished.setOutputFormat(1, c.outRate, 16);
        ASSERT_TRUE(finished.setup());
        const Resampled full = runThrough(finished, in, {}, true);
        EXPECT_TRUE(full.guardsIntact);
        EXPECT_LE(full.largestBlock, PcmConverter::outputCapacity(c.inRate, c.outRate));
        EXPECT_NEAR(static_cast<double>(full.channel[0].size()), expected, 1.0);

        PcmConverter unfinished;
        unfinished.setInputFormat(1, c.inRate, 16);
        unfinished.setOutputFormat(1, c.outRate, 16);
        ASSERT_TRUE(unfinished.setup());
        const Resampled cut = runThrough(unfinished, in, {}, false);
        EXPECT_LT(static_cast<double>(cut.channel[0].size()), expected - 5.0);
        // The drained tail continues the same signal: the shorter run is a prefix.
        EXPECT_TRUE(
            std::equal(cut.channel[0].begin(), cut.channel[0].end(), full.channel[0].begin()));
    }
}

TEST(PcmConverterTest, FinishIsOnceAndSetupStartsOver) {
    PcmConverter converter;
    converter.setInputFormat(1, 44100, 16);
    converter.setOutputFormat(1, 8000, 16);
    ASSERT_TRUE(converter.setup());
    const auto in = sine(4000, 440.0, 44100, 8000.0);
    const Resampled first = runThrough(converter, in, {}, true);
    std::vector<std::int16_t> out(
        static_cast<std::size_t>(PcmConverter::outputCapacity(44100, 8000)));
    EXPECT_EQ(converter.finish(out.data(), nullptr), 0);
    std::vector<std::int16_t> block(kBlock, 100);
    EXPECT_EQ(converter.process(block.data(), nullptr, kBlock, out.data(), nullptr), 0);

    ASSERT_TRUE(converter.setup());
    const Resampled second = runThrough(converter, in, {}, true);
    EXPECT_EQ(first.channel[0], second.channel[0]);
}

struct LevelCase {
    int inBits;
    int inValue;
    int outBits;
    int expected;  // steady-state output for a constant input
    int tolerance; // the filter's DC gain is 1 within 0.1 %
};

// Float mapping while resampling: 16-bit s / 32768, 8-bit (u - 128) / 128; back with y x 32767
// or y x 127 + 128, truncated toward zero.
TEST(PcmConverterTest, ResamplingMapsSampleWidthsThroughFloat) {
    const LevelCase cases[] = {
        {16, 16384, 16, 16383, 16}, // 0.5 x 32767 = 16383.5
        {16, -16384, 16, -16383, 16},
        {8, 192, 16, 16383, 16}, // (192 - 128) / 128 = 0.5
        {8, 0, 16, -32766, 1},   // -1 x 32767, never -32768; the gain may be a hair below 1
        {16, 16384, 8, 191, 0},  // 63.5 -> 63, + 128
        {16, -16384, 8, 65, 0},  // -63.5 -> -63, + 128
        {8, 64, 8, 65, 0},
        {8, 160, 8, 159, 0}, // 0.25 x 127 = 31.75 -> 31
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.inBits) + "-bit " + std::to_string(c.inValue) + " -> " +
                     std::to_string(c.outBits) + "-bit");
        PcmConverter converter;
        converter.setInputFormat(1, 22050, c.inBits);
        converter.setOutputFormat(1, 16000, c.outBits);
        ASSERT_TRUE(converter.setup());
        const Resampled out = runThrough(converter, std::vector<int>(8000, c.inValue), {}, true);
        ASSERT_GT(out.channel[0].size(), 2000u);
        // Away from both ends, where the filter sees only the constant.
        for (std::size_t i = 500; i < out.channel[0].size() - 500; ++i)
            ASSERT_NEAR(out.channel[0][i], c.expected, c.tolerance) << "at output sample " << i;
    }
}

TEST(PcmConverterTest, FilterOvershootIsClampedNotWrapped) {
    for (const int outBits : {16, 8}) {
        SCOPED_TRACE(std::to_string(outBits) + "-bit output");
        // A full-scale square wave, 100 samples high, 100 low: the filter rings past full scale
        // at every edge.
        std::vector<int> square(20000);
        for (std::size_t i = 0; i < square.size(); ++i)
            square[i] = (i / 100) % 2 == 0 ? 32767 : -32768;
        PcmConverter converter;
        converter.setInputFormat(1, 44100, 16);
        converter.setOutputFormat(1, 48000, outBits);
        ASSERT_TRUE(converter.setup());
        const Resampled out = runThrough(converter, square, {}, true);
        const int high = outBits == 16 ? 32767 : 255;
        const int low = outBits == 16 ? -32767 : 1;
        const int middle = outBits == 16 ? 0 : 128;
        const double factor = 48000.0 / 44100.0;
        int atHigh = 0, atLow = 0;
        for (std::size_t j = 0; j < out.channel[0].size(); ++j) {
            const int s = out.channel[0][j];
            ASSERT_GE(s, low);
            ASSERT_LE(s, high);
            atHigh += s == high;
            atLow += s == low;
            const double phase = std::fmod(static_cast<double>(j) / factor, 200.0);
            if (phase > 30.0 && phase < 70.0) {
                ASSERT_GT(s, middle) << "positive half wrapped at " << j;
            }
            if (phase > 130.0 && phase < 170.0) {
                ASSERT_LT(s, middle) << "negative half wrapped at " << j;
            }
        }
        // Ringing reaches full scale in both directions and is held there.
        EXPECT_GT(atHigh, 100);
        EXPECT_GT(atLow, 100);
    }
}

} // namespace
} // namespace velmora
