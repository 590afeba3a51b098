#include "app/cli/commands.h"
#include "app/cli/input_collector.h"
#include "app/cli/json_line.h"
#include "engine/conversion_settings.h"
#include "engine/file_list.h"

#include <iostream>

namespace velmora::cli {
namespace {

void printJsonEntry(const FileList& list, std::size_t row) {
    const SourceFile& entry = list.entry(row);
    const FileList::RowTexts texts = FileList::describeRow(entry);
    JsonLine line;
    line.add("path", entry.path)
        .add("kind", code(entry.kind))
        .add("decoder", decoderName(list.decoderOf(row)))
        .add("durationSeconds", entry.durationSeconds)
        .add("sampleRate", entry.sampleRate)
        .add("channels", entry.channels)
        .add("channelMode", entry.channelMode)
        .add("bitrateKbps", entry.bitrateKbps)
        .add("row", std::vector<std::string>(texts.begin(), texts.end()));
    std::cout << line.text() << '\n';
}

void printTextEntry(const FileList& list, std::size_t row) {
    const FileList::RowTexts texts = FileList::describeRow(list.entry(row));
    for (std::size_t column = 0; column < texts.size(); ++column)
        std::cout << (column == 0 ? "" : "\t") << texts[column];
    std::cout << '\n';
}

void reportRejected(const std::string& path, const std::string& note, bool json) {
    const std::string& error = note;
    if (json)
        std::cout << JsonLine().add("path", path).add("error", error).text() << '\n';
    else
        std::cerr << path << ": " << error << '\n';
}

} // namespace

int runProbe(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::string> paths;
    for (const std::string& arg : args) {
        if (arg == "--json")
            json = true;
        else if (arg == "-")
            return usageError("probe: - (standard input) is not accepted; name the file instead");
        else if (arg.starts_with("-"))
            return usageError("probe: unknown option " + arg);
        else
            paths.push_back(arg);
    }
    if (paths.empty())
        return usageError("probe: no file given (velmora-cli probe [--json] FILE|FOLDER...)");

    ConversionSettings settings;
    settings.load();
    if (!json)
        std::cout << "File\tDuration\tBit Rate\tFreq.\tChannels\n";
    FileList list;
    InputCollector collector(list, settings.extensionFilter, "no decoder accepts this file");
    bool allAccepted = true;
    for (const std::string& path : paths) {
        const std::size_t before = list.size();
        const auto refusals = collector.add(path);
        for (std::size_t row = before; row < list.size(); ++row) {
            if (json)
                printJsonEntry(list, row);
            else
                printTextEntry(list, row);
        }
        for (const InputCollector::Refusal& refusal : refusals) {
            allAccepted = false;
            reportRejected(refusal.given, refusal.reason, json);
        }
    }
    return allAccepted ? kExitOk : kExitFailed;
}

} // namespace velmora::cli
