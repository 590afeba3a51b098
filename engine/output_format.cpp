#include "engine/output_format.h"

#include "platform/ascii_case.h"

#include <array>
#include <charconv>

namespace velmora {
namespace {

constexpr std::array<OutputFormatEntry, 14> kTable = {{
    {1000, "mp3", "", ".mp3", OutputFamily::Mp3},
    {2000, "wav", "", ".wav", OutputFamily::Wav},
    {7100, "wma", "", ".wma", OutputFamily::WindowsMedia},
    {7200, "wmv", "WMV (Audio only)", ".wmv", OutputFamily::WindowsMedia},
    {7300, "asf", "ASF (Audio only)", ".asf", OutputFamily::WindowsMedia},
    {4000, "ogg", "", ".ogg", OutputFamily::Ogg},
    {6000, "aac", "", ".aac", OutputFamily::Aac},
    {6500, "m4a", "AAC for iPod / iTunes / DSi", ".m4a", OutputFamily::Mp4},
    {6600, "mp4", "MP4 (Audio only)", ".mp4", OutputFamily::Mp4},
    {6500, "m4a", "M4A (MPEG-4 Audio)", ".m4a", OutputFamily::Mp4},
    {6700, "m4b", "M4B (MPEG-4 Audiobook)", ".m4b", OutputFamily::Mp4},
    {6800, "m4r", "M4R (iPhone Ringtone)", ".m4r", OutputFamily::Mp4},
    {5500, "amr", "", ".amr", OutputFamily::Amr},
    {5600, "awb", "", ".awb", OutputFamily::Amr},
}};

} // namespace

std::span<const OutputFormatEntry> outputFormatTable() {
    return kTable;
}

std::string outputFormatDisplayText(const OutputFormatEntry& entry) {
    return " to " +
           (entry.label.empty() ? outputFormatUpperWord(entry.code) : std::string(entry.label));
}

std::string outputFormatUpperWord(int code) {
    const OutputFormatEntry* entry = findOutputFormat(code);
    return entry ? upperCaseAscii(entry->word) : std::string();
}

const OutputFormatEntry* findOutputFormat(int code) {
    for (const OutputFormatEntry& entry : kTable)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

std::string_view outputFormatExtension(int code) {
    const OutputFormatEntry* entry = findOutputFormat(code);
    return entry ? entry->extension : std::string_view();
}

std::optional<int> parseOutputFormat(std::string_view text) {
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (!text.empty() && error == std::errc() && end == text.data() + text.size())
        return findOutputFormat(number) ? std::optional<int>(number) : std::nullopt;
    const std::string lower = lowerCaseAscii(text);
    for (const OutputFormatEntry& entry : kTable)
        if (entry.word == lower)
            return entry.code;
    return std::nullopt;
}

OutputFormatSelection selectOutputFormat(int code) {
    for (std::size_t index = kTable.size(); index-- > 0;)
        if (kTable[index].code == code)
            return {index, code};
    return {0, kTable[0].code};
}

} // namespace velmora
