#include "engine/amplifier.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace velmora {
namespace {

TEST(AmplifierTest, InUseOnlyWhenEnabledAndNotUnity) {
    struct Case {
        bool enabled;
        int coefficient;
        bool expected;
    };
    const Case cases[] = {
        {true, 100, false}, {false, 100, false}, {false, 101, false},
        {true, 101, true},  {true, 99, true},    {true, 0, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Amplifier::inUse(c.enabled, c.coefficient), c.expected)
            << "enabled " << c.enabled << " coefficient " << c.coefficient;
}

TEST(AmplifierTest, FactorIsHundredthOfCoefficient) {
    EXPECT_FLOAT_EQ(Amplifier(101).factor(), 1.01f);
    EXPECT_FLOAT_EQ(Amplifier(250).factor(), 2.5f);
    EXPECT_FLOAT_EQ(Amplifier(0).factor(), 0.0f);
}

struct Case16 {
    int coefficient;
    std::int16_t in;
    std::int16_t expected;
};

TEST(AmplifierTest, Amplify16TruncatesTowardZeroAndClipsSymmetrically) {
    const Case16 cases[] = {
        {101, -32768, -32767}, // clipped to the symmetric lower bound
        {101, 30000, 30300},
        {101, -30000, -30300},
        {101, 32767, 32767},
        {101, 32443, 32767}, // 32767.43
        {101, 32442, 32766}, // 32766.42
        {99, 32767, 32439},  // 32439.33
        {29, 100, 29},       // exact although 0.29 has no exact float
        {50, 3, 1},
        {50, -3, -1}, // -1.5 truncates toward zero, not down
        {150, -1, -1},
        {200, 20000, 32767},
        {200, -20000, -32767},
        {0, 12345, 0},
        {100, -32768, -32767}, // unity still clips when applied
    };
    for (const Case16& c : cases) {
        std::int16_t sample = c.in;
        Amplifier(c.coefficient).amplify16(&sample, nullptr, 1, 1);
        EXPECT_EQ(sample, c.expected) << c.in << " at " << c.coefficient << " %";
    }
}

struct Case8 {
    int coefficient;
    std::uint8_t in;
    std::uint8_t expected;
};

TEST(AmplifierTest, Amplify8WorksAroundSilenceAndClips) {
    const Case8 cases[] = {
        {101, 0, 0},     // -128 -> -129.28, clipped to -128
        {101, 255, 255}, // 127 -> 128.27, clipped to 127
        {200, 192, 255}, // 64 -> 128, clipped
        {200, 64, 0},    // -64 -> -128 fits exactly
        {50, 127, 128},  // -1 -> -0.5 truncates to 0
        {50, 125, 127},  // -3 -> -1.5 truncates to -1
        {150, 100, 86},  // -28 -> -42
        {110, 228, 238}, // 100 -> 110
        {0, 7, 128},     {101, 128, 128},
    };
    for (const Case8& c : cases) {
        std::uint8_t sample = c.in;
        Amplifier(c.coefficient).amplify8(&sample, nullptr, 1, 1);
        EXPECT_EQ(sample, c.expected) << int{c.in} << " at " << c.coefficient << " %";
    }
}

TEST(AmplifierTest, MonoLeavesSecondBufferAlone) {
    std::vector<std::int16_t> left = {1000, -1000, 30000};
    std::vector<std::int16_t> right = {1000, -1000, 30000};
    Amplifier(110).amplify16(left.data(), right.data(), 3, 1);
    EXPECT_EQ(left, (std::vector<std::int16_t>{1100, -1100, 32767}));
    EXPECT_EQ(right, (std::vector<std::int16_t>{1000, -1000, 30000}));

    std::vector<std::uint8_t> left8 = {0, 200, 128};
    std::vector<std::uint8_t> right8 = {0, 200, 128};
    Amplifier(150).amplify8(left8.data(), right8.data(), 3, 1);
    EXPECT_EQ(left8, (std::vector<std::uint8_t>{0, 236, 128}));
    EXPECT_EQ(right8, (std::vector<std::uint8_t>{0, 200, 128}));
}

TEST(AmplifierTest, StereoProcessesBothBuffersForCountSamplesOnly) {
    std::vector<std::int16_t> left = {100, -200, 300, 7};
    std::vector<std::int16_t> right = {-400, 500, -32768, 7};
    Amplifier(300).amplify16(left.data(), right.data(), 3, 2);
    EXPECT_EQ(left, (std::vector<std::int16_t>{300, -600, 900, 7}));
    EXPECT_EQ(right, (std::vector<std::int16_t>{-1200, 1500, -32767, 7}));

    std::vector<std::uint8_t> left8 = {138, 118, 9};
    std::vector<std::uint8_t> right8 = {148, 1, 9};
    Amplifier(300).amplify8(left8.data(), right8.data(), 2, 2);
    EXPECT_EQ(left8, (std::vector<std::uint8_t>{158, 98, 9}));
    EXPECT_EQ(right8, (std::vector<std::uint8_t>{188, 0, 9}));
}

} // namespace
} // namespace velmora
