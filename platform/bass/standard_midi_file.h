#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmora {

// A Standard MIDI File checked and rewritten for the renderer, with the time its last event
// falls on. Every chunk size, variable-length number and event length is checked against the
// bytes that are there; a track that is cut short or holds an event no Standard MIDI File may
// hold ends at the last good event. The rewritten file holds the same events with running
// status spelled out and an End of Track event closing every track, so the renderer only ever
// reads well-formed input and plays exactly the events the length was computed from.
class StandardMidiFile {
public:
    // The renderer plays at most this many tracks; later ones are left out.
    static constexpr std::size_t kMaxTracks = 128;
    // Microseconds per quarter note until the first tempo event.
    static constexpr std::uint32_t kDefaultTempo = 500000;

    // A Standard MIDI File, or one wrapped in a RIFF "RMID" file. None when the bytes are not
    // such a file, hold no track, or time their events in SMPTE frames (which the renderer
    // cannot play).
    static std::optional<StandardMidiFile> parse(std::span<const std::uint8_t> bytes);

    // The rewritten file, for the renderer.
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    // Seconds from the start of the song to its last event (the latest End of Track).
    double endSeconds() const { return m_endSeconds; }
    std::size_t trackCount() const { return m_trackCount; }
    std::uint64_t endTick() const { return m_endTick; }

private:
    std::vector<std::uint8_t> m_bytes;
    double m_endSeconds = 0.0;
    std::size_t m_trackCount = 0;
    std::uint64_t m_endTick = 0;
};

} // namespace velmora
