#include "ui/main/file_collector.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

// How many directory entries a walk reads between two calls of keepGoing.
constexpr int kEntriesPerPoll = 64;

std::string fileNamePart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + '/' + name;
}

// A folder's identity on disk, whatever path (or link) leads to it.
using FolderId = std::pair<dev_t, ino_t>;

std::optional<FolderId> folderId(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    return FolderId{info.st_dev, info.st_ino};
}

class PollCounter {
public:
    explicit PollCounter(const FileCollector::KeepGoing& keepGoing) : m_keepGoing(keepGoing) {}
    // False once keepGoing asked to stop.
    bool tick() {
        if (m_stopped)
            return false;
        if (m_keepGoing && ++m_count % kEntriesPerPoll == 0)
            m_stopped = !m_keepGoing();
        return !m_stopped;
    }
    bool stopped() const { return m_stopped; }

private:
    const FileCollector::KeepGoing& m_keepGoing;
    int m_count = 0;
    bool m_stopped = false;
};

} // namespace

FileCollector::FileCollector(std::vector<std::string> extensionFilter)
    : m_extensionFilter(std::move(extensionFilter)) {}

std::string FileCollector::extensionOf(const std::string& path) {
    const std::string name = fileNamePart(path);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return {};
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension;
}

bool FileCollector::filterAccepts(const std::string& path) const {
    const std::string extension = extensionOf(path);
    return std::find(m_extensionFilter.begin(), m_extensionFilter.end(), extension) !=
           m_extensionFilter.end();
}

std::optional<std::string> FileCollector::passesExtensionFilter(const std::string& path) const {
    if (m_extensionFilter.empty())
        return path;
    std::string current = path;
    std::set<std::string> seen;
    for (int links = 0;; ++links) {
        if (filterAccepts(current))
            return current;
        std::error_code error;
        if (links == kMaxLinks || !seen.insert(current).second ||
            !fs::is_symlink(fs::symlink_status(current, error)))
            return std::nullopt;
        const fs::path target = fs::read_symlink(current, error);
        if (error || target.empty())
            return std::nullopt;
        current = (target.is_absolute() ? target : fs::path(current).parent_path() / target)
                      .lexically_normal()
                      .string();
    }
}

std::vector<std::string> FileCollector::listFolders(const std::string& folder,
                                                    const KeepGoing& keepGoing) const {
    std::vector<std::string> folders;
    std::set<FolderId> entered;
    PollCounter poll(keepGoing);
    // Depth first with an explicit stack (a deep tree cannot exhaust the call stack); the
    // sub-folders are pushed in reverse so that they come off in the order they were read.
    std::vector<std::string> pending{folder};
    while (!pending.empty() && !poll.stopped()) {
        std::string current = std::move(pending.back());
        pending.pop_back();
        const auto id = folderId(current);
        if (!id || !entered.insert(*id).second)
            continue;
        folders.push_back(current);
        std::vector<std::string> children;
        std::error_code error;
        for (fs::directory_iterator it(current, error), end; !error && it != end;
             it.increment(error)) {
            if (!poll.tick())
                break;
            std::error_code typeError;
            if (it->is_directory(typeError))
                children.push_back(joinPath(current, it->path().filename().string()));
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return folders;
}

bool FileCollector::collectFolder(const std::string& folder, std::vector<std::string>& out,
                                  const KeepGoing& keepGoing) const {
    PollCounter poll(keepGoing);
    for (const std::string& current : listFolders(folder, keepGoing)) {
        std::error_code error;
        for (fs::directory_iterator it(current, error), end; !error && it != end;
             it.increment(error)) {
            if (!poll.tick())
                return false;
            std::error_code typeError;
            if (it->is_directory(typeError))
                continue;
            if (auto accepted =
                    passesExtensionFilter(joinPath(current, it->path().filename().string())))
                out.push_back(std::move(*accepted));
        }
    }
    return !poll.stopped();
}
