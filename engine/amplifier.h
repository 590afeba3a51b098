#pragma once

#include <cstdint>

namespace velmora {

// Scales PCM blocks in place by an output family's amplify coefficient (percent), clipping
// instead of wrapping.
//
// The gain is applied as exact integer arithmetic, sample x coefficient / 100 truncated toward
// zero: the 32-bit float factor() cannot hold most percentages exactly (1.01f is 1.0099999905),
// and multiplying by it would turn 30000 at 101 % into 30299 instead of 30300.
class Amplifier {
public:
    explicit Amplifier(int coefficient);

    // True when the routine should amplify at all: the family's flag is on and the coefficient
    // is not 100 %.
    static bool inUse(bool enabled, int coefficient);

    int coefficient() const { return m_coefficient; }
    // coefficient x 0.01, as a 32-bit float.
    float factor() const { return m_factor; }

    // Signed 16-bit samples, clipped to -32767 .. 32767 (the lower bound keeps the range
    // symmetric). buf1 is touched only when channels is 2.
    void amplify16(std::int16_t* buf0, std::int16_t* buf1, int count, int channels) const;
    // Unsigned 8-bit samples (128 = silence); the signed value is clipped to -128 .. 127.
    void amplify8(std::uint8_t* buf0, std::uint8_t* buf1, int count, int channels) const;

private:
    std::int64_t scaled(std::int64_t sample) const;

    int m_coefficient;
    float m_factor;
};

} // namespace velmora
