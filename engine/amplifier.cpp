#include "engine/amplifier.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr int kUnityPercent = 100;

} // namespace

Amplifier::Amplifier(int coefficient)
    : m_coefficient(coefficient), m_factor(static_cast<float>(coefficient * 0.01)) {}

bool Amplifier::inUse(bool enabled, int coefficient) {
    return enabled && coefficient != kUnityPercent;
}

std::int64_t Amplifier::scaled(std::int64_t sample) const {
    // Integer division truncates toward zero, for negative products too.
    return sample * m_coefficient / kUnityPercent;
}

void Amplifier::amplify16(std::int16_t* buf0, std::int16_t* buf1, int count, int channels) const {
    std::int16_t* buffers[2] = {buf0, channels == 2 ? buf1 : nullptr};
    for (std::int16_t* samples : buffers) {
        if (!samples)
            continue;
        for (int i = 0; i < count; ++i)
            samples[i] = static_cast<std::int16_t>(
                std::clamp<std::int64_t>(scaled(samples[i]), -32767, 32767));
    }
}

void Amplifier::amplify8(std::uint8_t* buf0, std::uint8_t* buf1, int count, int channels) const {
    std::uint8_t* buffers[2] = {buf0, channels == 2 ? buf1 : nullptr};
    for (std::uint8_t* samples : buffers) {
        if (!samples)
            continue;
        for (int i = 0; i < count; ++i)
            samples[i] = static_cast<std::uint8_t>(
                std::clamp<std::int64_t>(scaled(samples[i] - 128), -128, 127) + 128);
    }
}

} // namespace velmora
