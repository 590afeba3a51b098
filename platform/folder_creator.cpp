#include "platform/folder_creator.h"

#include <filesystem>
#include <system_error>

namespace velmora {
namespace {

bool ensureFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    const std::filesystem::file_type type = std::filesystem::status(folder, ec).type();
    if (type == std::filesystem::file_type::directory)
        return true;
    // Anything else by that name, or a component we may not even look at, cannot become a folder.
    if (type != std::filesystem::file_type::not_found)
        return false;
    if (std::filesystem::create_directory(folder, ec))
        return true;
    // Another process may have created it between the test and our attempt.
    return std::filesystem::is_directory(folder, ec);
}

} // namespace

bool FolderCreator::existsOrCreate(const std::string& path) {
    if (path.empty())
        return false;
    std::string prefix = path.front() == '/' ? "/" : "";
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        // Doubled separators yield empty components; they name nothing new.
        if (end > start) {
            if (!prefix.empty() && prefix.back() != '/')
                prefix += '/';
            prefix.append(path, start, end - start);
            if (!ensureFolder(prefix))
                return false;
        }
        start = end + 1;
    }
    // Only separators: the root folder.
    std::error_code ec;
    return std::filesystem::is_directory(prefix, ec);
}

} // namespace velmora
