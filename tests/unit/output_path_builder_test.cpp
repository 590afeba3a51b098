#include "engine/output_path_builder.h"
#include "platform/folder_creator.h"
#include "tests/unit/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUntouched = "untouched";
constexpr const char* kSkipped = "Target exists and skipped";
constexpr const char* kSameAsSource =
    "Target file name is same as original file that can't be overwritten. Please output files to "
    "a custom folder.";

// Tests run as root, which ignores permission bits: a folder that cannot be created is made by
// putting a regular file where a parent folder should be.

struct BuildResult {
    bool ok = false;
    std::string outputPath;
    std::string message;
};

class OutputPathBuilderTest : public test::SandboxTest {
protected:
    std::string at(const std::string& name) const { return path(name).string(); }

    void makeFile(const std::string& name, const std::string& content = "source") const {
        fs::create_directories(path(name).parent_path());
        test::writeFileBytes(path(name), {content.begin(), content.end()});
    }

    std::string contentOf(const std::string& name) const {
        const auto bytes = test::readFileBytes(path(name));
        return {bytes.begin(), bytes.end()};
    }

    // Every entry below root(), relative, so that a test can prove what was left behind.
    std::set<std::string> tree() const {
        std::set<std::string> names;
        for (const auto& item : fs::recursive_directory_iterator(root()))
            names.insert(fs::relative(item.path(), root()).string());
        return names;
    }

    static OutputPathOptions nextToSource(int targetExistsOpt = OutputPathOptions::kAutoRename) {
        OutputPathOptions options;
        options.destOutputFolderOpt = OutputPathOptions::kNextToSource;
        options.targetExistsOpt = targetExistsOpt;
        options.outputFiles2MyDocuments = false;
        options.extension = ".mp3";
        return options;
    }

    OutputPathOptions customFolder(const std::string& folder, bool createDirs = false) const {
        OutputPathOptions options = nextToSource();
        options.destOutputFolderOpt = OutputPathOptions::kCustomFolder;
        options.destSpecifiedFolder = folder;
        options.createDirs = createDirs;
        return options;
    }

    BuildResult build(const OutputPathOptions& options, const std::string& source) {
        const OutputPathBuilder builder(options, [this] {
            ++m_documentsQueries;
            return m_documents;
        });
        SourceFile entry;
        entry.path = source;
        entry.outputPath = kUntouched;
        BuildResult result;
        result.message = kUntouched;
        result.ok = builder.buildOutputPath(entry, result.message);
        result.outputPath = entry.outputPath;
        EXPECT_EQ(entry.path, source);
        if (result.ok) {
            EXPECT_EQ(result.message, kUntouched) << "success must not touch the message";
        } else {
            EXPECT_EQ(result.outputPath, kUntouched) << "failure must not touch the entry";
        }
        return result;
    }

    std::string m_documents;
    int m_documentsQueries = 0;

    void SetUp() override {
        test::SandboxTest::SetUp();
        m_documents = at("docs");
    }
};

TEST_F(OutputPathBuilderTest, NextToSourceSwapsOnlyTheFileNameExtension) {
    struct Case {
        const char* source;
        const char* output;
    };
    const Case cases[] = {
        {"a/song.wav", "a/song.mp3"},    {"a/README", "a/README.mp3"}, {"a.b/c", "a.b/c.mp3"},
        {"a.b/c.d.flac", "a.b/c.d.mp3"}, {"a/Été.ogg", "a/Été.mp3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        makeFile(c.source);
        const auto before = tree();
        const BuildResult result = build(nextToSource(), at(c.source));
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(result.outputPath, at(c.output));
        EXPECT_EQ(tree(), before) << "the probe file must be removed again";
    }
}

TEST_F(OutputPathBuilderTest, AutoRenameTakesTheFirstFreeNumber) {
    makeFile("a/song.mp3");
    EXPECT_EQ(build(nextToSource(), at("a/song.mp3")).outputPath, at("a/song_1.mp3"));
    makeFile("a/song_1.mp3");
    EXPECT_EQ(build(nextToSource(), at("a/song.mp3")).outputPath, at("a/song_2.mp3"));
    // A later number being taken does not matter; a gap is filled first.
    fs::remove(path("a/song_1.mp3"));
    makeFile("a/song_2.mp3");
    EXPECT_EQ(build(nextToSource(), at("a/song.mp3")).outputPath, at("a/song_1.mp3"));
    EXPECT_EQ(tree(), (std::set<std::string>{"a", "a/song.mp3", "a/song_2.mp3", "config", "home"}));
}

TEST_F(OutputPathBuilderTest, AnythingBearingTheCandidateNameCountsAsExisting) {
    makeFile("a/song.wav");
    fs::create_directories(path("a/song.mp3"));
    fs::create_symlink(path("nowhere"), path("a/song_1.mp3"));
    EXPECT_EQ(build(nextToSource(), at("a/song.wav")).outputPath, at("a/song_2.mp3"));
}

TEST_F(OutputPathBuilderTest, RefusedTargetsEndAtOnceWithoutFallback) {
    struct Case {
        int policy;
        const char* source; // the file "a/song.mp3" exists; SONG.MP3 too
        const char* message;
    };
    const Case cases[] = {
        {OutputPathOptions::kOverwrite, "a/song.mp3", kSameAsSource},
        // Paths compare without regard to case: the candidate a/SONG.mp3 is taken as the source.
        {OutputPathOptions::kOverwrite, "a/SONG.MP3", kSameAsSource},
        {OutputPathOptions::kSkip, "a/song.mp3", kSkipped},
        {OutputPathOptions::kSkip, "a/song.wav", kSkipped},
    };
    makeFile("a/song.mp3", "original");
    makeFile("a/SONG.MP3", "upper");
    makeFile("a/SONG.mp3", "mixed");
    makeFile("a/song.wav", "wav");
    const auto before = tree();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        OutputPathOptions options = nextToSource(c.policy);
        options.outputFiles2MyDocuments = true;
        const BuildResult result = build(options, at(c.source));
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, c.message);
    }
    EXPECT_EQ(m_documentsQueries, 0);
    EXPECT_EQ(tree(), before);
    EXPECT_EQ(contentOf("a/song.mp3"), "original");
    EXPECT_EQ(contentOf("a/SONG.mp3"), "mixed");
}

TEST_F(OutputPathBuilderTest, OverwriteRefusesTheSourceUnderAnotherSpelling) {
    makeFile("a/song.mp3", "original");
    fs::create_directory_symlink(path("a"), path("link"));
    for (const std::string& folder : {at("a") + "//", at("a/./"), at("link")}) {
        SCOPED_TRACE(folder);
        OutputPathOptions options = customFolder(folder);
        options.targetExistsOpt = OutputPathOptions::kOverwrite;
        const BuildResult result = build(options, at("a/song.mp3"));
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, kSameAsSource);
    }
    EXPECT_EQ(contentOf("a/song.mp3"), "original");
}

TEST_F(OutputPathBuilderTest, OverwriteKeepsTheExistingTargetIntact) {
    makeFile("a/song.wav");
    makeFile("a/song.mp3", "the user's earlier output");
    const auto before = tree();
    const BuildResult result = build(nextToSource(OutputPathOptions::kOverwrite), at("a/song.wav"));
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.outputPath, at("a/song.mp3"));
    EXPECT_EQ(contentOf("a/song.mp3"), "the user's earlier output");
    EXPECT_EQ(tree(), before);
}

TEST_F(OutputPathBuilderTest, OverwriteOnlyReplacesRegularFiles) {
    makeFile("a/song.wav");
    fs::create_directories(path("a/song.mp3/inside"));
    fs::create_directories(path("b"));
    makeFile("b/song.wav");
    // A device would swallow the output and still look like success.
    fs::create_symlink("/dev/null", path("b/song.mp3"));
    for (const char* folder : {"a", "b"}) {
        SCOPED_TRACE(folder);
        const std::string source = at(std::string(folder) + "/song.wav");
        const BuildResult result = build(nextToSource(OutputPathOptions::kOverwrite), source);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message,
                  "Failed to create file \"" + at(std::string(folder) + "/song.mp3") + "\"");
    }
    EXPECT_TRUE(fs::is_directory(path("a/song.mp3/inside")));
}

TEST_F(OutputPathBuilderTest, CustomFolderIsCreatedWithOrWithoutTrailingSeparator) {
    for (const std::string& folder : {at("out/x"), at("out/y/"), at("out//z")}) {
        SCOPED_TRACE(folder);
        const BuildResult result = build(customFolder(folder), "/music/pop/song.flac");
        ASSERT_TRUE(result.ok) << result.message;
        const std::string expectedFolder = folder.back() == '/' ? folder : folder + "/";
        EXPECT_EQ(result.outputPath, expectedFolder + "song.mp3");
        EXPECT_TRUE(fs::is_directory(folder));
        EXPECT_TRUE(fs::is_empty(folder));
    }
}

TEST_F(OutputPathBuilderTest, CreateDirsRebuildsTheSourceFolderBelowTheCustomFolder) {
    struct Case {
        const char* source;
        const char* output; // below the custom folder
    };
    const Case cases[] = {
        {"/home/u/Music/pop/1.wav", "home/u/Music/pop/1.wav"},
        {"//home//u/Music///pop/1.wav", "home/u/Music/pop/1.wav"},
        {"/c:/Music:/pop/1.wav", "c/Music/pop/1.wav"},
        // Only folder names lose their ":"; the file keeps its own name.
        {"/home/u/a:b.wav", "home/u/a:b.wav"},
        // The copy stays below the custom folder.
        {"/home/../../../etc/./1.wav", "etc/1.wav"},
        {"relative/1.wav", "relative/1.wav"},
        {"1.wav", "1.wav"},
    };
    int run = 0;
    for (const Case& c : cases) {
        for (const char* slash : {"", "/"}) {
            SCOPED_TRACE(std::string(c.source) + " with folder suffix '" + slash + "'");
            const std::string out = at("out" + std::to_string(run++));
            OutputPathOptions options = customFolder(out + slash, true);
            options.extension = ".wav";
            const BuildResult result = build(options, c.source);
            ASSERT_TRUE(result.ok) << result.message;
            EXPECT_EQ(result.outputPath, out + "/" + c.output);
            const fs::path made = fs::path(result.outputPath).parent_path();
            EXPECT_TRUE(fs::is_directory(made));
            EXPECT_TRUE(fs::is_empty(made));
        }
    }
}

TEST_F(OutputPathBuilderTest, EmptyCustomFolderFallsBackToDocuments) {
    OutputPathOptions options = customFolder("", true);
    options.outputFiles2MyDocuments = true;
    BuildResult result = build(options, "/music/pop/song.wav");
    ASSERT_TRUE(result.ok) << result.message;
    // createDirs was asked for below a custom folder, so the Documents pass keeps it.
    EXPECT_EQ(result.outputPath, at("docs/music/pop/song.mp3"));

    options.createDirs = false;
    result = build(options, "/music/pop/song.wav");
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.outputPath, at("docs/song.mp3"));

    options.outputFiles2MyDocuments = false;
    result = build(options, "/music/pop/song.wav");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "Failed to create folder \"\"");
    EXPECT_EQ(m_documentsQueries, 2);
}

TEST_F(OutputPathBuilderTest, UnknownDocumentsFolderKeepsTheFirstMessage) {
    m_documents.clear();
    OutputPathOptions options = customFolder("");
    options.outputFiles2MyDocuments = true;
    const BuildResult result = build(options, "/music/song.wav");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "Failed to create folder \"\"");
    EXPECT_EQ(m_documentsQueries, 1);
}

TEST_F(OutputPathBuilderTest, FallbackFromNextToSourceIgnoresCreateDirs) {
    // The source's folder is gone, so the probe beside it fails.
    OutputPathOptions options = nextToSource();
    options.createDirs = true;
    options.outputFiles2MyDocuments = true;
    const BuildResult result = build(options, at("gone/pop/song.wav"));
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.outputPath, at("docs/song.mp3"));
    EXPECT_FALSE(fs::exists(path("gone")));
}

TEST_F(OutputPathBuilderTest, FolderCreationFailure) {
    makeFile("blocker");
    struct Case {
        std::string folder;
        bool createDirs;
        std::string source;
        std::string failedFolder;
    };
    makeFile("out/pop", "a file where the rebuilt folder should go");
    const Case cases[] = {
        {at("blocker/out"), false, "/music/song.wav", at("blocker/out")},
        {at("blocker"), false, "/music/song.wav", at("blocker")},
        {at("out"), true, "/pop/song.wav", at("out/pop/")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        OutputPathOptions options = customFolder(c.folder, c.createDirs);
        BuildResult result = build(options, c.source);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, "Failed to create folder \"" + c.failedFolder + "\"");

        options.outputFiles2MyDocuments = true;
        result = build(options, c.source);
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(result.outputPath, c.createDirs ? at("docs/pop/song.mp3") : at("docs/song.mp3"));
    }
}

TEST_F(OutputPathBuilderTest, FailedProbeLeavesNothingAndSecondPassMessageWins) {
    // Longer than NAME_MAX: the file cannot be created in any folder.
    const std::string base(300, 'n');
    fs::create_directories(path("out"));
    const auto before = tree();

    OutputPathOptions options = customFolder(at("out"));
    BuildResult result = build(options, "/music/" + base + ".wav");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "Failed to create file \"" + at("out/" + base + ".mp3") + "\"");
    EXPECT_EQ(tree(), before);

    options.outputFiles2MyDocuments = true;
    result = build(options, "/music/" + base + ".wav");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "Failed to create file \"" + at("docs/" + base + ".mp3") + "\"");
    EXPECT_EQ(m_documentsQueries, 1);
    auto expected = before;
    expected.insert("docs");
    EXPECT_EQ(tree(), expected);
}

class FolderCreatorTest : public test::SandboxTest {};

TEST_F(FolderCreatorTest, CreatesEveryMissingParent) {
    const fs::path target = path("a/b//c/");
    EXPECT_TRUE(FolderCreator::existsOrCreate(target.string()));
    EXPECT_TRUE(fs::is_directory(path("a/b/c")));
    EXPECT_TRUE(FolderCreator::existsOrCreate(target.string())) << "an existing folder is fine";
    EXPECT_TRUE(FolderCreator::existsOrCreate("/"));
}

TEST_F(FolderCreatorTest, FollowsALinkToAFolder) {
    fs::create_directories(path("real"));
    fs::create_directory_symlink(path("real"), path("link"));
    EXPECT_TRUE(FolderCreator::existsOrCreate(path("link/sub").string()));
    EXPECT_TRUE(fs::is_directory(path("real/sub")));
}

TEST_F(FolderCreatorTest, FailsOnComponentsThatCannotBeFolders) {
    test::writeFileBytes(path("file"), {'x'});
    fs::create_symlink(path("nowhere"), path("dangling"));
    const std::string tooLong(300, 'x');
    const std::string cases[] = {
        "",
        path("file").string(),
        path("file/sub").string(),
        path("dangling/sub").string(),
        path("ok/" + tooLong + "/sub").string(),
    };
    for (const std::string& folder : cases) {
        SCOPED_TRACE(folder);
        EXPECT_FALSE(FolderCreator::existsOrCreate(folder));
    }
    EXPECT_FALSE(fs::exists(path("nowhere")));
    // Parents made before the failing component stay; nothing beyond it is made.
    EXPECT_TRUE(fs::is_directory(path("ok")));
    EXPECT_TRUE(fs::is_empty(path("ok")));
}

} // namespace
} // namespace velmora
