#pragma once

#include <string>

namespace velmora {

// Makes sure an output folder is there before anything is written into it.
class FolderCreator {
public:
    // True when `path` is a folder, or has been made one together with every missing parent.
    // Each component is tested and created in turn from the left, so an existing component that
    // is not a folder (a regular file, a dangling link) fails; folders created before such a
    // failure stay. An empty path fails.
    static bool existsOrCreate(const std::string& path);
};

} // namespace velmora
