#include "tests/unit/test_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {

void SandboxTest::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    std::filesystem::create_directories(m_root / "home");
    std::filesystem::create_directories(m_root / "config");
    setenv("HOME", (m_root / "home").c_str(), 1);
    setenv("VELMORA_CONFIG_DIR", (m_root / "config").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_root / "home" / ".config").c_str(), 1);
    unsetenv("XDG_DOCUMENTS_DIR");
}

void SandboxTest::TearDown() {
    std::error_code ignored;
    if (!m_root.empty())
        std::filesystem::remove_all(m_root, ignored);
}

int runCommand(const std::string& commandLine, std::string* output) {
    const std::string full = output ? commandLine : commandLine + " >/dev/null 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> chunk{};
    std::size_t got = 0;
    while ((got = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        if (output)
            output->append(chunk.data(), got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& words,
                      const std::filesystem::path& errFile, int timeoutSeconds,
                      const std::filesystem::path& cwd) {
    std::string command = "timeout " + std::to_string(timeoutSeconds) + " " + shellQuote(program);
    if (!cwd.empty())
        command = "cd " + shellQuote(cwd.string()) + " && " + command;
    for (const std::string& word : words)
        command += " " + shellQuote(word);
    ProgramRun run;
    run.status = runCommand(command + " </dev/null 2>" + shellQuote(errFile.string()), &run.out);
    const auto err = readFileBytes(errFile);
    run.err.assign(err.begin(), err.end());
    return run;
}

bool haveTool(const std::string& name) {
    return runCommand("command -v " + shellQuote(name)) == 0;
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void appendU16LE(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void appendU32LE(std::vector<std::uint8_t>& out, std::uint32_t value) {
    appendU16LE(out, value & 0xFFFF);
    appendU16LE(out, value >> 16);
}

void appendU16BE(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void appendU32BE(std::vector<std::uint8_t>& out, std::uint32_t value) {
    appendU16BE(out, value >> 16);
    appendU16BE(out, value & 0xFFFF);
}

void appendText(std::vector<std::uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

std::vector<std::int16_t> readS16LE(const std::filesystem::path& file) {
    const auto bytes = readFileBytes(file);
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return samples;
}

std::map<std::string, std::string> ffprobeFields(const std::filesystem::path& file,
                                                 const std::string& entries) {
    std::string text;
    runCommand("ffprobe -v error -select_streams a:0 -show_entries " + shellQuote(entries) +
                   " -of default=noprint_wrappers=1 " + shellQuote(file.string()),
               &text);
    std::map<std::string, std::string> fields;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            fields.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return fields;
}

} // namespace velmora::test
