#include "platform/bass/midi_sound_font.h"

#include "platform/bass/input_file.h"
#include "platform/bass/synthesizer.h"
#include "platform/program_folder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

namespace velmora {
namespace {

// The process-wide default, as the renderer's default font list is one per process.
struct DefaultFont {
    std::mutex mutex;
    std::string path;
};

DefaultFont& defaultFont() {
    static DefaultFont font;
    return font;
}

std::uint32_t readU32LE(const std::array<std::uint8_t, 12>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) |
           (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// The outline of a SoundFont 2 file: a RIFF "sfbk" form that fits in the file and holds the
// INFO, sdta and pdta lists, each inside the form. Checked here so that the renderer's loaders
// (which complain on the terminal about what they cannot read) only see plausible files.
bool hasSoundFontOutline(const InputFile& file) {
    std::array<std::uint8_t, 12> header{};
    if (!file.readAt(0, header) || std::memcmp(header.data(), "RIFF", 4) != 0 ||
        std::memcmp(header.data() + 8, "sfbk", 4) != 0)
        return false;
    const std::uint64_t formEnd = 8 + static_cast<std::uint64_t>(readU32LE(header, 4));
    if (formEnd > file.size())
        return false;
    bool info = false;
    bool sampleData = false;
    bool presetData = false;
    for (std::uint64_t at = 12; at + 12 <= formEnd;) {
        std::array<std::uint8_t, 12> chunk{};
        if (!file.readAt(at, chunk))
            return false;
        const std::uint64_t size = readU32LE(chunk, 4);
        if (size > formEnd - at - 8)
            return false;
        if (std::memcmp(chunk.data(), "LIST", 4) == 0) {
            info = info || std::memcmp(chunk.data() + 8, "INFO", 4) == 0;
            sampleData = sampleData || std::memcmp(chunk.data() + 8, "sdta", 4) == 0;
            presetData = presetData || std::memcmp(chunk.data() + 8, "pdta", 4) == 0;
        }
        at += 8 + size + (size & 1);
    }
    return info && sampleData && presetData;
}

// Loading the file into a throwaway synthesizer proves it is a SoundFont the renderer can use;
// a MIDI stream then loads it again for itself.
bool loads(const std::string& path) {
    // A folder, FIFO or device is refused before the library opens it.
    const auto file = path.empty() ? std::nullopt : InputFile::open(path);
    if (!file || !hasSoundFontOutline(*file))
        return false;
    const auto synthesizer = Synthesizer::create(44100);
    return synthesizer && synthesizer->loadSoundFont(path);
}

} // namespace

std::vector<std::string> MidiSoundFont::candidates() {
    std::vector<std::string> files;
    if (const char* list = std::getenv(kPathVariable)) {
        const std::string text = list;
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find(':', start), text.size());
            if (end > start)
                files.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return files;
    }
    if (const std::string local = ProgramFolder::findDataFile(kFileName); !local.empty())
        files.push_back(local);
    files.emplace_back(kDistributionFile);
    return files;
}

bool MidiSoundFont::ensureDefault() {
    if (!defaultFile().empty())
        return true;
    for (const std::string& file : candidates())
        if (install(file))
            return true;
    return false;
}

bool MidiSoundFont::install(const std::string& path) {
    if (!loads(path))
        return false;
    DefaultFont& font = defaultFont();
    const std::lock_guard lock(font.mutex);
    font.path = path;
    return true;
}

std::string MidiSoundFont::defaultFile() {
    DefaultFont& font = defaultFont();
    const std::lock_guard lock(font.mutex);
    return font.path;
}

void MidiSoundFont::clear() {
    DefaultFont& font = defaultFont();
    const std::lock_guard lock(font.mutex);
    font.path.clear();
}

} // namespace velmora
