#include "platform/bass/decoding_library.h"

#include "platform/bass/midi_sound_font.h"

#include <atomic>

namespace velmora {
namespace {

std::atomic<bool> g_running{false};

} // namespace

std::unique_ptr<DecodingLibrary> DecodingLibrary::start() {
    if (!versionSupported(version()))
        return nullptr;
    bool expected = false;
    if (!g_running.compare_exchange_strong(expected, true))
        return nullptr;
    return std::unique_ptr<DecodingLibrary>(new DecodingLibrary());
}

bool DecodingLibrary::running() {
    return g_running.load();
}

DecodingLibrary::~DecodingLibrary() {
    MidiSoundFont::clear();
    g_running.store(false);
}

} // namespace velmora
