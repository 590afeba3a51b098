#include "platform/bass/standard_midi_file.h"
#include "tests/fuzz/read_to_end.h"

#include <cmath>

namespace velmora::fuzz {
namespace {

// The Standard MIDI File check and rewrite. The rewritten file is what the renderer plays, so
// it must itself pass the check unchanged: same bytes, same tracks, same end.
class MidiTarget : public OneShotTarget {
public:
    static constexpr const char* kFileName = nullptr;

    bool open(std::span<const std::uint8_t> bytes, const std::filesystem::path&) {
        m_song = StandardMidiFile::parse(bytes);
        return m_song.has_value();
    }

    void checkAtEnd() const {
        check(m_song->trackCount() > 0 && m_song->trackCount() <= StandardMidiFile::kMaxTracks,
              "a parsed song has between one and kMaxTracks tracks");
        check(std::isfinite(m_song->endSeconds()) && m_song->endSeconds() >= 0.0,
              "the song's end is a finite time");
        const auto again = StandardMidiFile::parse(m_song->bytes());
        check(again.has_value(), "the rewritten file parses");
        check(again->bytes() == m_song->bytes(), "the rewritten file is rewritten to itself");
        check(again->trackCount() == m_song->trackCount() && again->endTick() == m_song->endTick(),
              "the rewritten file has the same tracks and end");
    }

private:
    std::optional<StandardMidiFile> m_song;
};

} // namespace
} // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return velmora::fuzz::openAndReadToEnd<velmora::fuzz::MidiTarget>(data, size);
}
