// The level scan of a file made here, and the loudest-part search on profiles whose windows are
// set by hand: the loudest stretch wins, its start moves back to a quiet window only within 2 s,
// and the stretch always ends inside the material.

#include "engine/level_scan.h"
#include "tests/unit/ringtone_test_file.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <tuple>

namespace velmora {
namespace {

// Windows of 100 ms: `count` at `base`, with runs of other levels laid over them.
LevelProfile profile(int count, float base, std::vector<std::tuple<int, int, float>> runs = {}) {
    LevelProfile levels;
    levels.windowMs = 100;
    levels.rms.assign(static_cast<std::size_t>(count), base);
    levels.peak = levels.rms;
    for (const auto& [first, end, level] : runs)
        for (int i = first; i < end; ++i)
            levels.rms[static_cast<std::size_t>(i)] = level;
    levels.durationMs = count * 100;
    return levels;
}

TEST(LoudestStart, FindsTheLoudStretchAndItsQuietLeadIn) {
    // What the row shows, the levels, the length wanted and the start expected.
    using Case = std::tuple<const char*, LevelProfile, std::int64_t, std::int64_t>;
    for (const auto& [what, levels, lengthMs, startMs] :
         {Case{"quiet window right before", profile(300, 0.1f, {{100, 150, 0.8f}}), 3000, 9900},
          Case{"quiet 1.6 s back, medium between",
               profile(300, 0.5f, {{84, 85, 0.05f}, {100, 150, 0.8f}}), 3000, 8400},
          Case{"quiet 2.6 s back is too far",
               profile(300, 0.5f, {{74, 75, 0.05f}, {100, 150, 0.8f}}), 3000, 10000},
          Case{"loud at the very end", profile(200, 0.1f, {{170, 200, 0.9f}}), 3000, 16900},
          Case{"material not longer than the part", profile(300, 0.1f), 30000, 0},
          Case{"all equally loud: the beginning", profile(300, 0.4f), 3000, 0}})
        EXPECT_EQ(suggestLoudestStart(levels, lengthMs), startMs) << what;
}

using LevelScanTest = test::SandboxTest;

TEST_F(LevelScanTest, MeasuresEachWindowAndFindsTheLoudPart) {
    test::writeFileBytes(path("song.wav"),
                         test::stretchesWav({{5.8, 0.05}, {0.2, 0.0}, {2.5, 0.8}, {1.5, 0.05}}));
    std::string note;
    std::vector<int> percents;
    const auto levels = LevelScan::scan(
        test::wavEntry(path("song.wav").string()), 100,
        [&](int percent) {
            percents.push_back(percent);
            return true;
        },
        note);
    ASSERT_TRUE(levels) << note;
    EXPECT_EQ(levels->durationMs, 10000);
    ASSERT_EQ(levels->rms.size(), 100u);
    ASSERT_EQ(levels->peak.size(), 100u);
    EXPECT_NEAR(levels->rms[30], 0.05 / std::sqrt(2.0), 1e-3);
    EXPECT_EQ(levels->rms[58], 0.0f);
    EXPECT_NEAR(levels->rms[70], 0.8 / std::sqrt(2.0), 1e-3);
    EXPECT_NEAR(levels->peak[70], 0.8, 1e-3);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(suggestLoudestStart(*levels, 2000), 5900);
}

TEST_F(LevelScanTest, CancelAndUnreadableFilesGiveNoProfile) {
    test::writeFileBytes(path("song.wav"), test::stretchesWav({{3.0, 0.5}}));
    std::string note = "stale";
    EXPECT_FALSE(LevelScan::scan(
        test::wavEntry(path("song.wav").string()), 100, [](int) { return false; }, note));
    EXPECT_EQ(note, "");

    test::writeFileBytes(path("noise.wav"), std::vector<std::uint8_t>(100, 0x5A));
    EXPECT_FALSE(LevelScan::scan(test::wavEntry(path("noise.wav").string()), 100, {}, note));
    EXPECT_NE(note, "");
}

} // namespace
} // namespace velmora
