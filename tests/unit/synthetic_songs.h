#pragma once

#include <cstdint>
#include <vector>

namespace velmora::test {

// A ProTracker "M.K." module: one 64-row pattern at speed 6 and 125 BPM (7.68 seconds) whose
// first row plays a square-wave sample.
std::vector<std::uint8_t> proTrackerModule();

// A standard MIDI file of the given format and ticks per quarter note, one track chunk for each
// event list.
std::vector<std::uint8_t> midiFile(std::uint16_t format, std::uint16_t division,
                                   const std::vector<std::vector<std::uint8_t>>& tracks);

// A two-track MIDI file (96 ticks per quarter): a piano chord for one second at the default
// tempo, then the tempo doubles and a second chord lasts 192 ticks (half a second). The last
// event falls at 1.5 s.
std::vector<std::uint8_t> midiSong();

} // namespace velmora::test
