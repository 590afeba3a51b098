#include "platform/bass/synthesizer.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace velmora {
namespace {

void silenceLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level)
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

// FluidSynth initialises process-wide tables on its first synthesizer and shares loaded
// SoundFont samples between synthesizers; creating, loading and deleting are kept to one thread
// at a time (recursively: a creation that fails deletes what it made). Rendering touches only the
// synthesizer's own state and runs unguarded.
std::recursive_mutex& libraryMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

} // namespace

std::unique_ptr<Synthesizer> Synthesizer::create(int sampleRate) {
    if (sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate)
        return nullptr;
    silenceLibraryLog();
    const std::lock_guard lock(libraryMutex());
    std::unique_ptr<Synthesizer> synthesizer(new Synthesizer());
    synthesizer->m_settings = new_fluid_settings();
    if (!synthesizer->m_settings)
        return nullptr;
    fluid_settings_t* settings = synthesizer->m_settings;
    // The player's clock follows the samples rendered, not the wall clock.
    if (fluid_settings_setnum(settings, "synth.sample-rate", sampleRate) != FLUID_OK ||
        fluid_settings_setstr(settings, "player.timing-source", "sample") != FLUID_OK)
        return nullptr;
    // One thread renders; nothing else touches the synthesizer.
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    fluid_settings_setint(settings, "synth.cpu-cores", 1);
    synthesizer->m_synth = new_fluid_synth(settings);
    if (!synthesizer->m_synth)
        return nullptr;
    return synthesizer;
}

Synthesizer::~Synthesizer() {
    const std::lock_guard lock(libraryMutex());
    // The player refers to the synthesizer, the synthesizer to the settings.
    if (m_player)
        delete_fluid_player(m_player);
    if (m_synth)
        delete_fluid_synth(m_synth);
    if (m_settings)
        delete_fluid_settings(m_settings);
}

bool Synthesizer::loadSoundFont(const std::string& path) {
    const std::lock_guard lock(libraryMutex());
    return fluid_synth_sfload(m_synth, path.c_str(), 1) != FLUID_FAILED;
}

bool Synthesizer::playMidi(const void* bytes, std::size_t size) {
    if (m_player)
        return false;
    m_player = new_fluid_player(m_synth);
    return m_player && fluid_player_add_mem(m_player, bytes, size) == FLUID_OK &&
           fluid_player_play(m_player) == FLUID_OK;
}

bool Synthesizer::render(std::int16_t* out, int frames) {
    if (frames < 0)
        return false;
    const std::size_t samples = static_cast<std::size_t>(frames) * 2;
    m_mix.resize(samples);
    if (fluid_synth_write_float(m_synth, frames, m_mix.data(), 0, 2, m_mix.data(), 1, 2) !=
        FLUID_OK)
        return false;
    for (std::size_t i = 0; i < samples; ++i) {
        const float scaled = std::nearbyint(m_mix[i] * 32768.0f);
        out[i] = static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
    }
    return true;
}

} // namespace velmora
