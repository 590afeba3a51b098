#include "platform/float_sample.h"

#include <algorithm>
#include <cmath>

namespace velmora {

std::int16_t floatToSample(double value) {
    if (std::isnan(value))
        return 0;
    value = std::clamp(value, -1.0, 1.0);
    const auto scaled = static_cast<std::int64_t>(value * 2147483647.0); // truncates toward zero
    return static_cast<std::int16_t>(static_cast<std::int32_t>(scaled) >> 16);
}

} // namespace velmora
