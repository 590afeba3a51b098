#pragma once

#include <string>
#include <vector>

namespace velmora {

// The default SoundFont that every new MIDI stream renders with. It is installed once (at
// start-up, or when a conversion batch first meets a MIDI file) and stays for the run.
//
// The files tried, in order: "ct4mgm.sf2" in the program folder (then ../share/velmora/ beside
// it), then the distribution's General MIDI SoundFont, which stands in as the built-in
// default. The environment variable VELMORA_SOUNDFONT_PATH, when set, replaces that list: the
// files it names, separated by ":", are tried instead; set but empty, no SoundFont is found.
class MidiSoundFont {
public:
    static constexpr const char* kFileName = "ct4mgm.sf2";
    static constexpr const char* kDistributionFile = "/usr/share/sounds/sf2/default-GM.sf2";
    static constexpr const char* kPathVariable = "VELMORA_SOUNDFONT_PATH";

    // True when a default SoundFont is installed for new MIDI streams. When none is yet, the
    // candidates are tried in order and the first that loads is installed.
    static bool ensureDefault();
    // Installs one file as the default when it is a SoundFont that loads; otherwise the
    // default stays as it was. Returns whether the file was installed.
    static bool install(const std::string& path);
    // The installed default SoundFont file; empty when none is installed.
    static std::string defaultFile();
    // Forgets the default (at exit); new MIDI streams are then silent until one is installed.
    static void clear();

    // The files ensureDefault() tries, in order.
    static std::vector<std::string> candidates();
};

} // namespace velmora
