// FFmpeg and FluidSynth are loaded on first use (cmake/LazyLibraries.cmake): a start that needs
// neither must not map them, and the first call through a trampoline must reach the function
// with every argument intact, also when several threads make it at once.

#include "tests/unit/test_support.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <thread>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
}

namespace velmora {
namespace {

class LazyLoadingTest : public test::SandboxTest {};

TEST_F(LazyLoadingTest, VersionLoadsNeitherFfmpegNorFluidSynth) {
    std::string trace;
    // The dynamic loader lists every object it maps, on standard error.
    ASSERT_EQ(
        test::runCommand("LD_DEBUG=files " + test::shellQuote(VELMORA_CLI_PATH) + " --version 2>&1",
                         &trace),
        0);
    ASSERT_NE(trace.find("file=libc.so.6"), std::string::npos) << trace; // the trace works
    for (const char* library : {"libavcodec", "libavformat", "libavutil", "libfluidsynth"})
        EXPECT_EQ(trace.find(std::string("file=") + library), std::string::npos) << library;
}

// Functions no other part of the program calls, so that this is their first call: a double in a
// vector register, 64-bit integers and an enum in integer registers.
TEST_F(LazyLoadingTest, FirstCallsFromManyThreadsKeepTheirArguments) {
    constexpr int kThreads = 8;
    std::array<AVRational, kThreads> ratios{};
    std::array<std::int64_t, kThreads> scaled{};
    {
        std::array<std::jthread, kThreads> threads;
        for (int i = 0; i < kThreads; ++i)
            threads[i] = std::jthread([i, &ratios, &scaled] {
                ratios[i] = av_d2q(0.75 + i, 1000);
                scaled[i] = av_rescale_rnd(1000 + i, 3, 2, AV_ROUND_UP);
            });
    }
    for (int i = 0; i < kThreads; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ratios[i].num, 3 + 4 * i);
        EXPECT_EQ(ratios[i].den, 4);
        EXPECT_EQ(scaled[i], ((1000 + i) * 3 + 1) / 2);
    }
}

} // namespace
} // namespace velmora
