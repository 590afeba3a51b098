#pragma once

#include <cstdint>

namespace velmora {

// A floating-point sample (nominally -1.0..1.0) as 16-bit PCM: scaled by 2147483647 and
// truncated toward zero, then shifted right by 16. Values are clamped to -1.0..1.0 first (NaN
// counts as silence) so that loud samples saturate rather than wrap around. Shared by every
// reader that meets float data.
std::int16_t floatToSample(double value);

} // namespace velmora
