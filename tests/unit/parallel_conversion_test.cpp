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
using test::folderNames;
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

// Sources "in/N/song.wav" that all map to "out/song.mp3".
class OutputNameReservationsTest : public test::SandboxTest {
protected:
    static constexpr int kSources = 12;

    void SetUp() override {
        SandboxTest::SetUp();
        for (int i = 0; i < kSources; ++i) {
            fs::create_directories(path(source(i)).parent_path());
            test::writeFileBytes(path(source(i)), {1});
        }
    }
    static std::string source(int i) { return "in/" + std::to_string(i) + "/song.wav"; }
    std::string reservedName() const { return path("out/song.mp3").string(); }

    // The output path of source i relative to out/, or the message when there is none.
    std::string build(int targetExistsOpt, int i, OutputNameReservation& held,
                      const std::string& folder = "out") {
        OutputPathOptions o;
        o.destOutputFolderOpt = OutputPathOptions::kCustomFolder;
        o.destSpecifiedFolder = path(folder).string();
        o.targetExistsOpt = targetExistsOpt;
        o.outputFiles2MyDocuments = false;
        o.extension = ".mp3";
        SourceFile entry;
        entry.path = path(source(i)).string();
        std::string message;
        if (!OutputPathBuilder(o, {}).buildOutputPath(entry, message, reservations, held))
            return message;
        return fs::relative(entry.outputPath, path("out")).string();
    }

    OutputNameReservations reservations;
};

TEST_F(OutputNameReservationsTest, RacingBuildersGetTheNumberedNamesOnceEach) {
    std::set<std::string> expected = {"song.mp3"};
    for (int n = 1; n < kSources; ++n)
        expected.insert("song_" + std::to_string(n) + ".mp3");
    for (int round = 0; round < 20; ++round) {
        std::vector<OutputNameReservation> held(kSources);
        std::vector<std::string> built(kSources);
        // Two spellings of one folder give one name.
        raceThreads(kSources, [&](int i) {
            built[i] = build(OutputPathOptions::kAutoRename, i, held[i], i % 2 ? "out//" : "out/.");
        });
        EXPECT_EQ(std::set<std::string>(built.begin(), built.end()), expected) << round;
        // The probes left nothing behind, and every name is free again once released.
        EXPECT_TRUE(folderNames(path("out")).empty());
        EXPECT_TRUE(reservations.isReserved(reservedName()));
        held.clear();
        EXPECT_FALSE(reservations.isReserved(reservedName()));
    }
}

TEST_F(OutputNameReservationsTest, SkipModeTreatsAReservedNameAsTaken) {
    OutputNameReservation first;
    OutputNameReservation second;
    EXPECT_EQ(build(OutputPathOptions::kSkip, 0, first), "song.mp3");
    EXPECT_EQ(build(OutputPathOptions::kSkip, 1, second), "Target exists and skipped");
    first.release();
    EXPECT_EQ(build(OutputPathOptions::kSkip, 1, second), "song.mp3");
}

TEST_F(OutputNameReservationsTest, OverwriteModeWaitsForTheRunningConversion) {
    OutputNameReservation first;
    OutputNameReservation second;
    ASSERT_EQ(build(OutputPathOptions::kOverwrite, 0, first), "song.mp3");
    std::atomic<bool> secondBuilt = false;
    std::string secondPath;
    std::jthread waiter([&] {
        secondPath = build(OutputPathOptions::kOverwrite, 1, second);
        secondBuilt = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(secondBuilt) << "the second file took the name while the first still held it";
    first.release();
    waiter.join();
    EXPECT_EQ(secondPath, "song.mp3");
}

// A batch of WAV sources that all map to one output name ("in/N/a.wav" -> "out/a.wav").
class ParallelBatchTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        settings.OutputFormat = 2000;
        settings.DestOutputFolderOpt = ConversionSettings::kCustomFolder;
        settings.DestSpecifiedFolder = path("out").string();
        settings.TargetExistsOpt = 11;
        settings.BrowseOutputFolder = 0;
    }

    void addSources(int count, std::size_t frames) {
        const auto bytes =
            test::pcmWavBytes(2, 44100, 16, std::vector<std::uint8_t>(frames * 4, 37));
        for (int i = 0; i < count; ++i) {
            auto entry = std::make_unique<SourceFile>();
            entry->path = path("in/" + std::to_string(i) + "/a.wav").string();
            entry->kind = SourceKind::Wav;
            entry->channels = 2;
            entry->sampleRate = 44100;
            fs::create_directories(fs::path(entry->path).parent_path());
            test::writeFileBytes(entry->path, bytes);
            entries.push_back(std::move(entry));
        }
    }

    struct Outcome {
        std::vector<std::string> outputs;                 // per entry, relative to out/
        std::map<int, std::vector<std::string>> statuses; // per row (100 + entry), in order
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
        for (const auto& entry : entries) {
            entry->outputPath.clear();
            pointers.push_back(entry.get());
            rows.push_back(100 + static_cast<int>(rows.size()));
        }
        driver.convertBatch(pointers, rows);
        Outcome outcome;
        outcome.cancelled = driver.cancelled();
        for (const auto& entry : entries)
            outcome.outputs.push_back(entry->outputPath.empty()
                                          ? ""
                                          : fs::relative(entry->outputPath, path("out")).string());
        for (const std::string& line : view.linesOf("status"))
            outcome.statuses[std::stoi(line)].push_back(line.substr(line.find(' ') + 1));
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
    EXPECT_EQ(parallel.statuses, inTurn.statuses);
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_EQ(positionOfSource[entries[i]->path], i + 1);
        // "Converting..." and the result, once each.
        EXPECT_EQ(parallel.statuses.at(100 + i),
                  (std::vector<std::string>{"Converting...", parallel.outputs[i]}));
    }
    EXPECT_EQ(folderNames(path("out")).size(), static_cast<std::size_t>(kFiles));
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
    int cancelled = 0;
    for (int i = 0; i < kFiles; ++i) {
        const auto status = outcome.statuses.find(100 + i);
        const std::string last = status == outcome.statuses.end() ? "" : status->second.back();
        if (last.empty() || last == "Cancelled") {
            cancelled += last == "Cancelled";
            EXPECT_TRUE(outcome.outputs[i].empty()) << i;
        } else {
            EXPECT_EQ(last, outcome.outputs[i]);
            converted.insert(last);
        }
    }
    EXPECT_GE(cancelled, 2) << "several files were running when cancel came";
    EXPECT_LT(results, kFiles);
    // Only the files that finished are in the folder: no partial file, no reserved leftover.
    EXPECT_EQ(folderNames(path("out")),
              std::vector<std::string>(converted.begin(), converted.end()));
}

} // namespace
} // namespace velmora
