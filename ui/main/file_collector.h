#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Gathers the files that adding a folder or dropping items puts in the list, through the
// extension filter. Plain C++ so that the folder walk can be measured without a window.
class FileCollector {
public:
    // Symbolic links followed in a row before a file is rejected.
    static constexpr int kMaxLinks = 8;

    // Called every few entries of a walk so that the window can repaint; false stops the walk.
    using KeepGoing = std::function<bool()>;

    // extensionFilter: the lower-case extensions without the dot; empty means no filtering
    // (the settings keep it empty while the filter is off).
    explicit FileCollector(std::vector<std::string> extensionFilter);

    // The path to add, or none when the filter rejects it. A link whose own name the filter
    // rejects is followed to its target, which is checked again; the target then replaces it.
    std::optional<std::string> passesExtensionFilter(const std::string& path) const;

    // The lower-case text after the last "." of the file name; empty when the name has none.
    static std::string extensionOf(const std::string& path);

    // Appends every accepted file below the folder: the folder's own files first, then each
    // sub-folder's in pre-order. Links to folders are followed, but no folder is entered twice,
    // so a link loop ends. Unreadable folders are skipped. False when keepGoing stopped it.
    bool collectFolder(const std::string& folder, std::vector<std::string>& out,
                       const KeepGoing& keepGoing = {}) const;

    // The folder itself and every folder below it, in pre-order.
    std::vector<std::string> listFolders(const std::string& folder,
                                         const KeepGoing& keepGoing = {}) const;

private:
    bool filterAccepts(const std::string& path) const;

    std::vector<std::string> m_extensionFilter;
};
