#include "sources/codecs/gsm_decoder.h"

#include <algorithm>
#include <array>
#include <gsm.h>
#include <type_traits>

namespace velmora {

// The decoded samples go straight into the caller's 16-bit buffer.
static_assert(std::is_same_v<gsm_signal, std::int16_t>);

GsmDecoder::GsmDecoder(bool wav49) : m_handle(gsm_create()), m_wav49(wav49) {
    if (m_handle && wav49) {
        int one = 1;
        gsm_option(m_handle, GSM_OPT_WAV49, &one);
    }
}

GsmDecoder::~GsmDecoder() {
    if (m_handle)
        gsm_destroy(m_handle);
}

bool GsmDecoder::decodeFrame(std::span<const std::uint8_t> frame, std::span<std::int16_t> out) {
    if (!m_handle || m_wav49 || frame.size() != kFrameBytes || out.size() < kFrameSamples)
        return false;
    // libgsm takes a non-const pointer but only reads the frame; a copy keeps it honest.
    std::array<gsm_byte, kFrameBytes> bytes{};
    std::copy(frame.begin(), frame.end(), bytes.begin());
    return gsm_decode(m_handle, bytes.data(), out.data()) >= 0;
}

bool GsmDecoder::decodeBlock(std::span<const std::uint8_t> block, std::span<std::int16_t> out) {
    if (!m_handle || !m_wav49 || block.size() != kWav49BlockBytes ||
        out.size() < kWav49BlockSamples)
        return false;
    // In WAV49 mode libgsm reads 33 bytes for the first frame (its last half byte starts the
    // second) and 32 for the second, alternating by its own frame counter.
    std::array<gsm_byte, kWav49BlockBytes> bytes{};
    std::copy(block.begin(), block.end(), bytes.begin());
    const auto samples = out.first(kWav49BlockSamples);
    const std::span<gsm_byte> first = std::span(bytes).first(kFrameBytes);
    const std::span<gsm_byte> second = std::span(bytes).subspan(kFrameBytes);
    return gsm_decode(m_handle, first.data(), samples.data()) >= 0 &&
           gsm_decode(m_handle, second.data(), samples.subspan(kFrameSamples).data()) >= 0;
}

} // namespace velmora
