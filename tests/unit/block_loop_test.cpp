// The block loop against a source whose length, positions and block sizes are scripted: the
// progress texts and bar positions it sends, where it stops, and what reaches the block handler.

#include "engine/block_loop.h"
#include "tests/unit/recording_batch_view.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace velmora {
namespace {

using test::RecordingBatchView;

// Delivers one scripted block per read: `frames` frames, after which position() is
// `positionAfter`. Left samples carry the block's 1-based number, right samples its negation,
// so the handler can tell which block it got.
class ScriptedSource : public AudioSource {
public:
    struct Block {
        int frames;
        std::uint64_t positionAfter;
    };

    ScriptedSource(std::uint64_t length, int outChannels, std::vector<Block> blocks)
        : m_blocks(std::move(blocks)) {
        m_length = length;
        m_channels = outChannels;
        m_outChannels = outChannels;
        m_sampleRate = 44100;
        m_bitsPerSample = 16;
    }

    bool open(const std::string&, int) override { return true; }

    int read(std::int16_t* left, std::int16_t* right) override {
        ++m_reads;
        if (m_next >= m_blocks.size())
            return 0;
        const Block block = m_blocks[m_next++];
        for (int i = 0; i < block.frames; ++i) {
            left[i] = static_cast<std::int16_t>(m_next);
            if (right)
                right[i] = static_cast<std::int16_t>(-static_cast<int>(m_next));
        }
        m_position = block.positionAfter;
        return block.frames;
    }

    int reads() const { return m_reads; }

private:
    std::vector<Block> m_blocks;
    std::size_t m_next = 0;
    int m_reads = 0;
};

// Blocks of 1152 frames ending at the given positions.
std::vector<ScriptedSource::Block> blocksAt(const std::vector<std::uint64_t>& positions) {
    std::vector<ScriptedSource::Block> blocks;
    for (const std::uint64_t position : positions)
        blocks.push_back({AudioSource::kMaxFramesPerRead, position});
    return blocks;
}

struct Seen {
    int block; // the number the source wrote into the left samples
    int frames;
    bool hasRight;
    bool rightMatches; // every right sample is the negated block number
};

struct LoopRun {
    BlockLoop::Outcome outcome;
    std::vector<Seen> seen;
    std::vector<std::string> lines;
    int reads;
};

// Runs the loop; the handler records each block and returns false for block `failAt`, and
// asks for cancel once it has handled `cancelAfter` blocks.
LoopRun runLoop(ScriptedSource& source, SourceKind kind, RecordingBatchView& view, int failAt = 0,
                int cancelAfter = 0) {
    LoopRun run;
    BlockLoop loop(source, kind, view, "song.wav");
    run.outcome = loop.run([&](std::int16_t* left, std::int16_t* right, int frames) {
        Seen seen{left[0], frames, right != nullptr, true};
        for (int i = 0; right && i < frames; ++i)
            seen.rightMatches = seen.rightMatches && right[i] == -left[0];
        run.seen.push_back(seen);
        if (cancelAfter != 0 && static_cast<int>(run.seen.size()) == cancelAfter)
            view.requestCancel();
        return static_cast<int>(run.seen.size()) != failAt;
    });
    run.lines = view.lines();
    run.reads = source.reads();
    return run;
}

std::string percent(int value) {
    return "upper Converting song.wav..." + std::to_string(value) + "%";
}

TEST(BlockLoop, TextsAndBarMoveOnlyForwardAndStopAtTheirEnds) {
    // length 1000: percent unit 10; bar width 50: bar unit 20.
    ScriptedSource source(1000, 2, blocksAt({5, 10, 10, 250, 240, 999, 1200, 1300}));
    RecordingBatchView view(50);
    const LoopRun run = runLoop(source, SourceKind::Wav, view);
    EXPECT_EQ(run.outcome, BlockLoop::Outcome::Completed);
    const std::vector<std::string> expected = {
        "range 50",   "bar 0",          // set up before the first read
        "pump",                         // 5: 0 %, bar 0
        percent(1),   "pump",           // 10
        "pump",                         // 10 again
        percent(25),  "bar 12", "pump", // 250
        "pump",                         // 240: a step back shows nothing
        percent(99),  "bar 49", "pump", // 999
        percent(100), "bar 50", "pump", // 1200: capped at 100 % and the full bar
        "pump",                         // 1300
    };
    EXPECT_EQ(run.lines, expected);
    EXPECT_EQ(run.seen.size(), 8u);
}

struct CompletionCase {
    const char* name;
    std::uint64_t length;
    int barWidth;
    std::vector<std::uint64_t> positions;
    std::vector<std::string> expected;

    friend void PrintTo(const CompletionCase& c, std::ostream* os) { *os << c.name; }
};

class BlockLoopCompletion : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(BlockLoopCompletion, EndOfDataFillsWhatIsNotFullYet) {
    const CompletionCase& c = GetParam();
    ScriptedSource source(c.length, 1, blocksAt(c.positions));
    RecordingBatchView view(c.barWidth);
    const LoopRun run = runLoop(source, SourceKind::Flac, view);
    EXPECT_EQ(run.outcome, BlockLoop::Outcome::Completed);
    EXPECT_EQ(run.lines, c.expected);
    EXPECT_EQ(run.seen.size(), c.positions.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockLoopCompletion,
    ::testing::Values(
        // The source ends half-way through its announced length.
        CompletionCase{
            "EndsHalfWay",
            1000,
            50,
            {500},
            {"range 50", "bar 0", percent(50), "bar 25", "pump", percent(100), "bar 50"}},
        // 100 % is reached before the bar is full (percent unit 1, bar unit 1).
        CompletionCase{"PercentFullBeforeTheBar",
                       199,
                       150,
                       {100},
                       {"range 150", "bar 0", percent(100), "bar 100", "pump", "bar 150"}},
        // Both already full: nothing more is sent.
        CompletionCase{
            "BothFull", 1000, 50, {1000}, {"range 50", "bar 0", percent(100), "bar 50", "pump"}},
        // Length below 100 and below the bar width: both units are 1, not 0.
        CompletionCase{"UnitsOfOne",
                       10,
                       300,
                       {3, 10},
                       {"range 300", "bar 0", percent(3), "bar 3", "pump", percent(10), "bar 10",
                        "pump", percent(100), "bar 300"}},
        // No data at all.
        CompletionCase{"NoData", 1000, 50, {}, {"range 50", "bar 0", percent(100), "bar 50"}}));

TEST(BlockLoop, ZeroLengthJumpsToFullAtOnceAndStillReadsToTheEnd) {
    ScriptedSource source(0, 2, blocksAt({1152 * 4, 2 * 1152 * 4, 3 * 1152 * 4}));
    RecordingBatchView view(300);
    const LoopRun run = runLoop(source, SourceKind::Wav, view);
    EXPECT_EQ(run.outcome, BlockLoop::Outcome::Completed);
    const std::vector<std::string> expected = {"range 300", "bar 0", percent(100), "bar 300",
                                               "pump",      "pump",  "pump"};
    EXPECT_EQ(run.lines, expected);
    ASSERT_EQ(run.seen.size(), 3u);
    EXPECT_EQ(run.reads, 4);
}

struct EndRuleCase {
    SourceKind kind;
    std::vector<std::uint64_t> positions;
    int blocksHandled;
    int reads;

    friend void PrintTo(const EndRuleCase& c, std::ostream* os) {
        *os << "kind " << code(c.kind) << ", " << c.positions.size() << " blocks";
    }
};

class BlockLoopEndRule : public ::testing::TestWithParam<EndRuleCase> {};

TEST_P(BlockLoopEndRule, RenderedKindsStopAtTheirLengthOthersReadToTheEnd) {
    const EndRuleCase& c = GetParam();
    ScriptedSource source(1000, 2, blocksAt(c.positions));
    RecordingBatchView view(100);
    const LoopRun run = runLoop(source, c.kind, view);
    EXPECT_EQ(run.outcome, BlockLoop::Outcome::Completed);
    ASSERT_EQ(static_cast<int>(run.seen.size()), c.blocksHandled);
    for (int i = 0; i < c.blocksHandled; ++i)
        EXPECT_EQ(run.seen[static_cast<std::size_t>(i)].block, i + 1);
    EXPECT_EQ(run.reads, c.reads);
    EXPECT_EQ(run.lines.back(), "pump") << "the last handled block already showed 100 %";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BlockLoopEndRule,
    ::testing::Values(
        // The block that reaches the length is still written; nothing is read after it.
        EndRuleCase{SourceKind::Module, {400, 800, 1000, 1200, 1400}, 3, 3},
        EndRuleCase{SourceKind::Midi, {400, 800, 1000, 1200, 1400}, 3, 3},
        EndRuleCase{SourceKind::Midi, {400, 1100, 1200}, 2, 2},
        EndRuleCase{SourceKind::Wav, {400, 800, 1000, 1200, 1400}, 5, 6},
        EndRuleCase{SourceKind::MpegAudio, {400, 800, 1000, 1200, 1400}, 5, 6},
        EndRuleCase{SourceKind::Other, {400, 800, 1000, 1200, 1400}, 5, 6},
        EndRuleCase{SourceKind::CdAudio, {400, 1100, 1200}, 3, 4}));

TEST(BlockLoop, CancelBetweenBlocksKeepsFurtherBlocksFromTheHandler) {
    for (const int cancelAfter : {1, 2, 4}) {
        SCOPED_TRACE(cancelAfter);
        ScriptedSource source(5000, 2, blocksAt({1000, 2000, 3000, 4000, 5000}));
        RecordingBatchView view(100);
        const LoopRun run = runLoop(source, SourceKind::Midi, view, 0, cancelAfter);
        EXPECT_EQ(run.outcome, BlockLoop::Outcome::Cancelled);
        EXPECT_EQ(static_cast<int>(run.seen.size()), cancelAfter);
        // The next block was read and shown, then cancel was seen before it went on.
        EXPECT_EQ(run.reads, cancelAfter + 1);
        EXPECT_EQ(run.lines.back(), "pump");
        EXPECT_EQ(view.linesOf("upper").back(), percent((cancelAfter + 1) * 20).substr(6));
    }
}

TEST(BlockLoop, CancelBeforeTheFirstBlockHandsNothingOn) {
    ScriptedSource source(5000, 1, blocksAt({1000, 2000}));
    RecordingBatchView view(100);
    view.requestCancel();
    const LoopRun run = runLoop(source, SourceKind::Wav, view);
    EXPECT_EQ(run.outcome, BlockLoop::Outcome::Cancelled);
    EXPECT_TRUE(run.seen.empty());
    EXPECT_EQ(run.reads, 1);
}

TEST(BlockLoop, RefusedWriteEndsTheLoopWithoutCompletion) {
    ScriptedSource source(5000, 2, blocksAt({1000, 2000, 3000, 4000, 5000}));
    RecordingBatchView view(100);
    const LoopRun run = runLoop(source, SourceKind::Wav, view, 2);
    EXPECT_EQ(run.outcome, BlockLoop::Outcome::WriteFailed);
    EXPECT_EQ(run.seen.size(), 2u);
    EXPECT_EQ(run.reads, 2);
    const std::vector<std::string> expected = {"range 100", "bar 0",     percent(20), "bar 20",
                                               "pump",      percent(40), "bar 40",    "pump"};
    EXPECT_EQ(run.lines, expected);
}

TEST(BlockLoop, HandlerGetsTheSourceBuffersAndFrameCounts) {
    const std::vector<ScriptedSource::Block> blocks = {{1152, 10}, {7, 20}, {1000, 30}};
    for (const int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        ScriptedSource source(30, channels, blocks);
        RecordingBatchView view(100);
        const LoopRun run = runLoop(source, SourceKind::Wav, view);
        ASSERT_EQ(run.seen.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(run.seen[i].block, static_cast<int>(i) + 1);
            EXPECT_EQ(run.seen[i].frames, blocks[i].frames);
            EXPECT_EQ(run.seen[i].hasRight, channels == 2);
            EXPECT_TRUE(run.seen[i].rightMatches);
        }
    }
}

TEST(ConvertingPercentText, NamesTheFileAndThePercentage) {
    EXPECT_EQ(convertingPercentText("a b.wav", 7), "Converting a b.wav...7%");
    EXPECT_EQ(convertingPercentText("x", 100), "Converting x...100%");
}

} // namespace
} // namespace velmora
