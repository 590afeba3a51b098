#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// The output format codes, as stored in "OutputFormat".
enum class OutputFormat : int {
    Mp3 = 1000,
    Wav = 2000,
    Ogg = 4000,
    Amr = 5500,
    Awb = 5600,
    Aac = 6000,
    M4a = 6500,
    Mp4 = 6600,
    M4b = 6700,
    M4r = 6800,
    Wma = 7100,
    Wmv = 7200,
    Asf = 7300,
};

constexpr int code(OutputFormat format) {
    return static_cast<int>(format);
}

// The conversion routine that writes a format.
enum class OutputFamily { Mp3, Wav, WindowsMedia, Ogg, Aac, Mp4, Amr };

struct OutputFormatEntry {
    int code;
    std::string_view word;      // lower-case extension word, "mp3"
    std::string_view label;     // empty when the entry shows its word in upper case
    std::string_view extension; // with its dot, ".mp3"
    OutputFamily family;
};

// The 14 entries of the main window's format box, in their order. Two entries share code 6500.
std::span<const OutputFormatEntry> outputFormatTable();

// " to %s" with the label, or with the upper-case word when there is no label: " to MP3".
std::string outputFormatDisplayText(const OutputFormatEntry& entry);

// The upper-case format word used in progress texts ("MP3", "M4A"); empty for an unknown code.
std::string outputFormatUpperWord(int code);

// The file extension with its dot (".m4r"); empty for an unknown code.
std::string_view outputFormatExtension(int code);

// The first table entry with the code; none for an unknown code.
const OutputFormatEntry* findOutputFormat(int code);

// The code named by an extension word (any case) or by a decimal code of the table, as the
// command line's --to accepts them; none when neither.
std::optional<int> parseOutputFormat(std::string_view text);

struct OutputFormatSelection {
    std::size_t index; // entry of the format box to select
    int code;          // the code to keep in "OutputFormat"
};

// The entry the format box selects for a stored code: the last entry with that code (so 6500
// selects the tenth entry, not the eighth); for a code not in the table the first entry and
// the code 1000.
OutputFormatSelection selectOutputFormat(int code);

} // namespace velmora
