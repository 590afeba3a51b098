// Files converted side by side: output names reserved so that racing threads never share one,
// and a batch run with several jobs that hands out the same names, batch positions and statuses
// as a one-at-a-time run, really overlaps its files, and leaves no partial output when
// cancelled.

#include "engine/conversion_driver.h"
#include "engine/conversion_routine.h"
#include "engine/conversion_settings.h"
#include "engine/output_name_reservations.h"
#include "engine/output_path_builder.h"
#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <latch>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::RecordingBatchView;

// Runs `task(i)` on `count` threads that all start at the same moment.
template <typename Task> void raceThreads(int count, Task task) {
    std::latch ready(count);
    std::vector<std::jthread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&, i] {
            ready.arrive_and_wait();
            task(i);
        });
}

std::set<std::string> filesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(folder))
        if (item.is_regular_file())
            names.insert(fs::relative(item.path(), folder).string());
    return names;
}

class OutputNameReservationsTest : public test::SandboxTest {
protected:
    OutputPathOptions options(int targetExistsOpt) const {
        OutputPathOptions o;
        o.destOutputFolderOpt = OutputPathOptions::kCustomFolder;
        o.destSpecifiedFolder = path("out").string();
        o.targetExistsOpt = targetExistsOpt;
        o.outputFiles2MyDocuments = false;
        o.extension = ".mp3";
        return o;
    }

    // Builds the output path of source `source` with the shared reservations; the message on
    // failure, the path on success.
    std::string build(int targetExistsOpt, const std::string& source, OutputNameReservation& held) {
        const OutputPathBuilder builder(options(targetExistsOpt), {});
        SourceFile entry;
        entry.path = path(source).string();
        std::string message;
        if (!builder.buildOutputPath(entry, message, reservations, held))
            return message;
        return fs::relative(entry.outputPath, path("out")).string();
    }

    void writeSource(const std::string& name) const {
        fs::create_directories(path(name).parent_path());
        test::writeFileBytes(path(name), {1});
    }

    OutputNameReservations reservations;
};

TEST_F(OutputNameReservationsTest, OneNameGoesToExactlyOneOfManyThreads) {
    for (int round = 0; round < 200; ++round) {
        std::atomic<int> winners = 0;
        raceThreads(8, [&](int i) {
            // Two spellings of one path are one name.
            const std::string spelling = i % 2 ? "out//song.mp3" : "out/./song.mp3";
            if (reservations.tryReserve(path(spelling).string()))
                ++winners;
        });
        ASSERT_EQ(winners, 1) << "round " << round;
        EXPECT_TRUE(reservations.isReserved(path("out/song.mp3").string()));
        reservations.release(path("out/song.mp3").string());
        EXPECT_FALSE(reservations.isReserved(path("out/song.mp3").string()));
    }
}

TEST_F(OutputNameReservationsTest, RacingBuildersGetTheNumberedNamesOnceEach) {
    constexpr int kThreads = 12;
    for (int i = 0; i < kThreads; ++i)
        writeSource("in/" + std::to_string(i) + "/song.wav");
    std::set<std::string> expected = {"song.mp3"};
    for (int n = 1; n < kThreads; ++n)
        expected.insert("song_" + std::to_string(n) + ".mp3");

    for (int round = 0; round < 20; ++round) {
        std::vector<OutputNameReservation> held(kThreads);
        std::vector<std::string> built(kThreads);
        raceThreads(kThreads, [&](int i) {
            built[i] = build(OutputPathOptions::kAutoRename,
                             "in/" + std::to_string(i) + "/song.wav", held[i]);
        });
        EXPECT_EQ(std::set<std::string>(built.begin(), built.end()), expected) << round;
        // The probes left nothing behind, and every name is free again once released.
        EXPECT_TRUE(filesIn(path("out")).empty());
        held.clear();
        EXPECT_FALSE(reservations.isReserved(path("out/song.mp3").string()));
    }
}

TEST_F(OutputNameReservationsTest, SkipModeTreatsAReservedNameAsTaken) {
    writeSource("in/a/song.wav");
    writeSource("in/b/song.wav");
    OutputNameReservation first;
    OutputNameReservation second;
    EXPECT_EQ(build(OutputPathOptions::kSkip, "in/a/song.wav", first), "song.mp3");
    EXPECT_EQ(build(OutputPathOptions::kSkip, "in/b/song.wav", second),
              "Target exists and skipped");
    first.release();
    EXPECT_EQ(build(OutputPathOptions::kSkip, "in/b/song.wav", second), "song.mp3");
}

TEST_F(OutputNameReservationsTest, OverwriteModeWaitsForTheRunningConversion) {
    writeSource("in/a/song.wav");
    writeSource("in/b/song.wav");
    OutputNameReservation first;
    ASSERT_EQ(build(OutputPathOptions::kOverwrite, "in/a/song.wav", first), "song.mp3");

    std::atomic<bool> secondBuilt = false;
    std::string secondPath;
    OutputNameReservation second;
    std::jthread waiter([&] {
        secondPath = build(OutputPathOptions::kOverwrite, "in/b/song.wav", second);
        secondBuilt = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(secondBuilt) << "the second file took the name while the first still held it";
    first.release();
    waiter.join();
    EXPECT_TRUE(secondBuilt);
    EXPECT_EQ(secondPath, "song.mp3");
}

// A batch of WAV sources that all map to one output name ("in/N/a.wav" -> "out/a.wav").
class ParallelBatchTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        fs::create_directories(path("out"));
        settings.OutputFormat = 2000;
        settings.DestOutputFolderOpt = ConversionSettings::kCustomFolder;
        settings.DestSpecifiedFolder = path("out").string();
        settings.TargetExistsOpt = 11;
        settings.BrowseOutputFolder = 0;
    }

    void addSources(int count, std::size_t frames) {
        std::vector<std::int16_t> samples(frames * 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(i * 37);
        const auto bytes = test::pcmWavBytes(2, 44100, 16, test::s16Bytes(samples));
        for (int i = 0; i < count; ++i) {
            const fs::path file = path("in/" + std::to_string(i) + "/a.wav");
            fs::create_directories(file.parent_path());
            test::writeFileBytes(file, bytes);
            auto entry = std::make_unique<SourceFile>();
            entry->path = file.string();
            entry->kind = SourceKind::Wav;
            entry->channels = 2;
            entry->sampleRate = 44100;
            entries.push_back(std::move(entry));
        }
    }

    struct Outcome {
        std::vector<std::string> outputs;      // per entry, relative to out/
        std::map<int, std::string> lastStatus; // per row
        std::map<int, int> statusCount;        // per row
        bool cancelled = false;
    };

    Outcome run(int jobs, RecordingBatchView& view, ConversionDriver::Routine routine = {}) {
        fs::remove_all(path("out"));
        fs::create_directories(path("out"));
        ConversionDriver driver(settings, view);
        driver.setJobs(jobs);
        if (routine)
            driver.setRoutine(std::move(routine));
        std::vector<SourceFile*> pointers;
        std::vector<int> rows;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            entries[i]->outputPath.clear();
            pointers.push_back(entries[i].get());
            rows.push_back(static_cast<int>(100 + i));
        }
        driver.convertBatch(pointers, rows);
        Outcome outcome;
        outcome.cancelled = driver.cancelled();
        for (const auto& entry : entries)
            outcome.outputs.push_back(entry->outputPath.empty()
                                          ? ""
                                          : fs::relative(entry->outputPath, path("out")).string());
        for (const std::string& line : view.linesOf("status")) {
            const int row = std::stoi(line.substr(0, line.find(' ')));
            ++outcome.statusCount[row];
            outcome.lastStatus[row] = line.substr(line.find(' ') + 1);
        }
        return outcome;
    }

    ConversionSettings settings{std::string()};
    std::vector<std::unique_ptr<SourceFile>> entries;
};

TEST_F(ParallelBatchTest, FourJobsMatchAOneJobRunAndOverlap) {
    constexpr int kFiles = 12;
    constexpr int kJobs = 4;
    addSources(kFiles, 64);

    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    int mostRunning = 0;
    std::map<std::string, int> positionOfSource;
    // In the parallel run each call waits until all jobs are busy, so the overlap is certain
    // rather than left to the scheduler. The wait is generous because a loaded machine under a
    // sanitizer can take long to start a thread; a runner that converts in turn times out here.
    std::chrono::milliseconds waitForOthers{0};
    const auto routine = [&](SourceKind, const std::string& sourcePath,
                             const std::string& outputPath, RoutineContext& context) {
        std::unique_lock lock(mutex);
        positionOfSource[sourcePath] = context.batchPosition;
        mostRunning = std::max(mostRunning, ++running);
        changed.notify_all();
        changed.wait_for(lock, waitForOthers,
                         [&] { return running == kJobs || mostRunning == kJobs; });
        lock.unlock();
        test::writeFileBytes(outputPath, {1, 2, 3});
        lock.lock();
        --running;
        return true;
    };

    RecordingBatchView inTurnView;
    const Outcome inTurn = run(1, inTurnView, routine);
    ASSERT_EQ(mostRunning, 1);
    mostRunning = 0;
    positionOfSource.clear();
    waitForOthers = std::chrono::seconds(5);
    RecordingBatchView parallelView;
    const Outcome parallel = run(kJobs, parallelView, routine);

    EXPECT_EQ(mostRunning, kJobs);
    EXPECT_FALSE(parallel.cancelled);
    // The names follow the batch order whatever the timing: a.wav, a_1.wav, a_2.wav, ...
    EXPECT_EQ(parallel.outputs, inTurn.outputs);
    EXPECT_EQ(parallel.outputs[0], "a.wav");
    EXPECT_EQ(parallel.outputs[kFiles - 1], "a_" + std::to_string(kFiles - 1) + ".wav");
    EXPECT_EQ(parallel.lastStatus, inTurn.lastStatus);
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_EQ(positionOfSource[entries[i]->path], i + 1);
        // "Converting..." and the result, once each.
        EXPECT_EQ(parallel.statusCount.at(100 + i), 2);
    }
    EXPECT_EQ(filesIn(path("out")).size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(parallelView.linesOf("open"), std::vector<std::string>{"12"});
    EXPECT_EQ(parallelView.linesOf("close").size(), 1u);
}

TEST_F(ParallelBatchTest, CancelStopsEveryRunningFileAndLeavesNoPartialOutput) {
    constexpr int kFiles = 8;
    // Long enough that cancel lands in the middle of the running files.
    addSources(kFiles, 400000);
    RecordingBatchView view;
    int results = 0;
    int running = 0;
    view.cancelWhen([&](const std::string& line, std::size_t) {
        if (line.starts_with("status ")) {
            const bool started = line.ends_with(" Converting...");
            running += started ? 1 : -1;
            results += started ? 0 : 1;
        }
        // Cancel while three files are being converted at once, in the middle of a block run.
        return running == 3 && line.starts_with("upper Converting a.wav...");
    });
    const Outcome outcome = run(3, view);

    EXPECT_TRUE(outcome.cancelled);
    std::set<std::string> converted;
    for (int i = 0; i < kFiles; ++i) {
        const auto status = outcome.lastStatus.find(100 + i);
        if (status == outcome.lastStatus.end()) {
            EXPECT_TRUE(outcome.outputs[i].empty());
            continue;
        }
        if (status->second == "Cancelled") {
            EXPECT_TRUE(outcome.outputs[i].empty());
        } else {
            EXPECT_EQ(status->second, outcome.outputs[i]);
            converted.insert(outcome.outputs[i]);
        }
    }
    EXPECT_GE(std::count_if(outcome.lastStatus.begin(), outcome.lastStatus.end(),
                            [](const auto& s) { return s.second == "Cancelled"; }),
              2)
        << "several files were running when cancel came";
    EXPECT_LT(results, kFiles);
    // Only the files that finished are in the folder: no partial file, no reserved leftover.
    EXPECT_EQ(filesIn(path("out")), converted);
}

} // namespace
} // namespace velmora
