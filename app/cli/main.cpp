#include "app/cli/commands.h"
#include "platform/bass/decoding_library.h"

#include <iostream>
#include <string>
#include <vector>

namespace velmora::cli {
namespace {

constexpr const char* kUsage =
    R"(Usage: velmora-cli COMMAND [ARGS]

Commands:
  probe [--json] FILE...        describe files as the file list shows them
  decode [--render-rate HZ] [--decoder NAME] FILE -o OUT.raw
                                write the PCM a file decodes to (signed 16-bit
                                little-endian, or unsigned 8-bit, interleaved)
  convert --to FORMAT [--set NAME=VALUE]... FILE...
                                convert files with the stored settings; --set
                                overrides a setting for this run only
                                (MP3BitRate=192, MP3Tag.Artist=...)
  settings list | get NAME | set NAME VALUE | path
                                read and write the stored settings
  formats                       list the output formats

Options:
  -h, --help                    show this help
  --version                     show the version
)";

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
        std::cout << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "velmora-cli " << VELMORA_VERSION << '\n';
        return kExitOk;
    }
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
    return usageError("unknown command " + command + "; try velmora-cli --help");
}
