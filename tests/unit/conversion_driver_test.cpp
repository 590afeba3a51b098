// The batch driver's texts and their order, seen through a recording view: status texts, the
// widening of the status column, cancel, the file manager, path builder refusals and the batch
// position handed to the routines. Most tests put a scripted routine in; cancel runs the real
// WAV routine.

#include "engine/conversion_driver.h"
#include "engine/conversion_settings.h"
#include "engine/tag_values.h"
#include "platform/bass/midi_sound_font.h"
#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/recording_batch_view.h"
#include "tests/unit/test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace velmora {
namespace {

using test::RecordingBatchView;

// What a scripted routine does with one file.
struct Act {
    bool result = true;
    bool write = true;       // write a non-empty output file
    bool writeEmpty = false; // write a zero-length output file
    std::string note;
    std::string removeOutput; // a file in the output folder that disappears meanwhile
};

Act converts() {
    return {};
}
Act fails(std::string note = {}) {
    Act act;
    act.result = false;
    act.write = false;
    act.note = std::move(note);
    return act;
}
Act failsAfterWriting(std::string note) {
    Act act = fails(std::move(note));
    act.write = true;
    return act;
}
Act succeedsWithEmptyFile() {
    Act act;
    act.write = false;
    act.writeEmpty = true;
    return act;
}
Act succeedsWithoutFile() {
    Act act;
    act.write = false;
    return act;
}
Act convertsRemoving(std::string name) {
    Act act;
    act.removeOutput = std::move(name);
    return act;
}

class ConversionDriverTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        std::filesystem::create_directories(path("in"));
        std::filesystem::create_directories(path("out"));
        settings.OutputFormat = 2000;
        settings.DestOutputFolderOpt = ConversionSettings::kCustomFolder;
        settings.DestSpecifiedFolder = path("out").string();
        settings.TargetExistsOpt = 11;
        settings.BrowseOutputFolder = 0;
    }

    // Source files in "in", each a short valid WAV file.
    void addSources(const std::vector<std::string>& names, std::size_t frames = 64) {
        for (const std::string& name : names) {
            std::vector<std::int16_t> samples(frames * 2);
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<std::int16_t>(i * 37);
            test::writeFileBytes(path("in/" + name),
                                 test::pcmWavBytes(2, 44100, 16, test::s16Bytes(samples)));
            auto entry = std::make_unique<SourceFile>();
            entry->path = path("in/" + name).string();
            entry->kind = SourceKind::Wav;
            entry->channels = 2;
            entry->sampleRate = 44100;
            entries.push_back(std::move(entry));
        }
    }

    std::string outPath(const std::string& name) const { return path("out/" + name).string(); }

    // For the next case of a table: no entries, no calls, an empty output folder.
    void resetBatch() {
        entries.clear();
        calls.clear();
        std::filesystem::remove_all(path("out"));
        std::filesystem::create_directories(path("out"));
    }

    // A routine that acts on file i as acts[i] says and notes what it was handed.
    ConversionDriver::Routine scripted(std::vector<Act> acts) {
        return [this, acts](SourceKind kind, const std::string& sourcePath,
                            const std::string& outputPath, RoutineContext& context) {
            calls.push_back(
                {kind, sourcePath, outputPath, context.batchPosition, context.failureNote});
            const Act& act = acts.at(calls.size() - 1);
            if (!act.removeOutput.empty())
                std::filesystem::remove(outPath(act.removeOutput));
            if (act.write)
                test::writeFileBytes(outputPath, {1, 2, 3});
            if (act.writeEmpty)
                test::writeFileBytes(outputPath, {});
            context.failureNote = act.note;
            return act.result;
        };
    }

    void run(RecordingBatchView& view, ConversionDriver::Routine routine = {}) {
        ConversionDriver driver(settings, view);
        if (routine)
            driver.setRoutine(std::move(routine));
        std::vector<SourceFile*> pointers;
        std::vector<int> rows;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            pointers.push_back(entries[i].get());
            rows.push_back(static_cast<int>(10 + i)); // rows differ from batch positions
        }
        driver.convertBatch(pointers, rows);
        cancelled = driver.cancelled();
    }

    struct Call {
        SourceKind kind;
        std::string sourcePath;
        std::string outputPath;
        int batchPosition;
        std::string noteOnEntry;
    };

    ConversionSettings settings{std::string()};
    std::vector<std::unique_ptr<SourceFile>> entries;
    std::vector<Call> calls;
    bool cancelled = false;
};

TEST_F(ConversionDriverTest, TextsOfASuccessAndAFailureInOrder) {
    addSources({"a.wav", "b.wav"});
    RecordingBatchView view;
    run(view, scripted({converts(), fails()}));
    const std::vector<std::string> expected = {
        "open 2",
        "pump",
        "scroll 10",
        "status 10 Converting...",
        "lower Converting 1 of 2 file(s) to WAV...",
        "step",
        "upper Converting a.wav...",
        "bar 0",
        "status 10 a.wav",
        "pump",
        "scroll 11",
        "status 11 Converting...",
        "lower Converting 2 of 2 file(s) to WAV...",
        "step",
        "upper Converting b.wav...",
        "bar 0",
        "status 11 Conversion Failure",
        "close",
    };
    EXPECT_EQ(view.lines(), expected);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, SourceKind::Wav);
    EXPECT_EQ(calls[0].sourcePath, path("in/a.wav").string());
    EXPECT_EQ(calls[0].outputPath, outPath("a.wav"));
    EXPECT_EQ(calls[1].outputPath, outPath("b.wav"));
    EXPECT_EQ(entries[0]->outputPath, outPath("a.wav"));
    EXPECT_EQ(entries[1]->outputPath, "");
    EXPECT_FALSE(cancelled);
}

TEST_F(ConversionDriverTest, FormatWordOfTheSelectedFormat) {
    const std::pair<int, const char*> formats[] = {{2000, "WAV"}, {6800, "M4R"}, {1000, "MP3"}};
    for (const auto& [format, word] : formats) {
        SCOPED_TRACE(format);
        resetBatch();
        addSources({"a.wav"});
        settings.OutputFormat = format;
        RecordingBatchView view;
        run(view, scripted({converts()}));
        EXPECT_EQ(view.linesOf("lower"), std::vector<std::string>{"Converting 1 of 1 file(s) to " +
                                                                  std::string(word) + "..."});
    }
}

TEST_F(ConversionDriverTest, FailureNoteWidensTheStatusColumnOnce) {
    struct Case {
        int initialWidth;
        std::vector<std::string> widen;
    };
    const Case cases[] = {{145, {"500"}}, {499, {"500"}}, {500, {}}, {640, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.initialWidth);
        resetBatch();
        addSources({"a.wav", "b.wav", "c.wav", "d.wav"});
        RecordingBatchView view;
        view.setInitialStatusColumnWidth(c.initialWidth);
        run(view, scripted({fails("first note"), fails(), {}, failsAfterWriting("second note")}));
        EXPECT_EQ(view.linesOf("widen"), c.widen);
        // The column is widened before the failure's text is shown.
        const std::vector<std::string> statuses =
            view.linesWithout({"pump", "scroll", "lower", "step", "upper", "bar", "open", "close"});
        std::vector<std::string> expected = {"status 10 Converting..."};
        for (const std::string& w : c.widen)
            expected.push_back("widen " + w);
        const std::vector<std::string> rest = {
            "status 10 Conversion Failure (first note)",
            "status 11 Converting...",
            "status 11 Conversion Failure",
            "status 12 Converting...",
            "status 12 c.wav",
            "status 13 Converting...",
            "status 13 Conversion Failure (second note)",
        };
        expected.insert(expected.end(), rest.begin(), rest.end());
        EXPECT_EQ(statuses, expected);
        // Every routine starts with an empty note, whatever the one before left.
        for (const Call& call : calls)
            EXPECT_EQ(call.noteOnEntry, "");
    }
}

TEST_F(ConversionDriverTest, SuccessNeedsANonEmptyOutputFile) {
    addSources({"a.wav", "b.wav", "c.wav"});
    RecordingBatchView view;
    run(view, scripted({succeedsWithEmptyFile(), succeedsWithoutFile(), converts()}));
    EXPECT_EQ(view.linesOf("status"), (std::vector<std::string>{
                                          "10 Converting...",
                                          "10 Conversion Failure",
                                          "11 Converting...",
                                          "11 Conversion Failure",
                                          "12 Converting...",
                                          "12 c.wav",
                                      }));
    EXPECT_EQ(entries[0]->outputPath, "");
    EXPECT_EQ(entries[1]->outputPath, "");
    EXPECT_EQ(entries[2]->outputPath, outPath("c.wav"));
    // The empty file is reported, not removed, by the driver.
    EXPECT_EQ(test::folderNames(path("out")), (std::vector<std::string>{"a.wav", "c.wav"}));
    EXPECT_EQ(std::filesystem::file_size(outPath("a.wav")), 0u);
}

TEST_F(ConversionDriverTest, PathBuilderRefusalBecomesTheStatus) {
    addSources({"a.wav", "b.wav"});
    settings.TargetExistsOpt = 33;
    test::writeFileBytes(outPath("a.wav"), {9});
    entries[0]->outputPath = "/earlier/a.wav"; // from a conversion before
    RecordingBatchView view;
    run(view, scripted({converts()}));
    EXPECT_EQ(view.linesOf("status"), (std::vector<std::string>{
                                          "10 Converting...",
                                          "10 Target exists and skipped",
                                          "11 Converting...",
                                          "11 b.wav",
                                      }));
    EXPECT_TRUE(view.linesOf("widen").empty());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].batchPosition, 2);
    EXPECT_EQ(entries[0]->outputPath, "");
    EXPECT_EQ(test::readFileBytes(outPath("a.wav")), std::vector<std::uint8_t>{9});
}

TEST_F(ConversionDriverTest, AutoRenamedOutputNameIsTheStatus) {
    addSources({"a.wav"});
    test::writeFileBytes(outPath("a.wav"), {9});
    RecordingBatchView view;
    run(view, scripted({converts()}));
    EXPECT_EQ(view.linesOf("status"), (std::vector<std::string>{"10 Converting...", "10 a_1.wav"}));
    EXPECT_EQ(entries[0]->outputPath, outPath("a_1.wav"));
}

TEST_F(ConversionDriverTest, TracksFollowTheBatchPosition) {
    struct Case {
        const char* name;
        bool firstSkippedByPath; // else the first file fails in its routine
        std::vector<int> positions;
    };
    const Case cases[] = {{"RoutineFailure", false, {1, 2, 3}}, {"PathRefusal", true, {2, 3}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetBatch();
        addSources({"a.wav", "b.wav", "c.wav"});
        settings.TargetExistsOpt = c.firstSkippedByPath ? 33 : 11;
        if (c.firstSkippedByPath)
            test::writeFileBytes(outPath("a.wav"), {9});
        TagPreset preset;
        preset.TrackNumType = 1;
        std::vector<int> tracks;
        auto inner =
            scripted(c.firstSkippedByPath ? std::vector<Act>{converts(), converts()}
                                          : std::vector<Act>{fails(), converts(), converts()});
        RecordingBatchView view;
        run(view, [&](SourceKind kind, const std::string& sourcePath, const std::string& outputPath,
                      RoutineContext& context) {
            tracks.push_back(
                TagValues::fromPreset(preset, sourcePath, context.batchPosition).track);
            return inner(kind, sourcePath, outputPath, context);
        });
        EXPECT_EQ(tracks, c.positions);
    }
}

TEST_F(ConversionDriverTest, FileManagerShowsTheFirstConvertedFile) {
    struct Case {
        const char* name;
        int browse;
        std::vector<Act> acts;
        std::vector<std::string> shown; // names in "out"
    };
    const Case cases[] = {
        {"FirstFailed", 1, {fails(), converts(), converts()}, {"b.wav"}},
        {"AllConverted", 1, {converts(), converts(), converts()}, {"a.wav"}},
        // Only an output that still exists is shown.
        {"FirstOutputGone", 1, {converts(), convertsRemoving("a.wav"), converts()}, {"b.wav"}},
        {"NoneConverted", 1, {fails(), fails("n"), succeedsWithEmptyFile()}, {}},
        {"Off", 0, {fails(), converts(), converts()}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetBatch();
        addSources({"a.wav", "b.wav", "c.wav"});
        settings.BrowseOutputFolder = c.browse;
        RecordingBatchView view;
        run(view, scripted(c.acts));
        std::vector<std::string> expected;
        for (const std::string& name : c.shown)
            expected.push_back(outPath(name));
        EXPECT_EQ(view.linesOf("show"), expected);
        // Shown after the progress window was closed.
        if (!expected.empty())
            EXPECT_EQ(view.lines().end()[-2], "close");
        else
            EXPECT_EQ(view.lines().back(), "close");
    }
}

TEST_F(ConversionDriverTest, CancelDuringTheSecondFileStopsTheBatchThere) {
    struct Case {
        const char* name;
        const char* cancelOn; // the line at which the user presses Cancel
        bool pathRefused;
        Act second;
        const char* secondStatus;
        std::size_t calls;
        const char* secondOutput;
    };
    const Case cases[] = {
        // After the last block: the file counts as converted.
        {"AfterTheFileWasDone", "status 11 b.wav", false, converts(), "b.wav", 2, "b.wav"},
        {"BeforeTheRoutineSucceeded", "upper Converting b.wav...", false, converts(), "b.wav", 2,
         "b.wav"},
        {"BeforeTheRoutineFailed", "upper Converting b.wav...", false, fails(), "Cancelled", 2, ""},
        {"BeforeThePathWasRefused", "upper Converting b.wav...", true, converts(), "Cancelled", 1,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetBatch();
        addSources({"a.wav", "b.wav", "c.wav"});
        settings.BrowseOutputFolder = 1;
        settings.TargetExistsOpt = c.pathRefused ? 33 : 11;
        if (c.pathRefused)
            test::writeFileBytes(outPath("b.wav"), {9});
        RecordingBatchView view;
        view.cancelOnLine(c.cancelOn);
        run(view, scripted({converts(), c.second, converts()}));
        EXPECT_EQ(view.linesOf("status"), (std::vector<std::string>{
                                              "10 Converting...",
                                              "10 a.wav",
                                              "11 Converting...",
                                              "11 " + std::string(c.secondStatus),
                                          }));
        EXPECT_TRUE(view.linesOf("widen").empty());
        EXPECT_EQ(calls.size(), c.calls);
        EXPECT_EQ(entries[1]->outputPath,
                  *c.secondOutput ? outPath(c.secondOutput) : std::string());
        EXPECT_TRUE(view.linesOf("show").empty());
        EXPECT_EQ(view.lines().back(), "close");
        EXPECT_TRUE(cancelled);
    }
}

TEST_F(ConversionDriverTest, CancelInTheThirdOfFiveFilesWithTheWavRoutine) {
    // Ten blocks per file, so cancel lands in the middle of the third.
    addSources({"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"}, 1152 * 10);
    entries[3]->outputPath = "/earlier/d.wav";
    settings.BrowseOutputFolder = 1;
    RecordingBatchView view;
    view.cancelOnLine("upper Converting c.wav...50%");
    run(view);

    EXPECT_EQ(view.linesOf("status"), (std::vector<std::string>{
                                          "10 Converting...",
                                          "10 a.wav",
                                          "11 Converting...",
                                          "11 b.wav",
                                          "12 Converting...",
                                          "12 Cancelled",
                                      }));
    EXPECT_EQ(view.lines().back(), "close");
    EXPECT_TRUE(view.linesOf("show").empty());
    EXPECT_TRUE(cancelled);
    // After cancel no further block of c.wav was shown.
    EXPECT_EQ(view.linesOf("upper").back(), "Converting c.wav...50%");

    EXPECT_EQ(entries[0]->outputPath, outPath("a.wav"));
    EXPECT_EQ(entries[1]->outputPath, outPath("b.wav"));
    EXPECT_EQ(entries[2]->outputPath, "");
    EXPECT_EQ(entries[3]->outputPath, "/earlier/d.wav");
    EXPECT_EQ(entries[4]->outputPath, "");
    EXPECT_EQ(test::folderNames(path("out")), (std::vector<std::string>{"a.wav", "b.wav"}));
    EXPECT_EQ(test::folderNames(path("in")),
              (std::vector<std::string>{"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"}));
    EXPECT_EQ(test::readFileBytes(outPath("a.wav")), test::readFileBytes(path("in/a.wav")));
}

// Without any SoundFont: the environment list set but empty finds none.
class DriverWithoutSoundFontTest : public ConversionDriverTest {
protected:
    void SetUp() override {
        ConversionDriverTest::SetUp();
        setenv(MidiSoundFont::kPathVariable, "", 1);
        MidiSoundFont::clear();
    }
    void TearDown() override {
        unsetenv(MidiSoundFont::kPathVariable);
        MidiSoundFont::clear();
        ConversionDriverTest::TearDown();
    }

    // a.mid, b.wav, c.mid: the MIDI entries are listed only, never read.
    void addMixedBatch() {
        addSources({"a.mid", "b.wav", "c.mid"});
        entries[0]->kind = SourceKind::Midi;
        entries[2]->kind = SourceKind::Midi;
        entries[0]->outputPath = "/earlier/a.wav";
    }
};

TEST_F(DriverWithoutSoundFontTest, AnsweredNoTheMidiFilesFailAndTheOthersConvert) {
    addMixedBatch();
    RecordingBatchView view;
    view.setAnswers(false, false);
    run(view, scripted({converts()}));

    EXPECT_EQ(view.linesOf("ask-soundfont").size(), 1u);
    EXPECT_EQ(view.linesOf("status"), (std::vector<std::string>{
                                          "10 Failure. Requires file \"ct4mgm.sf2\".",
                                          "11 Converting...",
                                          "11 b.wav",
                                          "12 Failure. Requires file \"ct4mgm.sf2\".",
                                      }));
    // Only the converted file steps the batch bar: it ends two steps short of full.
    EXPECT_EQ(view.linesOf("step").size(), 1u);
    EXPECT_EQ(view.linesOf("open"), std::vector<std::string>{"3"});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].batchPosition, 2);
    EXPECT_EQ(entries[0]->outputPath, "");
}

TEST_F(DriverWithoutSoundFontTest, AnsweredYesNothingIsConverted) {
    addMixedBatch();
    RecordingBatchView view;
    view.setAnswers(false, true);
    run(view, scripted({converts()}));

    EXPECT_EQ(view.lines().size(), 1u);
    EXPECT_EQ(view.linesOf("ask-soundfont").size(), 1u);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(entries[0]->outputPath, "/earlier/a.wav");
}

TEST_F(DriverWithoutSoundFontTest, ABatchWithoutMidiAsksNothing) {
    addSources({"a.wav"});
    RecordingBatchView view;
    run(view, scripted({converts()}));
    EXPECT_TRUE(view.linesOf("ask-soundfont").empty());
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(ConversionDriverTest, WindowsMediaBatchWithoutTheRuntimeAsksAndConvertsNothing) {
    for (const int format : {7100, 7200, 7300}) {
        SCOPED_TRACE(format);
        resetBatch();
        addSources({"a.wav"});
        settings.OutputFormat = format;
        RecordingBatchView view;
        ConversionDriver driver(settings, view);
        driver.setRoutine(scripted({converts()}));
        driver.setWindowsMediaCheck([] { return false; });
        std::vector<SourceFile*> pointers{entries[0].get()};
        const std::vector<int> rows{10};
        driver.convertBatch(pointers, rows);
        EXPECT_EQ(view.lines(), std::vector<std::string>{"ask-runtime"});
        EXPECT_TRUE(calls.empty());
    }
}

TEST_F(ConversionDriverTest, OtherFormatsNeverCheckTheWindowsMediaRuntime) {
    addSources({"a.wav"});
    RecordingBatchView view;
    ConversionDriver driver(settings, view);
    driver.setRoutine(scripted({converts()}));
    bool checked = false;
    driver.setWindowsMediaCheck([&checked] {
        checked = true;
        return false;
    });
    std::vector<SourceFile*> pointers{entries[0].get()};
    const std::vector<int> rows{10};
    driver.convertBatch(pointers, rows);
    EXPECT_FALSE(checked);
    EXPECT_TRUE(view.linesOf("ask-runtime").empty());
    EXPECT_EQ(calls.size(), 1u);
}

} // namespace
} // namespace velmora
