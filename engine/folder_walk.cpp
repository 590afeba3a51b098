#include "engine/folder_walk.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace velmora {
namespace {

namespace fs = std::filesystem;

using FolderId = std::pair<dev_t, ino_t>;

std::string lowerExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension;
}

struct FolderContents {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

// stat follows links, so a linked folder is named by the folder it leads to.
bool enterOnce(const std::string& folder, std::set<FolderId>& entered) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    return entered.insert({status.st_dev, status.st_ino}).second;
}

FolderContents readFolder(const std::string& folder) {
    FolderContents contents;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        const std::string path = (fs::path(folder) / it->path().filename()).string();
        if (it->is_directory(typeError))
            contents.folders.push_back(path);
        else
            contents.files.push_back(path);
    }
    std::sort(contents.files.begin(), contents.files.end());
    std::sort(contents.folders.begin(), contents.folders.end());
    return contents;
}

} // namespace

FolderWalk::FolderWalk(std::vector<std::string> extensionFilter)
    : m_extensionFilter(std::move(extensionFilter)) {}

bool FolderWalk::filterAccepts(const std::string& path) const {
    if (m_extensionFilter.empty())
        return true;
    const auto accepted = [this](const fs::path& candidate) {
        return std::find(m_extensionFilter.begin(), m_extensionFilter.end(),
                         lowerExtension(candidate)) != m_extensionFilter.end();
    };
    if (accepted(path))
        return true;
    // A link named without the extension is judged by the file it leads to.
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    return !error && accepted(target);
}

std::vector<std::string> FolderWalk::files(const std::string& folder) const {
    m_filteredOut = 0;
    std::vector<std::string> found;
    std::set<FolderId> entered;
    // An explicit stack: a deep tree cannot exhaust the call stack. Sub-folders are pushed in
    // reverse so that they come off in name order.
    std::vector<std::string> pending{folder};
    while (!pending.empty()) {
        const std::string current = std::move(pending.back());
        pending.pop_back();
        if (!enterOnce(current, entered))
            continue;
        FolderContents contents = readFolder(current);
        for (std::string& file : contents.files) {
            if (filterAccepts(file))
                found.push_back(std::move(file));
            else
                ++m_filteredOut;
        }
        pending.insert(pending.end(), contents.folders.rbegin(), contents.folders.rend());
    }
    return found;
}

} // namespace velmora
