#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace velmora::fuzz {

// The fuzz input written to a file, for readers that only open paths. Every file lives in one
// folder made for this process (so two fuzzers running side by side never share a file), and
// that folder is removed when the process exits. The folder is also where VELMORA_CONFIG_DIR
// and HOME point, so no harness can reach the user's real settings.
class ScratchFile {
public:
    ScratchFile(std::span<const std::uint8_t> bytes, const char* name);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // The process's own folder, made on first use.
    static const std::filesystem::path& folder();

private:
    std::filesystem::path m_path;
};

} // namespace velmora::fuzz
