#pragma once

#include <cstdint>

namespace velmora::g711 {

// ITU-T G.711 expansion of one coded byte to 16-bit linear PCM. Shared by the WAV, AIFF and AU
// readers.
std::int16_t alawToLinear(std::uint8_t alaw);
std::int16_t mulawToLinear(std::uint8_t mulaw);

} // namespace velmora::g711
