// Writes the seeds that no command-line tool makes: Standard MIDI Files (plain and wrapped in
// RIFF "RMID") and settings store files. Usage: velmora_fuzz_seed_maker MIDI_DIR STORE_DIR

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void append(Bytes& out, std::initializer_list<std::uint8_t> bytes) {
    out.insert(out.end(), bytes);
}

void append(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void appendU32(Bytes& out, std::uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void appendU16BE(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

Bytes midiFile(std::uint16_t format, std::uint16_t division, const std::vector<Bytes>& tracks) {
    Bytes out;
    append(out, "MThd");
    appendU32(out, 6, true);
    appendU16BE(out, format);
    appendU16BE(out, static_cast<std::uint32_t>(tracks.size()));
    appendU16BE(out, division);
    for (const Bytes& events : tracks) {
        append(out, "MTrk");
        appendU32(out, static_cast<std::uint32_t>(events.size()), true);
        out.insert(out.end(), events.begin(), events.end());
    }
    return out;
}

// Notes with running status, a tempo change, a long delta, a text event, a SysEx message, a
// program change, pitch bend and an End of Track.
Bytes busyTrack() {
    Bytes events;
    append(events, {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}); // 120 bpm
    append(events, {0x00, 0xFF, 0x01, 0x04});
    append(events, "seed");
    append(events, {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    append(events, {0x00, 0xC0, 0x05, 0x00, 0x90, 60, 100, 0x60, 64, 100});
    append(events, {0x81, 0x40, 60, 0, 0x00, 64, 0, 0x00, 0xE0, 0x00, 0x40});
    append(events, {0x83, 0x87, 0x20, 0xB0, 0x07, 0x64, 0x00, 0xFF, 0x2F, 0x00});
    return events;
}

Bytes shortTrack(std::uint8_t note) {
    Bytes events = {0x00, 0x91, note, 90, 0x60, 0x81, note, 0};
    append(events, {0x00, 0xFF, 0x2F, 0x00});
    return events;
}

Bytes rmid(const Bytes& song) {
    Bytes out;
    append(out, "RIFF");
    appendU32(out, static_cast<std::uint32_t>(song.size() + 12), false);
    append(out, "RMIDdata");
    appendU32(out, static_cast<std::uint32_t>(song.size()), false);
    out.insert(out.end(), song.begin(), song.end());
    return out;
}

const std::string_view kStore = "Windows Registry Editor Version 5.00\n"
                                "\n"
                                "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options]\n"
                                "\"OutputFormat\"=dword:000003e8\n"
                                "\"Folder\"=\"/home/user/Music/\"\n"
                                "\"MP3BitRate\"=dword:000000c0\n"
                                "\n"
                                "[HKEY_CURRENT_USER\\Software\\Ostrane Velmora\\Options\\MP3Tag]\n"
                                "\"Artist\"=\"A \\\"quoted\\\" name \\\\ \\xff\\t\"\n";

const std::string_view kOddStore = "\xEF\xBB\xBFREGEDIT4\r\n"
                                   "[HKEY_LOCAL_MACHINE\\Software]\r\n"
                                   "\"Other\"=dword:1\r\n"
                                   "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n"
                                   "; a comment\r\n"
                                   "[hkey_current_user\\\\software\\ostrane velmora\\OPTIONS\\]\r\n"
                                   "  \"outputformat\" = dword:FFFFFFFF  \r\n"
                                   "\"Broken\"=\"no end\r\n"
                                   "\"Text\"=\"caf\xC3\xA9 \xE2\x82\xAC\"\r\n"
                                   "\"Cut\"=dword:c0";

void writeSeed(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::cerr << "cannot write " << file.string() << '\n';
        std::exit(1);
    }
}

Bytes textBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: velmora_fuzz_seed_maker MIDI_DIR STORE_DIR\n";
        return 2;
    }
    const std::filesystem::path midi = argv[1];
    const std::filesystem::path store = argv[2];
    std::filesystem::create_directories(midi);
    std::filesystem::create_directories(store);

    const Bytes single = midiFile(0, 96, {busyTrack()});
    writeSeed(midi / "format0.mid", single);
    writeSeed(midi / "format1.mid",
              midiFile(1, 480, {busyTrack(), shortTrack(67), shortTrack(72)}));
    writeSeed(midi / "wrapped.rmi", rmid(single));

    writeSeed(store / "typical.reg", textBytes(kStore));
    writeSeed(store / "odd.reg", textBytes(kOddStore));
    return 0;
}
