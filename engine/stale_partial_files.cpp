#include "engine/stale_partial_files.h"

#include "sources/source_kind.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <filesystem>
#include <system_error>

namespace velmora {
namespace {

constexpr std::string_view kPartialMark = ".partial-";

bool processExists(pid_t pid) {
    // EPERM: the process exists but belongs to someone else.
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::optional<pid_t> StalePartialFiles::partialFileOwner(std::string_view fileName) {
    if (!fileName.starts_with('.'))
        return std::nullopt;
    const std::size_t mark = fileName.rfind(kPartialMark);
    if (mark == std::string_view::npos || mark < 2)
        return std::nullopt;
    const std::string_view name = fileName.substr(1, mark - 1);
    const std::string_view rest = fileName.substr(mark + kPartialMark.size());
    const std::string extension = lowerCaseExtension(name);
    if (rest.size() <= extension.size() || !rest.ends_with(extension))
        return std::nullopt;
    const std::string_view digits = rest.substr(0, rest.size() - extension.size());
    // The writer prints the id in decimal without leading zeros.
    if (digits.front() == '0')
        return std::nullopt;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0)
        return std::nullopt;
    return pid;
}

int StalePartialFiles::sweep(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    int removed = 0;
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        const fs::directory_entry& entry = *entries;
        const std::optional<pid_t> owner = partialFileOwner(entry.path().filename().string());
        std::error_code statusError;
        if (!owner || !entry.is_regular_file(statusError) || entry.is_symlink(statusError) ||
            processExists(*owner))
            continue;
        std::error_code removeError;
        if (fs::remove(entry.path(), removeError))
            ++removed;
    }
    return removed;
}

void StalePartialFiles::sweepFolderOf(const std::string& outputPath) {
    std::string folder = folderOf(outputPath);
    if (m_swept.insert(folder).second)
        sweep(folder);
}

} // namespace velmora
