#include "platform/amr/amr_nb_encoder.h"

#include <algorithm>
#include <array>

extern "C" {
#include <opencore-amrnb/interf_enc.h>
}

namespace velmora {
namespace {

constexpr std::string_view kMagic = "#!AMR\n";
// Largest storage-format frame: 12.2 kbit/s is 31 bytes plus its header byte.
constexpr std::size_t kMaxFrameBytes = 32;

} // namespace

AmrNbEncoder::~AmrNbEncoder() {
    quit();
}

bool AmrNbEncoder::init(const std::string& path, bool dtx, int mode) {
    quit();
    if (mode < 0 || mode >= kModeCount)
        return false;
    if (!m_file.create(path, kMagic))
        return false;
    m_state = Encoder_Interface_init(dtx ? 1 : 0);
    if (!m_state) {
        m_file.finish();
        return false;
    }
    m_mode = mode;
    return true;
}

bool AmrNbEncoder::encode(const std::int16_t* frame) {
    if (!m_state || !frame)
        return false;
    // The library filters the speech it is given in place, whatever its declaration says; it
    // works on a copy so that the caller's samples stay as they were.
    std::copy_n(frame, kFrameSamples, m_speech.begin());
    // Room to spare: the library writes up to its own frame size without being told ours.
    std::array<std::uint8_t, kMaxFrameBytes * 2> out{};
    const int bytes = Encoder_Interface_Encode(m_state, static_cast<Mode>(m_mode), m_speech.data(),
                                               out.data(), 0);
    if (bytes <= 0)
        return true; // the codec had nothing to store for this frame
    return m_file.append(std::span(out.data(), static_cast<std::size_t>(bytes)));
}

bool AmrNbEncoder::quit() {
    if (!m_state)
        return true;
    Encoder_Interface_exit(m_state);
    m_state = nullptr;
    return m_file.finish();
}

} // namespace velmora
