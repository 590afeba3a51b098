#include "app/cli/input_collector.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

std::string absolutePath(const std::string& given) {
    std::error_code error;
    const fs::path path = fs::absolute(given, error);
    return error ? given : path.lexically_normal().string();
}

} // namespace

InputCollector::InputCollector(FileList& list, std::vector<std::string> extensionFilter,
                               std::string unsupportedReason)
    : m_list(list), m_walk(std::move(extensionFilter)),
      m_unsupportedReason(std::move(unsupportedReason)) {}

std::vector<InputCollector::Refusal> InputCollector::add(const std::string& given) {
    const std::string path = absolutePath(given);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        const int code = errno;
        return {{given, code == ENOENT
                            ? "no such file or folder"
                            : "cannot be read (" + std::string(std::strerror(code)) + ")"}};
    }
    if (S_ISDIR(status.st_mode))
        return addFolder(given, path);
    const std::string reason = addFile(given, path);
    if (reason.empty())
        return {};
    return {{given, reason}};
}

std::vector<InputCollector::Refusal> InputCollector::addFolder(const std::string& given,
                                                               const std::string& folder) {
    const std::vector<std::string> files = m_walk.files(folder);
    if (files.empty()) {
        if (m_walk.filteredOut() > 0)
            return {{given, "no file in this folder passes the extension filter (" +
                                std::to_string(m_walk.filteredOut()) + " left out)"}};
        return {{given, "no files in this folder"}};
    }
    // One line for the whole folder: a folder of thousands of unreadable files must not bury
    // the results under thousands of lines.
    std::size_t refused = 0;
    std::string firstReason;
    for (const std::string& file : files) {
        const std::string shown =
            (fs::path(given) / fs::path(file).lexically_relative(folder)).string();
        const std::string reason = addFile(shown, file);
        if (reason.empty())
            continue;
        if (refused++ == 0)
            firstReason = fs::path(file).lexically_relative(folder).string() + ": " + reason;
    }
    if (refused == 0)
        return {};
    return {{given, std::to_string(refused) + " of " + std::to_string(files.size()) +
                        " files could not be added (first: " + firstReason + ")"}};
}

std::string InputCollector::addFile(const std::string& given, const std::string& path) {
    if (::access(path.c_str(), R_OK) != 0)
        return "cannot be read (" + std::string(std::strerror(errno)) + ")";
    m_list.clearFailureNote();
    const std::size_t before = m_list.size();
    if (m_list.addFile(path) == FileList::kRejected)
        return m_list.failureNote().empty() ? m_unsupportedReason : m_list.failureNote();
    if (m_list.size() > before)
        m_givenNames.push_back(given);
    return {};
}

} // namespace velmora::cli
