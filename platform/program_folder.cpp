#include "platform/program_folder.h"

#include <filesystem>
#include <system_error>

namespace velmora {

std::string ProgramFolder::path() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !program.has_parent_path())
        return {};
    std::string folder = program.parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::vector<std::string> ProgramFolder::candidateDataPaths(const std::string& name) {
    // A name with a folder part could reach outside the two data folders.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return {};
    const std::string folder = path();
    if (folder.empty())
        return {};
    return {(std::filesystem::path(folder) / name).lexically_normal().string(),
            (std::filesystem::path(folder) / ".." / "share" / "velmora" / name)
                .lexically_normal()
                .string()};
}

std::string ProgramFolder::findDataFile(const std::string& name) {
    for (const std::string& candidate : candidateDataPaths(name)) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    return {};
}

std::string ProgramFolder::findDataFolder(const std::string& name) {
    for (const std::string& candidate : candidateDataPaths(name)) {
        std::error_code error;
        if (std::filesystem::is_directory(candidate, error))
            return candidate + "/";
    }
    return {};
}

} // namespace velmora
