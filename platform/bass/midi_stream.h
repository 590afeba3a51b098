#pragma once

#include "platform/bass/decode_stream.h"
#include "platform/bass/synthesizer.h"

#include <memory>
#include <vector>

namespace velmora {

// A MIDI song rendered by the synthesizer with the default SoundFont, as 16-bit stereo at the
// render rate. The length is computed at open from the file's events and tempo map: the time
// of the last event plus kReleaseSeconds for the last notes to die away; the stream ends there.
class MidiStream : public DecodeStream {
public:
    // MIDI files are small; larger files are refused before being read into memory.
    static constexpr std::uint64_t kMaxFileBytes = 32ull * 1024 * 1024;
    // Rendered after the last event, in seconds.
    static constexpr double kReleaseSeconds = 1.0;

    static std::unique_ptr<MidiStream> open(const std::string& path, int renderRate);

    std::optional<std::uint64_t> fileEnd() const override { return m_fileBytes; }

protected:
    std::size_t decodeFrames(std::uint8_t* out, std::size_t frames) override;

private:
    MidiStream() = default;

    std::unique_ptr<Synthesizer> m_synthesizer;
    std::uint64_t m_fileBytes = 0;
    std::vector<std::int16_t> m_samples; // one rendering step, interleaved stereo
};

} // namespace velmora
