#include "platform/bass/midi_stream.h"

#include "platform/bass/input_file.h"
#include "platform/bass/midi_sound_font.h"
#include "platform/bass/standard_midi_file.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace velmora {

std::unique_ptr<MidiStream> MidiStream::open(const std::string& path, int renderRate) {
    const auto file = InputFile::open(path);
    if (!file)
        return nullptr;
    const auto bytes = file->readAll(kMaxFileBytes);
    if (!bytes)
        return nullptr;
    const auto song = StandardMidiFile::parse(*bytes);
    if (!song)
        return nullptr;
    const double seconds = song->endSeconds() + kReleaseSeconds;
    if (!(seconds <= kMaxRenderSeconds))
        return nullptr;

    std::unique_ptr<MidiStream> stream(new MidiStream());
    stream->m_fileBytes = file->size();
    stream->m_synthesizer = Synthesizer::create(renderRate);
    if (!stream->m_synthesizer)
        return nullptr;
    // Without a default SoundFont the song still has its length but renders silence (the
    // conversion driver refuses MIDI files before that happens). A default that no longer
    // loads is a failure.
    const std::string soundFont = MidiSoundFont::defaultFile();
    if (!soundFont.empty() && !stream->m_synthesizer->loadSoundFont(soundFont))
        return nullptr;
    if (!stream->m_synthesizer->playMidi(song->bytes().data(), song->bytes().size()))
        return nullptr;
    const auto frames = static_cast<std::uint64_t>(std::llround(seconds * renderRate));
    if (!stream->setFormat(StreamInfo{renderRate, 2, false}, frames))
        return nullptr;
    return stream;
}

std::size_t MidiStream::decodeFrames(std::uint8_t* out, std::size_t frames) {
    // The synthesizer takes an int count; one read step is far below that.
    const auto step = static_cast<int>(std::min<std::size_t>(frames, INT_MAX / 2));
    m_samples.resize(static_cast<std::size_t>(step) * 2);
    if (!m_synthesizer->render(m_samples.data(), step))
        return 0;
    std::memcpy(out, m_samples.data(), m_samples.size() * sizeof(std::int16_t));
    return static_cast<std::size_t>(step);
}

} // namespace velmora
