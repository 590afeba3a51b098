#include "app/cli/commands.h"

namespace velmora::cli {

int runFormats(const std::vector<std::string>& args) {
    if (!args.empty())
        return usageError("formats takes no arguments");
    return kExitOk;
}

} // namespace velmora::cli
