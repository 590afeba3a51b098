#include "app/cli/commands.h"
#include "app/cli/json_line.h"
#include "engine/output_format.h"

#include <iostream>

namespace velmora::cli {

int runFormats(const std::vector<std::string>& args) {
    const bool json = args.size() == 1 && args[0] == "--json";
    if (!args.empty() && !json)
        return usageError("formats takes no arguments but --json");
    for (const OutputFormatEntry& entry : outputFormatTable()) {
        if (json)
            std::cout << JsonLine()
                             .add("code", entry.code)
                             .add("word", entry.word)
                             .add("extension", entry.extension)
                             .add("text", outputFormatDisplayText(entry))
                             .text()
                      << '\n';
        else
            std::cout << entry.code << '\t' << entry.word << '\t' << outputFormatDisplayText(entry)
                      << '\n';
    }
    return kExitOk;
}

} // namespace velmora::cli
