// The segment stage on its own: which frames of a source leave it, across every way blocks can
// fall on the segment's edges; the shape of its equal-power fades in both sample widths; and the
// fades' fitting and the time texts the two front ends share.

#include "engine/segment_filter.h"
#include "engine/segment_time.h"
#include "sources/audio_source.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <tuple>
#include <vector>

namespace velmora {
namespace {

// At 1000 Hz a millisecond is a frame, so segments read as frame counts.
constexpr int kRate = 1000;

using Planes = std::array<std::vector<int>, 2>; // left, right

// Feeds `source` through a filter in blocks of blockFrames, as the block loop does, stopping
// once the filter has ended, then drains it.
Planes runFilter(const Segment& segment, const Planes& source, int blockFrames, int bits = 16) {
    SegmentFilter filter(segment, kRate, 2, bits);
    std::array<std::vector<std::int16_t>, 2> buffers;
    for (auto& buffer : buffers)
        buffer.resize(AudioSource::kMaxFramesPerRead);
    const auto bytes = [&](int c) { return AudioSource::asBytes(buffers[c].data()); };
    Planes out;
    const auto collect = [&](int frames) {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i)
                out[c].push_back(bits == 8 ? bytes(c)[i] : buffers[c][i]);
    };
    for (std::size_t at = 0; at < source[0].size() && !filter.ended();) {
        const int frames = static_cast<int>(
            std::min<std::size_t>(static_cast<std::size_t>(blockFrames), source[0].size() - at));
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i)
                if (bits == 8)
                    bytes(c)[i] = static_cast<std::uint8_t>(source[c][at + i]);
                else
                    buffers[c][i] = static_cast<std::int16_t>(source[c][at + i]);
        collect(filter.take(buffers[0].data(), buffers[1].data(), frames));
        at += static_cast<std::size_t>(frames);
    }
    for (int frames; (frames = filter.drain(buffers[0].data(), buffers[1].data(),
                                            AudioSource::kMaxFramesPerRead)) > 0;)
        collect(frames);
    return out;
}

Planes constant(int frames, int value) {
    const std::vector<int> plane(static_cast<std::size_t>(frames), value);
    return {plane, plane};
}

TEST(SegmentCut, KeepsExactlyTheSegmentsFramesInOrder) {
    Planes source; // every frame different, the channels different from each other
    for (int i = 0; i < 5000; ++i) {
        source[0].push_back(i);
        source[1].push_back(-i - 1);
    }
    // The segment, the blocks it is fed in, the source's frame expected first in the output and
    // how many frames the output holds: edges inside blocks, on block edges, a source that ends
    // first, a segment to the end, and one that starts after the end.
    using Case = std::tuple<Segment, int, int, int>;
    for (const auto& [segment, blockFrames, firstFrame, frames] :
         {Case{{1500, 2000, 0, 0}, 1152, 1500, 2000}, Case{{1500, 2000, 0, 0}, 1, 1500, 2000},
          Case{{1152, 1152, 0, 0}, 1152, 1152, 1152}, Case{{0, 7, 0, 0}, 1152, 0, 7},
          Case{{4000, 3000, 0, 0}, 333, 4000, 1000},
          Case{{10, Segment::kToTheEndMs, 0, 0}, 1000, 10, 4990},
          Case{{6000, 100, 0, 0}, 1152, 0, 0}}) {
        SCOPED_TRACE(::testing::Message() << segment.startMs << "+" << segment.lengthMs
                                          << " in blocks of " << blockFrames);
        const Planes out = runFilter(segment, source, blockFrames);
        ASSERT_EQ(out[0].size(), static_cast<std::size_t>(frames));
        for (int i = 0; i < frames; ++i) {
            ASSERT_EQ(out[0][i], firstFrame + i) << "frame " << i;
            ASSERT_EQ(out[1][i], -(firstFrame + i) - 1) << "frame " << i;
        }
    }
}

// Equal power: half-way through a fade the gain is 1/sqrt(2) (-3 dB), not the 1/2 of a linear
// fade; a fade-in starts from silence and a fade-out ends in it.
TEST(SegmentFade, EqualPowerEnvelopeIn16And8Bits) {
    // bits, the sample of silence, the level of the constant signal
    for (const auto& [bits, centre, level] : {std::tuple{16, 0, 20000}, std::tuple{8, 128, 100}}) {
        SCOPED_TRACE(bits);
        const Planes out =
            runFilter({0, 1000, 200, 400}, constant(3000, centre + level), 100, bits);
        const std::vector<int>& left = out[0];
        ASSERT_EQ(left.size(), 1000u);
        const auto gainAt = [&](int frame) {
            return static_cast<double>(left[frame] - centre) / level;
        };
        const double tolerance = 1.0 / level;
        EXPECT_EQ(left.front(), centre);
        EXPECT_NEAR(gainAt(100), std::sqrt(0.5), tolerance);
        EXPECT_NEAR(gainAt(400), 1.0, tolerance); // between the fades
        EXPECT_NEAR(gainAt(799), std::sqrt(0.5), 2 * tolerance);
        EXPECT_EQ(left.back(), centre);
        for (int i = 1; i < 200; ++i)
            ASSERT_GE(left[i], left[i - 1]) << "fade-in, frame " << i;
        for (int i = 601; i < 1000; ++i)
            ASSERT_LE(left[i], left[i - 1]) << "fade-out, frame " << i;
        EXPECT_EQ(out[0], out[1]);
    }
}

// The fade-out follows the material's real end when the source stops before the segment does.
TEST(SegmentFade, FadeOutEndsWithASourceShorterThanTheSegment) {
    const std::vector<int> left = runFilter({0, 60000, 0, 400}, constant(2500, 10000), 1152)[0];
    ASSERT_EQ(left.size(), 2500u);
    EXPECT_EQ(left[2099], 10000);
    EXPECT_NEAR(left[2300] / 10000.0, std::cos(std::numbers::pi / 2 * 201 / 400), 1e-4);
    EXPECT_EQ(left.back(), 0);
}

TEST(SegmentFade, FadesLongerThanTheSegmentAreHalvedEach) {
    // The segment asked for (the first one's fades just fit), then the fades expected.
    using Case = std::tuple<Segment, int, int>;
    for (const auto& [asked, fadeIn, fadeOut] :
         {Case{{0, 1000, 300, 700}, 300, 700}, Case{{0, 1000, 800, 300}, 500, 300},
          Case{{0, 1000, 5000, 5000}, 500, 500}, Case{{0, 1001, 0, 2000}, 0, 500},
          Case{{0, 1000, -5, 10}, 0, 10}}) {
        SCOPED_TRACE(::testing::Message() << asked.fadeInMs << "/" << asked.fadeOutMs);
        EXPECT_EQ(withFittingFades(asked).fadeInMs, fadeIn);
        EXPECT_EQ(withFittingFades(asked).fadeOutMs, fadeOut);
    }
}

TEST(SegmentTimeText, ParsesSecondsAndClockTimesAndRefusesTheRest) {
    using Case = std::pair<const char*, std::int64_t>;
    for (const auto& [text, ms] :
         {Case{"45", 45000}, Case{"1.5", 1500}, Case{"0.25", 250}, Case{"0:45", 45000},
          Case{"2:03.250", 123250}, Case{"90:00", 5400000}, Case{"1:02:03", 3723000}, Case{"0", 0}})
        EXPECT_EQ(SegmentTime::parse(text), ms) << text;
    for (const char* text : {"", "-1", "1:60", "1:75:00", "1.2345", "1.", ".5", "1:2:3:4", "ab",
                             "+5", "99999999999999"})
        EXPECT_EQ(SegmentTime::parse(text), std::nullopt) << '"' << text << '"';
    EXPECT_EQ(SegmentTime::format(45000), "0:45");
    EXPECT_EQ(SegmentTime::format(123250), "2:03.250");
    EXPECT_EQ(SegmentTime::format(3723000), "1:02:03");
    EXPECT_EQ(SegmentTime::parse(SegmentTime::format(3599999)), 3599999);
}

} // namespace
} // namespace velmora
