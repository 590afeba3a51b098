#pragma once

#include <string>
#include <vector>

namespace velmora {

// The folder the running program file lies in, and the data files installed beside it.
class ProgramFolder {
public:
    // The folder of /proc/self/exe with a trailing "/"; empty when it cannot be determined.
    static std::string path();

    // The full path of a data file: first the program folder, then ../share/velmora/ beside it
    // (the installed layout). Empty when the file is in neither place or `name` is not a plain
    // file name.
    static std::string findDataFile(const std::string& name);
    // The same for a data folder ("help"), with a trailing "/"; the places looked in are
    // `candidateDataPaths`.
    static std::string findDataFolder(const std::string& name);
    // Where a data file or folder of that name is looked for, in order; empty when the program
    // folder is unknown or `name` is not a plain name.
    static std::vector<std::string> candidateDataPaths(const std::string& name);
};

} // namespace velmora
