#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Finding an installed desktop entry by its id and reading its Exec key.
class DesktopEntryFile {
public:
    // The folders desktop entries are installed in, most important first:
    // $XDG_DATA_HOME/applications (default ~/.local/share), then each folder of $XDG_DATA_DIRS
    // (default /usr/local/share:/usr/share) with /applications.
    static std::vector<std::string> applicationFolders();

    // The file of the entry with this id ("firefox-esr.desktop") in the first folder that has
    // it; an id "vendor-name.desktop" is also found as vendor/name.desktop. Empty when there is
    // none or the id is not a plain .desktop name.
    static std::string find(const std::string& id, const std::vector<std::string>& folders);

    // The Exec value of the file's [Desktop Entry] group with the format's string escapes
    // (\s \n \t \r \\) undone; empty when the file cannot be read or has no Exec key. Reads at
    // most the first 256 KiB: an entry is a few hundred bytes.
    static std::optional<std::string> readExec(const std::string& path);
};

} // namespace velmora
