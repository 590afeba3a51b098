#include "app/cli/commands.h"
#include "app/cli/json_line.h"
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
    const std::string error = note.empty() ? "no decoder accepts this file" : note;
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
        else if (arg.starts_with("-") && arg != "-")
            return usageError("probe: unknown option " + arg);
        else
            paths.push_back(arg);
    }
    if (paths.empty())
        return usageError("probe: no file given (velmora-cli probe [--json] FILE...)");

    if (!json)
        std::cout << "File\tDuration\tBit Rate\tFreq.\tChannels\n";
    FileList list;
    bool allAccepted = true;
    for (const std::string& path : paths) {
        list.clearFailureNote();
        const std::size_t before = list.size();
        const int row = list.addFile(path);
        if (row == FileList::kRejected) {
            allAccepted = false;
            reportRejected(path, list.failureNote(), json);
        } else if (list.size() > before) {
            if (json)
                printJsonEntry(list, before);
            else
                printTextEntry(list, before);
        }
    }
    return allAccepted ? kExitOk : kExitFailed;
}

} // namespace velmora::cli
