#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace velmora {

// Partial files (".NAME.partial-PID.EXT", see ConversionRoutine::partialPathFor) that a
// conversion killed outright left behind. Before the first conversion of a batch writes into a
// folder, the partial files there whose process no longer exists are removed; nothing else is
// ever touched: not a name of another form, not a live process's file, not a link or folder.
class StalePartialFiles {
public:
    // Sweeps the folder that holds `outputPath`, once per folder for the life of this object.
    void sweepFolderOf(const std::string& outputPath);

    // Removes the stale partial files in `folder`; returns how many went.
    static int sweep(const std::string& folder);

    // The process id in a partial file's name, when the name has exactly that form.
    static std::optional<pid_t> partialFileOwner(std::string_view fileName);

private:
    std::set<std::string> m_swept;
};

} // namespace velmora
