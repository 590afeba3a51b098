#pragma once

#include <string>

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
};

} // namespace velmora
