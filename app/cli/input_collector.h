#pragma once

#include "engine/file_list.h"
#include "engine/folder_walk.h"

#include <string>
#include <vector>

namespace velmora::cli {

// Turns the files and folders named on the command line into rows of a file list: paths are
// made absolute first (so "in/x.wav" and its absolute path are one file), folders are walked
// like Add Folder, and every input that yields nothing says why.
class InputCollector {
public:
    struct Refusal {
        std::string given;
        std::string reason;
    };

    // unsupportedReason: what a file that no decoder accepts is reported with.
    InputCollector(FileList& list, std::vector<std::string> extensionFilter,
                   std::string unsupportedReason);

    std::vector<Refusal> add(const std::string& given);

    // The name a row's source is reported by: as typed, or the typed folder joined with the
    // path inside it.
    const std::string& givenName(std::size_t row) const { return m_givenNames.at(row); }

private:
    std::vector<Refusal> addFolder(const std::string& given, const std::string& folder);
    // Empty when the file was listed (or was listed before); the reason otherwise.
    std::string addFile(const std::string& given, const std::string& path);

    FileList& m_list;
    FolderWalk m_walk;
    std::string m_unsupportedReason;
    std::vector<std::string> m_givenNames; // by row
};

} // namespace velmora::cli
