// The segment stage on its own: which frames of a source leave it, across every way blocks can
// fall on the segment's edges; the shape of its equal-power fades in both sample widths; and the
// fades' fitting and the time texts the two front ends share.

#include "engine/segment_filter.h"
#include "engine/segment_time.h"
#include "sources/audio_source.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace velmora {
namespace {

// At 1000 Hz a millisecond is a frame, so segments read as frame counts.
constexpr int kRate = 1000;

struct Planes {
    std::vector<int> left;
    std::vector<int> right;
};

// Feeds `source` through a filter in blocks of blockFrames, as the block loop does, stopping
// once the filter has ended, then drains it.
Planes runFilter(const Segment& segment, const Planes& source, int blockFrames, int bits = 16) {
    SegmentFilter filter(segment, kRate, 2, bits);
    std::vector<std::int16_t> left(AudioSource::kMaxFramesPerRead);
    std::vector<std::int16_t> right(AudioSource::kMaxFramesPerRead);
    Planes out;
    const auto collect = [&](int frames) {
        for (int i = 0; i < frames; ++i) {
            out.left.push_back(bits == 8 ? AudioSource::asBytes(left.data())[i] : left[i]);
            out.right.push_back(bits == 8 ? AudioSource::asBytes(right.data())[i] : right[i]);
        }
    };
    for (std::size_t at = 0; at < source.left.size() && !filter.ended();) {
        const int frames = static_cast<int>(
            std::min<std::size_t>(static_cast<std::size_t>(blockFrames), source.left.size() - at));
        for (int i = 0; i < frames; ++i) {
            if (bits == 8) {
                AudioSource::asBytes(left.data())[i] =
                    static_cast<std::uint8_t>(source.left[at + i]);
                AudioSource::asBytes(right.data())[i] =
                    static_cast<std::uint8_t>(source.right[at + i]);
            } else {
                left[i] = static_cast<std::int16_t>(source.left[at + i]);
                right[i] = static_cast<std::int16_t>(source.right[at + i]);
            }
        }
        collect(filter.take(left.data(), right.data(), frames));
        at += static_cast<std::size_t>(frames);
    }
    for (int frames;
         (frames = filter.drain(left.data(), right.data(), AudioSource::kMaxFramesPerRead)) > 0;)
        collect(frames);
    return out;
}

// Every frame different, the channels different from each other.
Planes numbered(int frames) {
    Planes planes;
    for (int i = 0; i < frames; ++i) {
        planes.left.push_back(i);
        planes.right.push_back(-i - 1);
    }
    return planes;
}

Planes constant(int frames, int value) {
    return {std::vector<int>(static_cast<std::size_t>(frames), value),
            std::vector<int>(static_cast<std::size_t>(frames), value)};
}

struct CutCase {
    Segment segment;
    int blockFrames;
    int firstFrame; // of the source, expected first in the output
    int frames;     // expected in the output
};

class SegmentCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(SegmentCut, KeepsExactlyTheSegmentsFramesInOrder) {
    const CutCase& c = GetParam();
    const Planes source = numbered(5000);
    const Planes out = runFilter(c.segment, source, c.blockFrames);
    ASSERT_EQ(out.left.size(), static_cast<std::size_t>(c.frames));
    for (int i = 0; i < c.frames; ++i) {
        ASSERT_EQ(out.left[i], c.firstFrame + i) << "frame " << i;
        ASSERT_EQ(out.right[i], -(c.firstFrame + i) - 1) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, SegmentCut,
    ::testing::Values(CutCase{{1500, 2000, 0, 0}, 1152, 1500, 2000},
                      CutCase{{1500, 2000, 0, 0}, 1, 1500, 2000},
                      CutCase{{1152, 1152, 0, 0}, 1152, 1152, 1152}, // on block edges
                      CutCase{{0, 7, 0, 0}, 1152, 0, 7},
                      CutCase{{4000, 3000, 0, 0}, 333, 4000, 1000}, // the source ends first
                      CutCase{{10, Segment::kToTheEndMs, 0, 0}, 1000, 10, 4990},
                      CutCase{{6000, 100, 0, 0}, 1152, 0, 0})); // starts after the end

// Equal power: half-way through a fade the gain is 1/sqrt(2) (-3 dB), not the 1/2 of a linear
// fade; a fade-in starts from silence and a fade-out ends in it.
TEST(SegmentFade, EqualPowerEnvelopeIn16And8Bits) {
    struct Width {
        int bits;
        int centre;
        int level;
    };
    for (const Width w : {Width{16, 0, 20000}, Width{8, 128, 100}}) {
        const int top = w.centre + w.level;
        const Planes out = runFilter({0, 1000, 200, 400}, constant(3000, top), 100, w.bits);
        ASSERT_EQ(out.left.size(), 1000u) << w.bits;
        const auto gainAt = [&](int frame) {
            return static_cast<double>(out.left[frame] - w.centre) / w.level;
        };
        const double tolerance = 1.0 / w.level;
        EXPECT_EQ(out.left.front(), w.centre) << w.bits;
        EXPECT_NEAR(gainAt(100), std::sqrt(0.5), tolerance) << w.bits;
        EXPECT_NEAR(gainAt(400), 1.0, tolerance) << w.bits; // between the fades
        EXPECT_NEAR(gainAt(799), std::sqrt(0.5), 2 * tolerance) << w.bits;
        EXPECT_EQ(out.left.back(), w.centre) << w.bits;
        for (int i = 1; i < 200; ++i)
            ASSERT_GE(out.left[i], out.left[i - 1]) << w.bits << " fade-in, frame " << i;
        for (int i = 601; i < 1000; ++i)
            ASSERT_LE(out.left[i], out.left[i - 1]) << w.bits << " fade-out, frame " << i;
        EXPECT_EQ(out.left, out.right) << w.bits;
    }
}

// The fade-out follows the material's real end when the source stops before the segment does.
TEST(SegmentFade, FadeOutEndsWithASourceShorterThanTheSegment) {
    const Planes out = runFilter({0, 60000, 0, 400}, constant(2500, 10000), 1152);
    ASSERT_EQ(out.left.size(), 2500u);
    EXPECT_EQ(out.left[2099], 10000);
    EXPECT_NEAR(out.left[2300] / 10000.0, std::cos(std::numbers::pi / 2 * 201 / 400), 1e-4);
    EXPECT_EQ(out.left.back(), 0);
}

TEST(SegmentFade, FadesLongerThanTheSegmentAreHalvedEach) {
    struct Case {
        Segment asked;
        std::int64_t fadeIn;
        std::int64_t fadeOut;
    };
    for (const Case& c :
         {Case{{0, 1000, 300, 700}, 300, 700}, // they just fit
          Case{{0, 1000, 800, 300}, 500, 300}, Case{{0, 1000, 5000, 5000}, 500, 500},
          Case{{0, 1001, 0, 2000}, 0, 500}, Case{{0, 1000, -5, 10}, 0, 10}}) {
        const Segment fitted = withFittingFades(c.asked);
        EXPECT_EQ(fitted.fadeInMs, c.fadeIn) << c.asked.fadeInMs << "/" << c.asked.fadeOutMs;
        EXPECT_EQ(fitted.fadeOutMs, c.fadeOut) << c.asked.fadeInMs << "/" << c.asked.fadeOutMs;
    }
}

TEST(SegmentTimeText, ParsesSecondsAndClockTimesAndRefusesTheRest) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> ms;
    };
    for (const Case& c :
         {Case{"45", 45000}, Case{"1.5", 1500}, Case{"0.25", 250}, Case{"0:45", 45000},
          Case{"2:03.250", 123250}, Case{"90:00", 5400000}, Case{"1:02:03", 3723000}, Case{"0", 0},
          Case{"", {}}, Case{"-1", {}}, Case{"1:60", {}}, Case{"1:75:00", {}}, Case{"1.2345", {}},
          Case{"1.", {}}, Case{".5", {}}, Case{"1:2:3:4", {}}, Case{"ab", {}}, Case{"+5", {}},
          Case{"99999999999999", {}}}) {
        EXPECT_EQ(SegmentTime::parse(c.text), c.ms) << '"' << c.text << '"';
    }
    EXPECT_EQ(SegmentTime::format(45000), "0:45");
    EXPECT_EQ(SegmentTime::format(123250), "2:03.250");
    EXPECT_EQ(SegmentTime::format(3723000), "1:02:03");
    EXPECT_EQ(SegmentTime::parse(SegmentTime::format(3599999)), 3599999);
}

} // namespace
} // namespace velmora
