#pragma once

#include <fluidsynth.h>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// A FluidSynth synthesizer that only renders into memory: no audio driver, its own clock
// driven by the samples rendered (so rendering is deterministic and as fast as the machine
// allows), and the library's messages kept off the terminal.
class Synthesizer {
public:
    // Sample rates the synthesizer accepts, in Hz.
    static constexpr int kMinSampleRate = 8000;
    static constexpr int kMaxSampleRate = 96000;

    static std::unique_ptr<Synthesizer> create(int sampleRate);
    Synthesizer(const Synthesizer&) = delete;
    Synthesizer& operator=(const Synthesizer&) = delete;
    ~Synthesizer();

    // Loads a SoundFont file; false when it is not one the synthesizer can use.
    bool loadSoundFont(const std::string& path);
    // Plays a Standard MIDI File held in memory (the player keeps its own copy).
    bool playMidi(const void* bytes, std::size_t size);
    // Renders `frames` frames of interleaved 16-bit stereo into `out` (2 × frames samples),
    // rounded to the nearest step without dither, so silence stays exactly zero.
    bool render(std::int16_t* out, int frames);

private:
    Synthesizer() = default;

    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    fluid_player_t* m_player = nullptr;
    std::vector<float> m_mix; // one rendering step, interleaved stereo, full scale ±1.0
};

} // namespace velmora
