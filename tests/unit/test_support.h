#pragma once

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace velmora::test {

// A fresh temporary folder per test, with VELMORA_CONFIG_DIR and HOME pointing into it so no
// test touches the real settings or Documents folder. Removed at the end of the test.
class SandboxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path path(const std::string& name) const { return m_root / name; }
    const std::filesystem::path& root() const { return m_root; }

private:
    std::filesystem::path m_root;
};

// Runs a command line through /bin/sh; returns its exit status. Output is discarded unless
// `output` is given.
int runCommand(const std::string& commandLine, std::string* output = nullptr);

// What a program run by runProgram did.
struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `words` (each quoted here) with standard input not a terminal, in `cwd`
// unless it is empty. Standard error passes through `errFile`, which is left in place. A run that
// hangs is stopped after timeoutSeconds (exit status 124) rather than holding up the suite.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& words,
                      const std::filesystem::path& errFile, int timeoutSeconds,
                      const std::filesystem::path& cwd = {});

// True when an external tool (ffmpeg, sox, ...) is on the PATH.
bool haveTool(const std::string& name);

std::string shellQuote(const std::string& text);

// The key=value fields ffprobe reports for `entries` (its -show_entries argument, such as
// "stream=sample_rate,channels:format=duration") of the first audio stream of `file`. A key
// reported twice keeps its first value; a file ffprobe cannot read gives no fields.
std::map<std::string, std::string> ffprobeFields(const std::filesystem::path& file,
                                                 const std::string& entries);

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& file);
void writeFileBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

// Little-endian byte building for synthetic files.
void appendU16LE(std::vector<std::uint8_t>& out, std::uint32_t value);
void appendU32LE(std::vector<std::uint8_t>& out, std::uint32_t value);
void appendU16BE(std::vector<std::uint8_t>& out, std::uint32_t value);
void appendU32BE(std::vector<std::uint8_t>& out, std::uint32_t value);
void appendText(std::vector<std::uint8_t>& out, const std::string& text);

// Reads a file of interleaved signed 16-bit little-endian samples.
std::vector<std::int16_t> readS16LE(const std::filesystem::path& file);

} // namespace velmora::test
