#include "app/cli/commands.h"
#include "app/cli/terminal_batch_view.h"
#include "engine/conversion_driver.h"
#include "engine/conversion_settings.h"
#include "engine/file_list.h"
#include "engine/output_format.h"

#include <iostream>
#include <optional>

namespace velmora::cli {
namespace {

struct ConvertRequest {
    std::optional<int> format;
    std::vector<std::pair<std::string, std::string>> overrides;
    std::vector<std::string> paths;
};

std::optional<std::string> parseConvertArgs(const std::vector<std::string>& args,
                                            ConvertRequest& request) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--to" || arg == "--set") {
            if (i + 1 >= args.size())
                return "convert: " + arg + " needs a value";
            const std::string& value = args[++i];
            if (arg == "--to") {
                request.format = parseOutputFormat(value);
                if (!request.format)
                    return "convert: unknown output format " + value +
                           " (mp3 wav wma wmv asf ogg aac m4a mp4 m4b m4r amr awb)";
            } else {
                const auto equals = value.find('=');
                if (equals == std::string::npos || equals == 0)
                    return "convert: --set wants NAME=VALUE, not " + value;
                request.overrides.emplace_back(value.substr(0, equals), value.substr(equals + 1));
            }
        } else if (arg.starts_with("-")) {
            return "convert: unknown option " + arg;
        } else {
            request.paths.push_back(arg);
        }
    }
    if (!request.format || request.paths.empty())
        return "convert: usage: velmora-cli convert --to FORMAT [--set NAME=VALUE]... FILE...";
    return std::nullopt;
}

// Applies the run's overrides to the loaded settings; they are never saved.
std::optional<std::string> applyOverrides(ConversionSettings& settings,
                                          const ConvertRequest& request) {
    for (const auto& [name, value] : request.overrides) {
        switch (settings.setValue(name, value)) {
        case ConversionSettings::SetResult::UnknownName:
            return "convert: unknown setting " + name;
        case ConversionSettings::SetResult::BadValue:
            return "convert: " + value + " is not a valid value for " + name;
        case ConversionSettings::SetResult::Ok:
            break;
        }
    }
    settings.OutputFormat = *request.format;
    return std::nullopt;
}

} // namespace

int runConvert(const std::vector<std::string>& args) {
    ConvertRequest request;
    if (const auto problem = parseConvertArgs(args, request))
        return usageError(*problem);
    ConversionSettings settings;
    settings.load();
    if (const auto problem = applyOverrides(settings, request))
        return usageError(*problem);

    FileList list;
    bool allListed = true;
    for (const std::string& path : request.paths) {
        list.clearFailureNote();
        if (list.addFile(path) != FileList::kRejected)
            continue;
        allListed = false;
        std::cout << path << ": "
                  << (list.failureNote().empty() ? "not a supported audio or video file"
                                                 : list.failureNote())
                  << std::endl;
    }

    std::vector<SourceFile*> entries;
    std::vector<int> rows;
    std::vector<std::string> rowPaths;
    for (std::size_t row = 0; row < list.size(); ++row) {
        entries.push_back(&list.entry(row));
        rows.push_back(static_cast<int>(row));
        rowPaths.push_back(list.entry(row).path);
    }
    bool allConverted = allListed;
    if (!entries.empty()) {
        TerminalBatchView view(rowPaths);
        ConversionDriver driver(settings, view);
        driver.convertBatch(entries, rows);
        for (const SourceFile* entry : entries)
            allConverted = allConverted && !entry->outputPath.empty();
    }
    return allConverted ? kExitOk : kExitFailed;
}

} // namespace velmora::cli
