#include "sources/codecs/g711.h"

#include <array>

namespace velmora::g711 {
namespace {

// A-law: the byte is stored with every even bit inverted (XOR 0x55); 3 bits of segment, 4 of
// mantissa, the sign bit set for positive values. Segment 0 has bias 8, the others 0x108 shifted
// by segment − 1.
constexpr std::int16_t expandAlaw(std::uint8_t code) {
    const unsigned value = code ^ 0x55u;
    int magnitude = static_cast<int>((value & 0x0Fu) << 4);
    const unsigned segment = (value & 0x70u) >> 4;
    if (segment == 0)
        magnitude += 8;
    else
        magnitude = (magnitude + 0x108) << (segment - 1);
    return static_cast<std::int16_t>((value & 0x80u) ? magnitude : -magnitude);
}

// µ-law: the byte is stored inverted; 3 bits of segment, 4 of mantissa, bias 132 (0x84).
constexpr std::int16_t expandMulaw(std::uint8_t code) {
    const unsigned value = ~static_cast<unsigned>(code) & 0xFFu;
    int magnitude = static_cast<int>(((value & 0x0Fu) << 3) + 0x84u);
    magnitude <<= (value & 0x70u) >> 4;
    return static_cast<std::int16_t>((value & 0x80u) ? (0x84 - magnitude) : (magnitude - 0x84));
}

template <std::int16_t (*Expand)(std::uint8_t)>
constexpr std::array<std::int16_t, 256> makeTable() {
    std::array<std::int16_t, 256> table{};
    for (unsigned code = 0; code < 256; ++code)
        table[code] = Expand(static_cast<std::uint8_t>(code));
    return table;
}

constexpr auto kAlawTable = makeTable<expandAlaw>();
constexpr auto kMulawTable = makeTable<expandMulaw>();

static_assert(kAlawTable[0xD5] == 8 && kAlawTable[0x55] == -8);
static_assert(kAlawTable[0xAA] == 32256 && kAlawTable[0x2A] == -32256);
static_assert(kMulawTable[0xFF] == 0 && kMulawTable[0x7F] == 0);
static_assert(kMulawTable[0x80] == 32124 && kMulawTable[0x00] == -32124);

} // namespace

std::int16_t alawToLinear(std::uint8_t alaw) {
    return kAlawTable[alaw];
}

std::int16_t mulawToLinear(std::uint8_t mulaw) {
    return kMulawTable[mulaw];
}

} // namespace velmora::g711
