#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velmora {

// The files below a folder in the order Add Folder lists them: the folder's own files, then
// each sub-folder the same way (pre-order), names sorted within a folder. Links are followed;
// a folder reached twice (a link loop, or two links to one folder) is walked once.
class FolderWalk {
public:
    // extensionFilter: lower-case extensions without the dot; empty accepts every file.
    explicit FolderWalk(std::vector<std::string> extensionFilter);

    std::vector<std::string> files(const std::string& folder) const;

    // Files the filter left out in the last walk, so that the caller can say why a folder
    // gave nothing.
    std::size_t filteredOut() const { return m_filteredOut; }

private:
    bool filterAccepts(const std::string& path) const;

    std::vector<std::string> m_extensionFilter;
    mutable std::size_t m_filteredOut = 0;
};

} // namespace velmora
