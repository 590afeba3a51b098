// The AMR writer: how blocks of any size are cut into codec frames (checked against the codec
// fed with the input cut independently here), the band's header, the mode and DTX reaching the
// file (read back by walking its frames), the mode fallback, and a file that cannot be written.

#include "tests/unit/amr_test_file.h"
#include "tests/unit/test_support.h"
#include "writers/amr_writer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace velmora {
namespace {

using Samples = std::vector<std::int16_t>;

class AmrWriterTest : public test::SandboxTest {
protected:
    std::string file() const { return path("out.amr").string(); }

    bool openWriter(AmrWriter& writer, bool narrowBand, int mode = AmrWriter::kDefaultMode,
                    int dtx = 0) {
        writer.prepare(narrowBand);
        writer.setNarrowBandMode(mode);
        writer.setWideBandMode(mode);
        writer.setDtx(dtx);
        return writer.open(file());
    }

    std::vector<int> frameTypes() const {
        const auto layout = test::walkAmrFile(test::readFileBytes(file()));
        return layout ? layout->frameTypes : std::vector<int>{-1};
    }
};

TEST_F(AmrWriterTest, AShortBlockWaitsAndTheNextCompletesTheFrame) {
    const Samples input = test::amrTestSignal(200, 8000);
    AmrWriter writer;
    ASSERT_TRUE(openWriter(writer, true));
    ASSERT_TRUE(writer.write(input.data(), 100));
    EXPECT_EQ(writer.framesEncoded(), 0);
    EXPECT_EQ(writer.bufferedSamples(), 100);
    ASSERT_TRUE(writer.write(input.data() + 100, 100));
    EXPECT_EQ(writer.framesEncoded(), 1);
    EXPECT_EQ(writer.bufferedSamples(), 40);
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(test::readFileBytes(file()), test::referenceAmrFile(false, 6, false, input));
}

TEST_F(AmrWriterTest, ABlockOfAThousandSamplesMakesSixFramesAndCloseAddsThePaddedSeventh) {
    const Samples input = test::amrTestSignal(1000, 8000);
    AmrWriter writer;
    ASSERT_TRUE(openWriter(writer, true));
    ASSERT_TRUE(writer.write(input.data(), 1000));
    EXPECT_EQ(writer.framesEncoded(), 6);
    EXPECT_EQ(writer.bufferedSamples(), 40);
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(writer.framesEncoded(), 7);
    EXPECT_EQ(frameTypes().size(), 7u);
    // The seventh frame holds the last 40 samples and 120 zeros.
    EXPECT_EQ(test::readFileBytes(file()), test::referenceAmrFile(false, 6, false, input));
}

TEST_F(AmrWriterTest, ClosingWithNothingBufferedEncodesNothingMore) {
    const Samples input = test::amrTestSignal(640, 16000);
    AmrWriter writer;
    ASSERT_TRUE(openWriter(writer, false));
    ASSERT_TRUE(writer.write(input.data(), 640));
    EXPECT_EQ(writer.bufferedSamples(), 0);
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(writer.framesEncoded(), 2);
    EXPECT_EQ(frameTypes(), (std::vector<int>{6, 6}));
}

// Whatever the block sizes, the file is the input cut into consecutive whole frames.
struct CuttingCase {
    bool narrowBand;
    std::vector<int> blocks;
};

class AmrWriterCutting : public AmrWriterTest, public ::testing::WithParamInterface<CuttingCase> {};

TEST_P(AmrWriterCutting, GivesTheFileOfTheWholeStream) {
    const CuttingCase& c = GetParam();
    const int total = std::accumulate(c.blocks.begin(), c.blocks.end(), 0);
    const Samples input =
        test::amrTestSignal(static_cast<std::size_t>(total), c.narrowBand ? 8000 : 16000);
    AmrWriter writer;
    ASSERT_TRUE(openWriter(writer, c.narrowBand, 3));
    const std::int16_t* at = input.data();
    for (const int block : c.blocks) {
        ASSERT_TRUE(writer.write(at, block));
        at += block;
        EXPECT_EQ(writer.bufferedSamples() + writer.framesEncoded() * writer.frameSamples(),
                  at - input.data());
    }
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(test::readFileBytes(file()), test::referenceAmrFile(!c.narrowBand, 3, false, input));
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, AmrWriterCutting,
                         ::testing::Values(CuttingCase{true, {1152, 1152, 1152, 17}},
                                           CuttingCase{true, {159, 1, 160, 161, 319, 0, 1}},
                                           CuttingCase{true, {1, 1, 1, 157, 480, 3}},
                                           CuttingCase{false, {1152, 1152, 1152, 1152, 500}},
                                           CuttingCase{false, {319, 1, 320, 321, 639, 7}},
                                           CuttingCase{false, {100, 100, 100, 100}}));

TEST_F(AmrWriterTest, LeavesTheCallersSamplesAsTheyWere) {
    for (const bool narrowBand : {true, false}) {
        const Samples original = test::amrTestSignal(2000, narrowBand ? 8000 : 16000);
        Samples block = original;
        AmrWriter writer;
        ASSERT_TRUE(openWriter(writer, narrowBand));
        ASSERT_TRUE(writer.write(block.data(), static_cast<int>(block.size())));
        ASSERT_TRUE(writer.close());
        EXPECT_EQ(block, original) << (narrowBand ? "narrow band" : "wide band");
    }
}

TEST_F(AmrWriterTest, EachModeSetsTheFrameTypeAndSizeOfTheFile) {
    const Samples input = test::amrTestSignal(3200, 16000);
    for (const bool narrowBand : {true, false}) {
        const int modes = narrowBand ? 8 : 9;
        std::uintmax_t lastSize = 0;
        for (int mode = 0; mode < modes; ++mode) {
            SCOPED_TRACE(std::string(narrowBand ? "NB" : "WB") + " mode " + std::to_string(mode));
            AmrWriter writer;
            ASSERT_TRUE(openWriter(writer, narrowBand, mode));
            ASSERT_TRUE(writer.write(input.data(), 3200));
            ASSERT_TRUE(writer.close());
            const auto layout = test::walkAmrFile(test::readFileBytes(file()));
            ASSERT_TRUE(layout);
            EXPECT_EQ(layout->wideBand, !narrowBand);
            EXPECT_EQ(layout->frameTypes, std::vector<int>(narrowBand ? 20 : 10, mode));
            const auto size = std::filesystem::file_size(file());
            EXPECT_GT(size, lastSize); // a higher mode, a larger file
            lastSize = size;
        }
    }
}

TEST_F(AmrWriterTest, AModeOutsideTheTableIsCodedWithTheFallbackMode) {
    const Samples input = test::amrTestSignal(1600, 16000);
    for (const bool narrowBand : {true, false}) {
        for (const int mode : {-1, narrowBand ? 8 : 9, 1000}) {
            SCOPED_TRACE(mode);
            AmrWriter writer;
            ASSERT_TRUE(openWriter(writer, narrowBand, mode));
            ASSERT_TRUE(writer.write(input.data(), 1600));
            ASSERT_TRUE(writer.close());
            const auto types = frameTypes();
            ASSERT_FALSE(types.empty());
            EXPECT_EQ(types, std::vector<int>(types.size(), AmrWriter::kFallbackMode));
        }
    }
}

TEST_F(AmrWriterTest, DtxTurnsSilenceIntoComfortNoiseFrames) {
    // Two seconds of silence after half a second of signal.
    Samples input = test::amrTestSignal(4000, 8000);
    input.resize(20000, 0);
    std::uintmax_t sizes[2] = {};
    for (const int dtx : {0, 1}) {
        AmrWriter writer;
        ASSERT_TRUE(openWriter(writer, true, 7, dtx));
        ASSERT_TRUE(writer.write(input.data(), static_cast<int>(input.size())));
        ASSERT_TRUE(writer.close());
        const auto types = frameTypes();
        EXPECT_EQ(types.size(), 125u);
        const auto speech = std::count(types.begin(), types.end(), 7);
        if (dtx)
            EXPECT_LT(speech, 60); // the silence went out as SID and no-data frames
        else
            EXPECT_EQ(speech, 125);
        sizes[dtx] = std::filesystem::file_size(file());
    }
    EXPECT_LT(sizes[1] * 2, sizes[0]);
}

TEST_F(AmrWriterTest, PrepareFinishesAnOpenFileAndRestoresTheDefaults) {
    const Samples input = test::amrTestSignal(100, 8000);
    AmrWriter writer;
    ASSERT_TRUE(openWriter(writer, true, 2, 1));
    ASSERT_TRUE(writer.write(input.data(), 100));
    ASSERT_TRUE(writer.prepare(false));
    EXPECT_FALSE(writer.isOpen());
    EXPECT_EQ(frameTypes(), std::vector<int>{2}); // the buffered tail was padded and coded
    EXPECT_FALSE(writer.narrowBand());
    EXPECT_EQ(writer.frameSamples(), 320);
    EXPECT_EQ(writer.dtx(), 0);
    EXPECT_EQ(writer.narrowBandMode(), 6);
    EXPECT_EQ(writer.wideBandMode(), 6);
    EXPECT_EQ(writer.bufferedSamples(), 0);

    ASSERT_TRUE(writer.close());
    EXPECT_TRUE(writer.narrowBand());
    EXPECT_EQ(writer.frameSamples(), 0);
}

TEST_F(AmrWriterTest, RefusesWhatItCannotWrite) {
    AmrWriter writer;
    EXPECT_FALSE(writer.open(file())); // never prepared
    writer.prepare(true);
    EXPECT_FALSE(writer.open(path("missing/out.amr").string()));
    const Samples input(160, 0);
    EXPECT_FALSE(writer.write(input.data(), 160));
    ASSERT_TRUE(writer.open(file()));
    EXPECT_FALSE(writer.write(nullptr, 10));
    EXPECT_TRUE(writer.write(input.data(), 0));
    EXPECT_TRUE(writer.close());
}

TEST_F(AmrWriterTest, AFullDiskIsReportedInsteadOfLeavingATruncatedFile) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const Samples input = test::amrTestSignal(8000 * 20, 8000);
    AmrWriter writer;
    writer.prepare(true);
    writer.setNarrowBandMode(7);
    ASSERT_TRUE(writer.open("/dev/full"));
    bool allWritten = true;
    for (std::size_t at = 0; at < input.size(); at += 1152) {
        const auto count = static_cast<int>(std::min<std::size_t>(1152, input.size() - at));
        allWritten = writer.write(input.data() + at, count) && allWritten;
    }
    EXPECT_FALSE(allWritten);
    EXPECT_FALSE(writer.close());

    // A short file whose only bytes wait for close() fails there.
    ASSERT_TRUE(writer.prepare(true));
    ASSERT_TRUE(writer.open("/dev/full"));
    EXPECT_TRUE(writer.write(input.data(), 500));
    EXPECT_FALSE(writer.close());
}

} // namespace
} // namespace velmora
