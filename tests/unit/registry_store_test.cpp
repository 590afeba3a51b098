#include "platform/registry_store.h"
#include "platform/registry_text.h"
#include "platform/user_folders.h"
#include "tests/unit/test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kOptions = "Software\\Ostrane Velmora\\Options";

std::string readText(const fs::path& file) {
    const auto bytes = test::readFileBytes(file);
    return {bytes.begin(), bytes.end()};
}

void writeText(const fs::path& file, std::string_view text) {
    test::writeFileBytes(file, std::vector<std::uint8_t>(text.begin(), text.end()));
}

class RegistryStoreTest : public test::SandboxTest {
protected:
    fs::path storeFile() const { return path("config") / "velmora.reg"; }
    RegistryStore store() const { return RegistryStore(storeFile()); }
};

TEST_F(RegistryStoreTest, StoreFileFollowsTheConfigFolderRule) {
    EXPECT_EQ(RegistryStore::defaultFile(), path("config") / "velmora.reg");

    unsetenv("VELMORA_CONFIG_DIR");
    EXPECT_EQ(RegistryStore::defaultFile(), path("home") / ".config" / "velmora" / "velmora.reg");

    setenv("XDG_CONFIG_HOME", path("xdg").c_str(), 1);
    EXPECT_EQ(RegistryStore::defaultFile(), path("xdg") / "velmora" / "velmora.reg");

    // A relative XDG_CONFIG_HOME is invalid and ignored.
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(RegistryStore::defaultFile(), path("home") / ".config" / "velmora" / "velmora.reg");
}

TEST_F(RegistryStoreTest, WritesTheRegFormAndCreatesTheFolder) {
    const RegistryStore nested(path("config") / "new" / "deeper" / "velmora.reg");
    RegistryStore::Transaction transaction;
    transaction.setDword(kOptions, "OutputFormat", 1000);
    transaction.setText(kOptions, "Folder", "/home/u/Music/");
    transaction.setDword(std::string(kOptions) + "\\MP3Tag", "TrackNumType", -1);
    ASSERT_TRUE(nested.commit(transaction));

    EXPECT_EQ(readText(nested.file()),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n"
              "\"OutputFormat\"=dword:000003e8\n"
              "\"Folder\"=\"/home/u/Music/\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options\\MP3Tag]\n"
              "\"TrackNumType\"=dword:ffffffff\n");
}

TEST_F(RegistryStoreTest, EmptyTransactionTouchesNothing) {
    EXPECT_TRUE(store().commit(RegistryStore::Transaction()));
    EXPECT_FALSE(fs::exists(storeFile()));
    EXPECT_FALSE(fs::exists(fs::path(storeFile()).concat(".lock")));
}

TEST_F(RegistryStoreTest, KeyPathWithALineBreakIsRefused) {
    RegistryStore::Transaction transaction;
    transaction.setDword(kOptions, "Good", 1);
    transaction.setDword(std::string(kOptions) + "]\n[Injected", "Bad", 2);
    EXPECT_FALSE(store().commit(transaction));
    EXPECT_FALSE(fs::exists(storeFile()));
}

TEST_F(RegistryStoreTest, MissingFileGivesNoKeys) {
    const auto snapshot = store().load();
    EXPECT_EQ(snapshot.key(kOptions), nullptr);
    EXPECT_EQ(snapshot.key(""), nullptr);
}

TEST_F(RegistryStoreTest, TextsComeBackByteForByte) {
    const std::vector<std::string> texts = {
        "",
        "plain",
        "C:\\Music\\",
        "say \"hi\"",
        "\\\"",
        "trailing backslash\\",
        "Ærøskøbing – 東京 – \xF0\x9F\x8E\xB5",
        "two\nlines\r\n",
        "tab\there",
        std::string("nul\0inside", 10),
        "\x01\x1f\x7f",
        "latin-1 \xE9t\xE9",                  // not UTF-8
        "cut sequence \xE6\x9D",              // a truncated three-byte sequence
        "overlong \xC0\xAF and \xED\xA0\x80", // invalid forms
        "\\x41 looks like an escape",
    };
    RegistryStore::Transaction transaction;
    for (std::size_t i = 0; i < texts.size(); ++i)
        transaction.setText(kOptions, "Text" + std::to_string(i), texts[i]);
    ASSERT_TRUE(store().commit(transaction));

    const std::string file = readText(storeFile());
    // The file itself stays one line per value and valid UTF-8.
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), static_cast<long>(texts.size()) + 3);
    EXPECT_EQ(file.find('\0'), std::string::npos);

    const auto snapshot = store().load();
    const auto* key = snapshot.key(kOptions);
    ASSERT_NE(key, nullptr);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(key->text("Text" + std::to_string(i)), texts[i]) << "text " << i;
    }
}

TEST_F(RegistryStoreTest, DwordsKeepTheirSignedValue) {
    const std::vector<std::int32_t> numbers = {0, 1, 127, -1, 2147483647, -2147483647 - 1, 44100};
    RegistryStore::Transaction transaction;
    for (std::size_t i = 0; i < numbers.size(); ++i)
        transaction.setDword(kOptions, "N" + std::to_string(i), numbers[i]);
    ASSERT_TRUE(store().commit(transaction));
    const auto snapshot = store().load();
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        EXPECT_EQ(snapshot.key(kOptions)->dword("N" + std::to_string(i)), numbers[i]);
    }
    EXPECT_NE(readText(storeFile()).find("\"N6\"=dword:0000ac44\n"), std::string::npos);
}

struct LineCase {
    std::string line;
    bool readable;
    RegistryStore::ValueType type;
    std::int32_t number;
    std::string text;
};

TEST_F(RegistryStoreTest, ValueLinesParseOrAreIgnored) {
    using Type = RegistryStore::ValueType;
    const std::vector<LineCase> cases = {
        {R"("V"=dword:0000007f)", true, Type::Dword, 127, ""},
        {R"("V"=DWORD:0000007F)", true, Type::Dword, 127, ""},
        {R"("V"=dword:7f)", true, Type::Dword, 127, ""},
        {R"(  "V" = dword:00000001  )", true, Type::Dword, 1, ""},
        {R"("V"=dword:80000000)", true, Type::Dword, -2147483647 - 1, ""},
        {R"("V"="a\\b\"c")", true, Type::Sz, 0, "a\\b\"c"},
        {R"("V"="")", true, Type::Sz, 0, ""},
        {R"("V"="x\x41y")", true, Type::Sz, 0, "xAy"},
        {"\"V\"=\"caf\xE9\"", true, Type::Sz, 0, "caf\xEF\xBF\xBD"}, // raw Latin-1 is repaired
        {R"("V"=dword:)", false, {}, 0, ""},
        {R"("V"=dword:100000000)", false, {}, 0, ""}, // nine digits
        {R"("V"=dword:0000007g)", false, {}, 0, ""},
        {R"("V"=dword:-1)", false, {}, 0, ""},
        {R"("V"="unterminated)", false, {}, 0, ""},
        {R"("V"="bad \q escape")", false, {}, 0, ""},
        {R"("V"="bad \x4 escape")", false, {}, 0, ""},
        {R"("V"="text" trailing)", false, {}, 0, ""},
        {R"("V"=hex:01,02)", false, {}, 0, ""},
        {R"("V"=-)", false, {}, 0, ""},
        {R"(@="default")", false, {}, 0, ""},
        {R"(V=dword:00000001)", false, {}, 0, ""},
        {R"("V"dword:00000001)", false, {}, 0, ""},
        {"; a comment", false, {}, 0, ""},
    };
    for (const LineCase& c : cases) {
        writeText(storeFile(), "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n" +
                                   c.line + "\n\"Other\"=dword:00000002\n");
        const auto snapshot = store().load();
        const auto* key = snapshot.key(kOptions);
        ASSERT_NE(key, nullptr) << c.line;
        EXPECT_EQ(key->dword("Other"), 2) << c.line;
        const auto* value = key->find("V");
        if (!c.readable) {
            EXPECT_EQ(value, nullptr) << c.line;
            continue;
        }
        ASSERT_NE(value, nullptr) << c.line;
        EXPECT_EQ(value->type, c.type) << c.line;
        if (c.type == Type::Dword) {
            EXPECT_EQ(value->dword, c.number) << c.line;
        } else {
            EXPECT_EQ(value->text, c.text) << c.line;
        }
    }
}

TEST_F(RegistryStoreTest, NamesCompareWithoutCaseAndTypesAreKept) {
    writeText(storeFile(), "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                           "[hkey_current_user\\SOFTWARE\\ostrane velmora\\options]\r\n"
                           "\"MP3BitRate\"=\"192\"\r\n"
                           "\"Folder\"=dword:00000001\r\n"
                           "\"outputformat\"=dword:00001a5e\r\n");
    const auto snapshot = store().load();
    const auto* key = snapshot.key(kOptions);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->dword("OutputFormat"), 6750);
    // A value of the other type is not the value asked for.
    EXPECT_EQ(key->dword("MP3BitRate"), std::nullopt);
    EXPECT_EQ(key->text("MP3BitRate"), "192");
    EXPECT_EQ(key->text("Folder"), std::nullopt);
}

TEST_F(RegistryStoreTest, LaterLinesWinAndCommitReplacesTheOneThatCounts) {
    writeText(storeFile(), "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n"
                           "\"A\"=dword:00000001\n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n"
                           "\"A\"=dword:00000002\n");
    EXPECT_EQ(store().load().key(kOptions)->dword("A"), 2);
    RegistryStore::Transaction transaction;
    transaction.setDword(kOptions, "a", 3);
    ASSERT_TRUE(store().commit(transaction));
    EXPECT_EQ(store().load().key(kOptions)->dword("A"), 3);
}

TEST_F(RegistryStoreTest, SubkeyImpliesItsParents) {
    writeText(storeFile(), "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options\\MP3Tag]\n"
                           "\"Artist\"=\"x\"\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n"
                           "\"Artist\"=\"y\"\n");
    const auto snapshot = store().load();
    ASSERT_NE(snapshot.key(kOptions), nullptr);
    EXPECT_TRUE(snapshot.key(kOptions)->values().empty());
    EXPECT_NE(snapshot.key("Software\\Ostrane Velmora"), nullptr);
    EXPECT_EQ(snapshot.key(std::string(kOptions) + "\\MP3Tag")->text("Artist"), "x");
    EXPECT_EQ(snapshot.key(std::string(kOptions) + "\\OGGTag"), nullptr);
    EXPECT_EQ(snapshot.key("Software\\Elsewhere"), nullptr);
}

TEST_F(RegistryStoreTest, LastLineWithoutALineBreakKeepsItsMeaningThroughCommits) {
    const std::string options = "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n";
    struct Case {
        std::string last;
        std::optional<std::int32_t> bitRate; // what the last line gives, before and after
        bool staysLast;                      // kept byte for byte at the end, unterminated
    };
    for (const Case& c : {Case{"\"MP3BitRate\"=dword:c0", std::nullopt, true},
                          Case{"\"MP3BitRate\"=dword:000000c0", 0xc0, false},
                          Case{"; a comment", std::nullopt, false}}) {
        for (const std::string& key : {std::string(kOptions), std::string(kOptions) + "\\MP3Tag"}) {
            SCOPED_TRACE(c.last + " then a value in " + key);
            writeText(storeFile(), "Windows Registry Editor Version 5.00\n\n" + options + c.last);
            ASSERT_EQ(store().load().key(kOptions)->dword("MP3BitRate"), c.bitRate);
            for (int round = 0; round < 2; ++round) {
                RegistryStore::Transaction transaction;
                transaction.setText(key, "Artist" + std::to_string(round), "X");
                ASSERT_TRUE(store().commit(transaction));
                const auto snapshot = store().load();
                EXPECT_EQ(snapshot.key(kOptions)->dword("MP3BitRate"), c.bitRate);
                EXPECT_EQ(snapshot.key(key)->text("Artist" + std::to_string(round)), "X");
                EXPECT_EQ(readText(storeFile()).ends_with("\n" + c.last), c.staysLast);
            }
        }
    }
}

TEST_F(RegistryStoreTest, KeysBeyondTheLimitsAreIgnoredWithTheirValues) {
    const auto keyOf = [](std::size_t depth, std::size_t partBytes) {
        std::string key;
        for (std::size_t i = 0; i < depth; ++i)
            key += (i ? "\\" : "") + std::string(partBytes, 'k');
        return key;
    };
    struct Case {
        std::string key;
        bool kept;
    };
    const std::size_t depth = RegistryText::kMaxKeyDepth;
    const std::size_t bytes = RegistryText::kMaxKeyPathBytes;
    // The length counts the path in the brackets after the root, its leading "\" included.
    for (const Case& c : {Case{keyOf(depth, 1), true}, Case{keyOf(depth + 1, 1), false},
                          Case{keyOf(1, bytes - 1), true}, Case{keyOf(1, bytes), false},
                          Case{keyOf(100'000, 1), false}}) {
        SCOPED_TRACE(c.key.size());
        writeText(storeFile(), "[HKEY_CURRENT_USER\\" + c.key + "]\n\"Deep\"=dword:00000001\n" +
                                   "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n" +
                                   "\"After\"=dword:00000002\n");
        const auto snapshot = store().load();
        ASSERT_NE(snapshot.key(kOptions), nullptr);
        EXPECT_EQ(snapshot.key(kOptions)->dword("After"), 2);
        const auto* deep = snapshot.key(c.key);
        EXPECT_EQ(deep != nullptr, c.kept);
        if (deep) {
            EXPECT_EQ(deep->dword("Deep"), 1);
        }
        // Its parent exists through it alone.
        const std::string parent = c.key.substr(0, c.key.rfind('\\'));
        if (c.key.find('\\') != std::string::npos) {
            EXPECT_EQ(snapshot.key(parent) != nullptr, c.kept);
        }
        // A commit leaves the ignored section as it was.
        RegistryStore::Transaction transaction;
        transaction.setDword(kOptions, "After", 3);
        ASSERT_TRUE(store().commit(transaction));
        EXPECT_NE(readText(storeFile()).find("[HKEY_CURRENT_USER\\" + c.key + "]\n\"Deep\""),
                  std::string::npos);
    }
}

TEST_F(RegistryStoreTest, SnapshotTakesAtMostTheValueLimit) {
    std::string text = "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n";
    for (std::size_t i = 0; i <= RegistryStore::kMaxValues; ++i)
        text += "\"v" + std::to_string(i) + "\"=dword:1\n";
    text += "\"v0\"=dword:2\n"; // a later line for a value already taken still counts
    writeText(storeFile(), text);
    const auto snapshot = store().load();
    const auto* options = snapshot.key(kOptions);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->values().size(), RegistryStore::kMaxValues);
    EXPECT_EQ(options->dword("v0"), 2);
    EXPECT_EQ(options->dword("v" + std::to_string(RegistryStore::kMaxValues)), std::nullopt);
}

TEST_F(RegistryStoreTest, CommitKeepsEveryOtherLineAsItWas) {
    const std::string original = "Windows Registry Editor Version 5.00\n"
                                 "\n"
                                 "; kept comment\n"
                                 "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n"
                                 "\"Keep\"=dword:00000005\n"
                                 "garbage line ]]] \"\n"
                                 "\"Broken\"=dword:zz\n"
                                 "\"Change\"=\"old\"\n"
                                 "\"Text\"=\"unchanged \\\"quoted\\\"\"\n"
                                 "\n"
                                 "[-HKEY_CURRENT_USER\\Software\\Deleted]\n"
                                 "\"Orphan\"=dword:00000001\n"
                                 "[HKEY_LOCAL_MACHINE\\Software\\Other]\n"
                                 "\"Change\"=\"not ours\"\n";
    writeText(storeFile(), original);
    RegistryStore::Transaction transaction;
    transaction.setText(kOptions, "Change", "new");
    transaction.setDword(kOptions, "Added", 7);
    ASSERT_TRUE(store().commit(transaction));

    std::string expected = original;
    expected.replace(expected.find("\"Change\"=\"old\""), 14, "\"Change\"=\"new\"");
    const std::string textLine = "\"Text\"=\"unchanged \\\"quoted\\\"\"\n";
    expected.insert(expected.find(textLine) + textLine.size(), "\"Added\"=dword:00000007\n");
    EXPECT_EQ(readText(storeFile()), expected);
}

TEST_F(RegistryStoreTest, HeaderIsAddedToAFileWithoutOne) {
    writeText(storeFile(), "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n"
                           "\"Keep\"=dword:00000005\n");
    RegistryStore::Transaction transaction;
    transaction.setDword(kOptions, "New", 1);
    ASSERT_TRUE(store().commit(transaction));
    EXPECT_EQ(readText(storeFile()), "Windows Registry Editor Version 5.00\n"
                                     "\n"
                                     "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n"
                                     "\"Keep\"=dword:00000005\n"
                                     "\"New\"=dword:00000001\n");
}

TEST_F(RegistryStoreTest, CutOffFileLoadsOnlyWhatIsWhole) {
    RegistryStore::Transaction transaction;
    transaction.setDword(kOptions, "Number", 0x12345678);
    transaction.setText(kOptions, "Quoted", "a \"b\" \\c\\");
    transaction.setDword(kOptions, "Small", 0xc0);
    transaction.setText(kOptions, "Unicode", "東京");
    transaction.setDword(std::string(kOptions) + "\\MP3Tag", "TrackNumType", 2);
    ASSERT_TRUE(store().commit(transaction));
    const std::string full = readText(storeFile());

    for (std::size_t length = 0; length <= full.size(); ++length) {
        const std::string cut = full.substr(0, length);
        writeText(storeFile(), cut);
        const auto snapshot = store().load();
        const auto* options = snapshot.key(kOptions);
        const auto* tag = snapshot.key(std::string(kOptions) + "\\MP3Tag");
        // Each value is either its whole self or missing, never a damaged version; a value whose
        // line is complete is there.
        const auto check = [&](const RegistryStore::Key* key, const std::string& name,
                               const RegistryStore::Value& expected) {
            const std::string lineStart = "\"" + name + "\"=";
            const std::size_t at = full.find(lineStart);
            const bool whole = full.find('\n', at) < length;
            const RegistryStore::Value* got = key ? key->find(name) : nullptr;
            if (whole) {
                ASSERT_NE(got, nullptr) << name << " at length " << length;
            }
            if (!got)
                return;
            EXPECT_EQ(got->type, expected.type) << name << " at length " << length;
            EXPECT_EQ(got->dword, expected.dword) << name << " at length " << length;
            EXPECT_EQ(got->text, expected.text) << name << " at length " << length;
        };
        using Type = RegistryStore::ValueType;
        check(options, "Number", {"Number", Type::Dword, 0x12345678, ""});
        check(options, "Quoted", {"Quoted", Type::Sz, 0, "a \"b\" \\c\\"});
        check(options, "Small", {"Small", Type::Dword, 0xc0, ""});
        check(options, "Unicode", {"Unicode", Type::Sz, 0, "東京"});
        check(tag, "TrackNumType", {"TrackNumType", Type::Dword, 2, ""});
    }
}

TEST_F(RegistryStoreTest, AnyContentLoadsWithoutHarm) {
    // Fragments of the real syntax shuffled together reach far more parser states than random
    // bytes alone.
    const std::vector<std::string> pieces = {
        "[",
        "]",
        "\\",
        "\"",
        "=",
        "dword:",
        "ffffffff",
        "\n",
        "\r\n",
        "\\x",
        "\\\\",
        "\\\"",
        "\xE6\x9D",
        "\xFF",
        "HKEY_CURRENT_USER",
        "Software\\Ostrane Velmora\\Options",
        " ",
        "\t",
        "0",
        "@",
        std::string(1, '\0'),
        "Windows Registry Editor Version 5.00",
        "[-",
        "-",
    };
    std::mt19937 random(20240611);
    for (int round = 0; round < 1000; ++round) {
        std::string content;
        const int count = static_cast<int>(random() % 60);
        for (int i = 0; i < count; ++i)
            content += pieces[random() % pieces.size()];
        writeText(storeFile(), content);
        const auto snapshot = store().load();
        if (const auto* key = snapshot.key(kOptions)) {
            for (const auto* value : key->values()) {
                EXPECT_LE(value->text.size(), content.size());
            }
        }
        if (round % 250 == 0) {
            RegistryStore::Transaction transaction;
            transaction.setDword(kOptions, "Probe", round);
            ASSERT_TRUE(store().commit(transaction));
            EXPECT_EQ(store().load().key(kOptions)->dword("Probe"), round);
        }
    }
}

TEST_F(RegistryStoreTest, OversizedFileIsReadInPartAndNeverRewritten) {
    std::string content = "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n"
                          "\"Early\"=dword:00000001\n";
    content += "; " + std::string(RegistryStore::kMaxFileBytes, 'x') + "\n";
    content += "\"Late\"=dword:00000002\n";
    writeText(storeFile(), content);

    const auto snapshot = store().load();
    ASSERT_NE(snapshot.key(kOptions), nullptr);
    EXPECT_EQ(snapshot.key(kOptions)->dword("Early"), 1);
    EXPECT_EQ(snapshot.key(kOptions)->dword("Late"), std::nullopt);

    RegistryStore::Transaction transaction;
    transaction.setDword(kOptions, "New", 3);
    EXPECT_FALSE(store().commit(transaction));
    EXPECT_EQ(readText(storeFile()), content);
}

TEST_F(RegistryStoreTest, UnreadableStoreIsNotOverwritten) {
    fs::create_directories(storeFile());
    RegistryStore::Transaction transaction;
    transaction.setDword(kOptions, "New", 3);
    EXPECT_FALSE(store().commit(transaction));
    EXPECT_TRUE(fs::is_directory(storeFile()));
    EXPECT_EQ(store().load().key(kOptions), nullptr);
}

TEST_F(RegistryStoreTest, CommitLeavesNoTemporaryFilesAndKeepsThePermissions) {
    writeText(storeFile(), "Windows Registry Editor Version 5.00\n");
    ASSERT_EQ(chmod(storeFile().c_str(), 0640), 0);
    for (int i = 0; i < 3; ++i) {
        RegistryStore::Transaction transaction;
        transaction.setDword(kOptions, "V", i);
        ASSERT_TRUE(store().commit(transaction));
    }
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path("config")))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"velmora.reg", "velmora.reg.lock"}));
    struct stat info {};
    ASSERT_EQ(stat(storeFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(RegistryStoreTest, SymbolicLinkToTheStoreStaysALink) {
    const fs::path real = path("dotfiles") / "velmora.reg";
    fs::create_directories(real.parent_path());
    writeText(real, "Windows Registry Editor Version 5.00\n");
    fs::create_symlink(real, storeFile());
    RegistryStore::Transaction transaction;
    transaction.setDword(kOptions, "V", 9);
    ASSERT_TRUE(store().commit(transaction));
    EXPECT_TRUE(fs::is_symlink(storeFile()));
    EXPECT_NE(readText(real).find("\"V\"=dword:00000009"), std::string::npos);
}

TEST_F(RegistryStoreTest, TwoProcessesSavingAtOnceLoseNothing) {
    constexpr int kRounds = 60;
    const auto writer = [&](char tag) {
        const RegistryStore own(storeFile());
        for (int i = 0; i < kRounds; ++i) {
            RegistryStore::Transaction transaction;
            transaction.setDword(kOptions, std::string(1, tag) + std::to_string(i), i);
            transaction.setText(std::string(kOptions) + "\\" + tag + "Tag", "Last",
                                std::to_string(i));
            if (!own.commit(transaction))
                return false;
        }
        return true;
    };
    std::vector<pid_t> children;
    for (const char tag : {'A', 'B'}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            _exit(writer(tag) ? 0 : 1);
        children.push_back(child);
    }
    // Meanwhile a reader only ever sees a whole file.
    std::vector<int> statuses(children.size(), -1);
    for (std::size_t running = children.size(); running > 0;) {
        for (std::size_t i = 0; i < children.size(); ++i) {
            int status = 0;
            if (statuses[i] == -1 && waitpid(children[i], &status, WNOHANG) == children[i]) {
                statuses[i] = status;
                --running;
            }
        }
        const std::string seen = readText(storeFile());
        if (!seen.empty()) {
            EXPECT_TRUE(seen.starts_with("Windows Registry Editor Version 5.00\n"));
            EXPECT_EQ(seen.back(), '\n');
        }
        usleep(500);
    }
    for (const int status : statuses) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    const auto snapshot = store().load();
    const auto* options = snapshot.key(kOptions);
    ASSERT_NE(options, nullptr);
    for (const char tag : {'A', 'B'}) {
        for (int i = 0; i < kRounds; ++i) {
            EXPECT_EQ(options->dword(std::string(1, tag) + std::to_string(i)), i) << tag << i;
        }
        const auto* last = snapshot.key(std::string(kOptions) + "\\" + tag + "Tag");
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->text("Last"), std::to_string(kRounds - 1));
    }
}

} // namespace
} // namespace velmora
