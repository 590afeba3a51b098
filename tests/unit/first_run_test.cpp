// The README's first command works as written for root on a machine without sudo and for a
// user with sudo: only the package installation is elevated, and only where needed. apt-get and
// sudo are stand-ins that record how they were called.

#include "tests/unit/test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;

const fs::path kRepository = fs::path(VELMORA_TEST_DATA_DIR).parent_path().parent_path();

std::string fileText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class FirstRunTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        m_tools = path("tools");
        fs::create_directories(m_tools);
        // Only what the script needs; no sudo unless a case adds one.
        for (const char* tool : {"bash", "id", "env", "cat"})
            fs::create_symlink("/usr/bin/" + std::string(tool), m_tools / tool);
        writeStub("apt-get", "echo \"apt-get $(id -u) $1\" >> " + log());
        // Others may enter the sandbox: the unprivileged case runs as "nobody".
        for (const fs::path& folder : {root(), m_tools})
            fs::permissions(folder, fs::perms::all, fs::perm_options::add);
    }

    std::string log() const { return test::shellQuote(path("calls.log").string()); }

    void writeStub(const std::string& name, const std::string& body) {
        std::ofstream(m_tools / name) << "#!/usr/bin/bash\n" << body << "\n";
        fs::permissions(m_tools / name, fs::perms::all);
    }

    // Runs install-deps with only the stand-ins on the PATH, as root or as "nobody".
    int installDeps(bool asRoot, std::string* output) {
        const std::string script =
            test::shellQuote((kRepository / "scripts/install-deps").string());
        const std::string user =
            asRoot ? "" : "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        return test::runCommand(user + "env PATH=" + test::shellQuote(m_tools.string()) + " " +
                                    script + " 2>&1",
                                output);
    }

    std::string calls() const { return fileText(path("calls.log")); }

    fs::path m_tools;
};

TEST_F(FirstRunTest, ReadmeFirstCommandIsAScriptRunWithoutSudo) {
    const std::string readme = fileText(kRepository / "README.md");
    const std::size_t block = readme.find("```sh\n", readme.find("## First run"));
    ASSERT_NE(block, std::string::npos);
    const std::size_t start = block + 6;
    const std::string command = readme.substr(start, readme.find('\n', start) - start);
    EXPECT_EQ(command, "scripts/demo");
    EXPECT_EQ(::access((kRepository / command).c_str(), X_OK), 0);
    EXPECT_EQ(fileText(kRepository / command).find("sudo"), std::string::npos);
}

TEST_F(FirstRunTest, PackagesInstallAsRootWithoutSudoAndThroughSudoOtherwise) {
    if (::getuid() != 0 || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root and setpriv to try both users";
    std::string output;
    EXPECT_EQ(installDeps(true, &output), 0) << output;
    EXPECT_EQ(calls(), "apt-get 0 update\napt-get 0 install\n");

    fs::remove(path("calls.log"));
    EXPECT_EQ(installDeps(false, &output), 1);
    EXPECT_NE(output.find("run this as root, or install sudo"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(path("calls.log")));

    writeStub("sudo", "echo \"sudo $1\" >> " + log());
    EXPECT_EQ(installDeps(false, &output), 0) << output;
    EXPECT_EQ(calls(), "sudo apt-get\nsudo apt-get\n");
}

} // namespace
} // namespace velmora
