#include "tests/fuzz/scratch_file.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

namespace velmora::fuzz {
namespace {

// Removes the process's folder at exit; a run killed by a sanitizer leaves it behind, which is
// what one wants when looking into the crash.
struct FolderOwner {
    std::filesystem::path path;
    ~FolderOwner() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

std::filesystem::path makeFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        (std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / "velmora-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("velmora fuzz: cannot make a scratch folder");
        std::abort();
    }
    ::setenv("VELMORA_CONFIG_DIR", pattern.c_str(), 1);
    ::setenv("HOME", pattern.c_str(), 1);
    return pattern;
}

} // namespace

const std::filesystem::path& ScratchFile::folder() {
    static const FolderOwner owner{makeFolder()};
    return owner.path;
}

ScratchFile::ScratchFile(std::span<const std::uint8_t> bytes, const char* name)
    : m_path(folder() / name) {
    std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::perror("velmora fuzz: cannot write the input file");
        std::abort();
    }
}

ScratchFile::~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
}

} // namespace velmora::fuzz
