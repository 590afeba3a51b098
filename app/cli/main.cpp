#include "app/cli/commands.h"
#include "app/cli/completion_script.h"
#include "app/cli/convert_options.h"
#include "platform/bass/decoding_library.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace velmora::cli {
namespace {

constexpr const char* kUsage =
    R"(Usage: velmora-cli COMMAND [ARGS]

Commands:
  probe [--json] FILE|FOLDER... describe files as the file list shows them
  decode [--render-rate HZ] [--decoder NAME] FILE -o OUT.raw
                                write the PCM a file decodes to (signed 16-bit
                                little-endian, or unsigned 8-bit, interleaved)
  convert --to FORMAT [OPTION]... FILE|FOLDER...
  convert --ringtone PHONE [OPTION]... FILE|FOLDER...
                                convert files with the stored settings; the
                                options change them for this run only
  suggest-segment [--length TIME] [--json] FILE
                                print the loudest part of FILE lasting TIME
                                (default 30 s): its start and length
  settings list | get NAME | set NAME VALUE | reset [NAME] | path
                                read and write the stored settings
  formats [--json]              list the output formats
  completion bash|zsh           print the shell completion script

Options:
  -h, --help                    show this help
  --version                     show the version
)";

constexpr const char* kConvertFooter =
    R"(
--set takes a stored setting's name (velmora-cli settings list): MP3BitRate=192,
MP3Tag.Artist=... An encoding option switches the format's Auto setting off for
the run.

TIME is seconds (45, 1.5) or minutes and seconds (0:45). --ringtone stands in
for --to: it sets the phone's format, settings and fades, and converts the
loudest part of the phone's length unless --start or --length says otherwise.
Without --ringtone or --fade-in/--fade-out no fade is applied.

Exit status: 0 all converted, 1 some failed, 2 usage error, 130 after Ctrl+C.
)";

// The convert options as the option table describes them, one per line.
std::string convertOptionsHelp() {
    std::string text = "\nConvert options:\n";
    for (const CliOption& option : ConvertOptions::table()) {
        std::string left = "  ";
        left += option.shortName.empty() ? "    " : std::string(option.shortName) + ", ";
        left += option.longName;
        if (!option.valueName.empty())
            left += " " + std::string(option.valueName);
        left.resize(std::max<std::size_t>(left.size() + 1, 32), ' ');
        text += left + std::string(option.help) + "\n";
    }
    return text + kConvertFooter;
}

int runCompletion(const std::vector<std::string>& args) {
    if (args.size() == 1 && args[0] == "bash")
        std::cout << CompletionScript::bash();
    else if (args.size() == 1 && args[0] == "zsh")
        std::cout << CompletionScript::zsh();
    else
        return usageError("completion: usage: velmora-cli completion bash|zsh");
    return kExitOk;
}

} // namespace

int usageError(const std::string& message) {
    std::cerr << "velmora-cli: " << message << '\n';
    return kExitUsage;
}

} // namespace velmora::cli

int main(int argc, char** argv) {
    using namespace velmora::cli;
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty())
        return usageError("no command given; try velmora-cli --help");
    const std::string& command = words.front();
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "-h" || command == "--help" || command == "help") {
        std::cout << kUsage << convertOptionsHelp();
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "velmora-cli " << VELMORA_VERSION << '\n';
        return kExitOk;
    }
    if (command == "completion")
        return runCompletion(args);
    // The decoding layer lives as long as the program. The default SoundFont is loaded only by
    // the commands that render MIDI (a conversion batch, decode): loading it costs as much as
    // the rest of a start.
    const auto decodingLibrary = velmora::DecodingLibrary::start();
    if (!decodingLibrary) {
        std::cerr << "velmora-cli: the decoding layer could not be started\n";
        return kExitFailed;
    }
    if (command == "probe")
        return runProbe(args);
    if (command == "decode")
        return runDecode(args);
    if (command == "formats")
        return runFormats(args);
    if (command == "convert")
        return runConvert(args);
    if (command == "settings")
        return runSettings(args);
    if (command == "suggest-segment")
        return runSuggestSegment(args);
    return usageError("unknown command " + command + "; try velmora-cli --help");
}
