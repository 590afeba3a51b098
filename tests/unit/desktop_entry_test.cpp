// The default browser's command line as the URL fallback builds it from a desktop entry: the
// Exec line's quoting, where it is cut, and that the URL always stays one argument.
#include "platform/desktop_entry_exec.h"
#include "platform/desktop_entry_file.h"
#include "tests/unit/test_support.h"

#include <fstream>
#include <gtest/gtest.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;

// Holds shell syntax that would run a command if anything handed the URL to a shell.
const std::string kUrl = "http://www.velmora.example/a b?x=\"1\";$(touch /tmp/pwned)&y='2'";

TEST(DesktopEntryExecTest, CutsAtTheFirstFileOrUrlCode) {
    // An empty list: no command.
    const std::pair<const char*, Arguments> cases[] = {
        {"firefox-esr %u", {"firefox-esr", kUrl}},
        {"chromium --new-window %U --incognito", {"chromium", "--new-window", kUrl}},
        {"\"/opt/My Browser/browser\" \"%u\" --tail", {"/opt/My Browser/browser", kUrl}},
        {"viewer %F", {"viewer", kUrl}},
        {"viewer --file=%f", {"viewer", "--file=" + kUrl}},
        {"epiphany", {"epiphany", kUrl}},
        {"browser --profile \"a b\"", {"browser", "--profile", "a b", kUrl}},
        {"browser 100%% %i %c %k %u", {"browser", "100%", kUrl}},
        {"\"quo\\\"ted\\\\path\" %u", {"quo\"ted\\path", kUrl}},
        {"  spaced\targs  %u  ", {"spaced", "args", kUrl}},
        {"env GDK_BACKEND=x11 browser %u", {"env", "GDK_BACKEND=x11", "browser", kUrl}},
        // Nothing to start.
        {"", {}},
        {"   ", {}},
        {"%u", {}},
        {"%i %u", {}},
        {"\"unterminated %u", {}},
    };
    for (const auto& [exec, expected] : cases) {
        const auto command = DesktopEntryExec::commandFor(exec, kUrl);
        EXPECT_EQ(command.has_value(), !expected.empty()) << exec;
        EXPECT_EQ(command.value_or(Arguments{}), expected) << exec;
    }
}

class DesktopEntryFileTest : public test::SandboxTest {
protected:
    fs::path writeEntry(const std::string& relative, const std::string& text) {
        const fs::path file = path("apps") / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
        return file;
    }
    std::vector<std::string> folders() const {
        return {path("empty").string(), path("apps").string()};
    }
};

TEST_F(DesktopEntryFileTest, ReadsTheMainGroupsExecWithStringEscapes) {
    // Only the main group's first unlocalised Exec counts.
    const fs::path file = writeEntry(
        "browser.desktop",
        "# comment\n[Desktop Action new-window]\nExec=browser --new-window %u\n[Desktop Entry]\n"
        "Name=Browser\nExec[de]=falsch %u\n"
        "Exec = \"/opt/web\\sbrowser\" \\\\x %u\nExec=second %u\n");
    EXPECT_EQ(DesktopEntryFile::readExec(file.string()), "\"/opt/web browser\" \\x %u");
    const fs::path noExec = writeEntry("noexec.desktop", "[Desktop Entry]\nName=None\n");
    EXPECT_FALSE(DesktopEntryFile::readExec(noExec.string()));
    EXPECT_FALSE(DesktopEntryFile::readExec(path("apps/missing.desktop").string()));
}

TEST_F(DesktopEntryFileTest, FindsEntriesByIdAlsoInVendorFolders) {
    const fs::path flat = writeEntry("browser.desktop", "[Desktop Entry]\nExec=b\n");
    const fs::path nested = writeEntry("kde/org.web.desktop", "[Desktop Entry]\nExec=w\n");
    EXPECT_EQ(DesktopEntryFile::find("browser.desktop", folders()), flat.string());
    EXPECT_EQ(DesktopEntryFile::find("kde-org.web.desktop", folders()), nested.string());
    for (const char* refused : {"missing.desktop", "../apps/browser.desktop", "browser", ".desktop",
                                "apps/browser.desktop"})
        EXPECT_EQ(DesktopEntryFile::find(refused, folders()), "") << refused;
}

} // namespace
} // namespace velmora
