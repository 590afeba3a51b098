#include "platform/amr/amr_wb_encoder.h"

#include <array>

extern "C" {
#include <vo-amrwbenc/enc_if.h>
}

namespace velmora {
namespace {

constexpr std::string_view kMagic = "#!AMR-WB\n";
// Largest storage-format frame: 23.85 kbit/s is 60 bytes plus its header byte.
constexpr std::size_t kMaxFrameBytes = 61;

} // namespace

AmrWbEncoder::~AmrWbEncoder() {
    quit();
}

bool AmrWbEncoder::init(const std::string& path, bool dtx, int mode) {
    quit();
    if (mode < 0 || mode >= kModeCount)
        return false;
    if (!m_file.create(path, kMagic))
        return false;
    m_state = E_IF_init();
    if (!m_state) {
        m_file.finish();
        return false;
    }
    m_mode = mode;
    m_dtx = dtx;
    return true;
}

bool AmrWbEncoder::encode(const std::int16_t* frame) {
    if (!m_state || !frame)
        return false;
    // Room to spare: the library writes up to its own frame size without being told ours.
    std::array<std::uint8_t, kMaxFrameBytes * 2> out{};
    const int bytes = E_IF_encode(m_state, m_mode, frame, out.data(), m_dtx ? 1 : 0);
    if (bytes <= 0)
        return true; // the codec had nothing to store for this frame
    return m_file.append(std::span(out.data(), static_cast<std::size_t>(bytes)));
}

bool AmrWbEncoder::quit() {
    if (!m_state)
        return true;
    E_IF_exit(m_state);
    m_state = nullptr;
    return m_file.finish();
}

} // namespace velmora
