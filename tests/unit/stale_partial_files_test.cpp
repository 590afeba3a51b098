// Partial files left by a conversion killed outright: the exact name form is recognised, and a
// sweep removes those of processes that no longer exist and nothing else.

#include "engine/conversion_routine.h"
#include "engine/stale_partial_files.h"
#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;

// The id of a process that has ended and been reaped.
pid_t deadProcessId() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

class StalePartialFilesTest : public test::SandboxTest {};

TEST_F(StalePartialFilesTest, OwnerIsReadOnlyFromTheExactNameForm) {
    const std::string ours = fs::path(ConversionRoutine::partialPathFor("/x/Song.MP3")).filename();
    EXPECT_EQ(StalePartialFiles::partialFileOwner(ours), ::getpid());
    struct Case {
        std::string name;
        std::optional<pid_t> owner;
    };
    for (const Case& c : {
             Case{".a.mp3.partial-42.mp3", 42},
             Case{".noext.partial-42", 42},
             Case{".a.partial-1.mp3.partial-42.mp3", 42}, // a name that holds the mark itself
             Case{"a.mp3.partial-42.mp3", std::nullopt},  // not hidden
             Case{".a.mp3.partial-42.wav", std::nullopt}, // extension not the name's
             Case{".a.MP3.partial-42.MP3", std::nullopt}, // the writer lower-cases it
             Case{".a.mp3.partial-042.mp3", std::nullopt},
             Case{".a.mp3.partial-0.mp3", std::nullopt},
             Case{".a.mp3.partial-4x2.mp3", std::nullopt},
             Case{".a.mp3.partial-.mp3", std::nullopt},
             Case{".a.mp3.partial-42.mp3.bak", std::nullopt},
             Case{".a.mp3.partial-99999999999999999999.mp3", std::nullopt},
             Case{"..partial-42", std::nullopt},
         }) {
        EXPECT_EQ(StalePartialFiles::partialFileOwner(c.name), c.owner) << c.name;
    }
}

TEST_F(StalePartialFilesTest, SweepRemovesOnlyTheFilesOfEndedProcesses) {
    const fs::path folder = path("out");
    fs::create_directories(folder);
    const std::string dead = std::to_string(deadProcessId());
    const std::string live = std::to_string(::getpid());
    const std::vector<std::string> stale = {".a.mp3.partial-" + dead + ".mp3",
                                            ".b.partial-" + dead};
    const std::vector<std::string> kept = {
        ".c.mp3.partial-" + live + ".mp3", // a conversion running now
        ".d.mp3.partial-" + dead + ".wav", "d.mp3.partial-" + dead + ".mp3",
        ".d.mp3.partial-" + dead + ".mp3.keep", "d.mp3"};
    for (const auto& name : stale)
        test::writeFileBytes(folder / name, {1, 2, 3});
    for (const auto& name : kept)
        test::writeFileBytes(folder / name, {1, 2, 3});
    // Right name, but not a file of ours: a folder and a link are never removed.
    fs::create_directory(folder / (".e.mp3.partial-" + dead + ".mp3"));
    fs::create_symlink(folder / "d.mp3", folder / (".f.mp3.partial-" + dead + ".mp3"));

    EXPECT_EQ(StalePartialFiles::sweep(folder.string()), 2);
    std::vector<std::string> expected = kept;
    expected.push_back(".e.mp3.partial-" + dead + ".mp3");
    expected.push_back(".f.mp3.partial-" + dead + ".mp3");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::folderNames(folder), expected);
}

} // namespace
} // namespace velmora
