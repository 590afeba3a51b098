#include "app/cli/commands.h"
#include "engine/output_format.h"

#include <iostream>

namespace velmora::cli {

int runFormats(const std::vector<std::string>& args) {
    if (!args.empty())
        return usageError("formats takes no arguments");
    for (const OutputFormatEntry& entry : outputFormatTable())
        std::cout << entry.code << '\t' << entry.word << '\t' << outputFormatDisplayText(entry)
                  << '\n';
    return kExitOk;
}

} // namespace velmora::cli
