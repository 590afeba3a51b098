#include "sources/codecs/g72x_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <span>

namespace velmora {
namespace {

// Per code value: the log-domain reconstruction level (dqln, base-2 log × 128, relative to the
// step size), the scale factor adaptation weight (wi) and the speed control input (fi).
struct CodeTables {
    std::span<const std::int16_t> dqln;
    std::span<const std::int16_t> wi;
    std::span<const std::int16_t> fi;
    int wiShift; // G.721 keeps its weights in units of 1/32
};

constexpr std::int16_t kDqln721[16] = {-2048, 4,   135, 213, 273, 323, 373, 425,
                                       425,   373, 323, 273, 213, 135, 4,   -2048};
constexpr std::int16_t kWi721[16] = {-12,  18,  41,  64,  112, 198, 355, 1122,
                                     1122, 355, 198, 112, 64,  41,  18,  -12};
constexpr std::int16_t kFi721[16] = {0,     0,     0,     0x200, 0x200, 0x200, 0x600, 0xE00,
                                     0xE00, 0x600, 0x200, 0x200, 0x200, 0,     0,     0};

constexpr std::int16_t kDqln723_24[8] = {-2048, 135, 273, 373, 373, 273, 135, -2048};
constexpr std::int16_t kWi723_24[8] = {-128, 960, 4384, 18624, 18624, 4384, 960, -128};
constexpr std::int16_t kFi723_24[8] = {0, 0x200, 0x400, 0xE00, 0xE00, 0x400, 0x200, 0};

constexpr std::int16_t kDqln723_40[32] = {-2048, -66, 28,  104, 169, 224, 274, 318, 358, 395,  429,
                                          459,   488, 514, 539, 566, 566, 539, 514, 488, 459,  429,
                                          395,   358, 318, 274, 224, 169, 104, 28,  -66, -2048};
constexpr std::int16_t kWi723_40[32] = {448,   448,   768,   1248,  1280,  1312,  1856,  3200,
                                        4512,  5728,  7008,  8960,  11456, 14080, 16928, 22272,
                                        22272, 16928, 14080, 11456, 8960,  7008,  5728,  4512,
                                        3200,  1856,  1312,  1280,  1248,  768,   448,   448};
constexpr std::int16_t kFi723_40[32] = {0,     0,     0,     0,     0,     0x200, 0x200, 0x200,
                                        0x200, 0x200, 0x400, 0x600, 0x800, 0xA00, 0xC00, 0xC00,
                                        0xC00, 0xC00, 0xA00, 0x800, 0x600, 0x400, 0x200, 0x200,
                                        0x200, 0x200, 0x200, 0,     0,     0,     0,     0};

CodeTables tablesFor(G72xDecoder::Variant variant) {
    switch (variant) {
    case G72xDecoder::Variant::G723_24:
        return {kDqln723_24, kWi723_24, kFi723_24, 0};
    case G72xDecoder::Variant::G723_40:
        return {kDqln723_40, kWi723_40, kFi723_40, 0};
    case G72xDecoder::Variant::G721:
        break;
    }
    return {kDqln721, kWi721, kFi721, 5};
}

// Number of powers of two 1, 2, 4 ... 0x4000 that are not above `value`: the exponent of the
// reference's floating formats.
int exponentOf(int value) {
    int count = 0;
    while (count < 15 && value >= (1 << count))
        ++count;
    return count;
}

// Multiplies a predictor coefficient (an, 14 bits) by a value in the 4-bit exponent, 6-bit
// mantissa format, as the reference does it (including its rounding). A coefficient of magnitude
// 0 takes the floating form of magnitude 1 (mantissa 32, exponent −5): that is what the deployed
// reference decoders compute, and decoding bit-exactly with them needs it.
int floatMultiply(int an, int srn) {
    const int magnitude = std::max(1, an > 0 ? an : ((-an) & 0x1FFF));
    const int exponent = exponentOf(magnitude) - 6;
    const int mantissa = exponent >= 0 ? magnitude >> exponent : magnitude << -exponent;
    const int productExponent = exponent + ((srn >> 6) & 0xF) - 13;
    const int productMantissa = (mantissa * (srn & 077) + 0x30) >> 4;
    const auto product = static_cast<std::int16_t>(
        productExponent >= 0 ? (productMantissa << productExponent) & 0x7FFF
                             : productMantissa >> -productExponent);
    return (an ^ srn) < 0 ? -product : product;
}

// The 4.6 floating format of a non-zero magnitude.
int toFloatFormat(int magnitude) {
    const int exponent = exponentOf(magnitude);
    return (exponent << 6) + ((magnitude << 6) >> exponent);
}

// The quantized difference from its log-domain level: sign in bit 15 (as the reference keeps
// it, magnitude − 0x8000 when negative).
int reconstruct(bool negative, int dqln, int y) {
    const auto dql = static_cast<std::int16_t>(dqln + (y >> 2));
    if (dql < 0)
        return negative ? -0x8000 : 0;
    const int exponent = (dql >> 7) & 15;
    const int mantissa = 128 + (dql & 127);
    // y stays within 544..5120 and dqln below 600, so the exponent is at most 14.
    const auto dq = static_cast<std::int16_t>((mantissa << 7) >> std::max(0, 14 - exponent));
    return negative ? dq - 0x8000 : dq;
}

} // namespace

G72xDecoder::G72xDecoder(Variant variant) : m_variant(variant) {
    reset();
}

int G72xDecoder::codeBitsOf(Variant variant) {
    switch (variant) {
    case Variant::G723_24:
        return 3;
    case Variant::G723_40:
        return 5;
    case Variant::G721:
        break;
    }
    return 4;
}

void G72xDecoder::reset() {
    m_state = State{};
    m_state.yl = 34816;
    m_state.yu = 544;
    m_state.sr = {32, 32};
    m_state.dq = {32, 32, 32, 32, 32, 32};
}

int G72xDecoder::stepSize() const {
    const State& s = m_state;
    if (s.ap >= 256)
        return s.yu;
    int y = s.yl >> 6;
    const int difference = s.yu - y;
    const int weight = s.ap >> 2;
    if (difference > 0)
        y += (difference * weight) >> 6;
    else if (difference < 0)
        y += (difference * weight + 0x3F) >> 6;
    return y;
}

int G72xDecoder::predictorZero() const {
    int sum = 0;
    for (std::size_t i = 0; i < m_state.b.size(); ++i)
        sum += floatMultiply(m_state.b[i] >> 2, m_state.dq[i]);
    return sum;
}

int G72xDecoder::predictorPole() const {
    return floatMultiply(m_state.a[1] >> 2, m_state.sr[1]) +
           floatMultiply(m_state.a[0] >> 2, m_state.sr[0]);
}

std::int16_t G72xDecoder::decode(unsigned code) {
    const int bits = codeBits();
    const CodeTables tables = tablesFor(m_variant);
    const auto index = static_cast<std::size_t>(code & ((1u << bits) - 1u));
    const bool negative = (index >> (bits - 1)) != 0;

    const auto sezi = static_cast<std::int16_t>(predictorZero());
    const auto sez = static_cast<std::int16_t>(sezi >> 1);
    const auto sei = static_cast<std::int16_t>(sezi + predictorPole());
    const auto se = static_cast<std::int16_t>(sei >> 1); // the signal estimate
    const auto y = static_cast<std::int16_t>(stepSize());
    const auto dq = static_cast<std::int16_t>(reconstruct(negative, tables.dqln[index], y));
    // The reference strips the sign with a 14-bit mask for 3- and 4-bit codes, 15-bit for 5.
    const int magnitudeMask = m_variant == Variant::G723_40 ? 0x7FFF : 0x3FFF;
    const auto sr = static_cast<std::int16_t>(dq < 0 ? se - (dq & magnitudeMask) : se + dq);
    const auto dqsez = static_cast<std::int16_t>(sr - se + sez);
    update(y, tables.wi[index] * (1 << tables.wiShift), tables.fi[index], dq, sr, dqsez);
    // sr has a 14-bit dynamic range; the reference scales it by 4 to 16 bits. Damaged code
    // streams can push it further, which saturates here instead of wrapping.
    return static_cast<std::int16_t>(std::clamp(sr * 4, -32768, 32767));
}

void G72xDecoder::update(int y, int wi, int fi, int dq, int sr, int dqsez) {
    State& s = m_state;
    const std::int16_t pk0 = dqsez < 0 ? 1 : 0;
    const auto magnitude = static_cast<std::int16_t>(dq & 0x7FFF);

    // Transition detector: a large difference while a tone was detected means modem data.
    const auto ylInteger = static_cast<std::int16_t>(s.yl >> 15);
    const auto ylFraction = static_cast<std::int16_t>((s.yl >> 10) & 0x1F);
    const int threshold1 = (32 + ylFraction) << ylInteger;
    const int threshold2 = ylInteger > 9 ? 31 << 10 : static_cast<std::int16_t>(threshold1);
    const auto dqThreshold = static_cast<std::int16_t>((threshold2 + (threshold2 >> 1)) >> 1);
    const bool transition = s.td && magnitude > dqThreshold;

    // Quantizer scale factor adaptation.
    s.yu = static_cast<std::int16_t>(std::clamp(y + ((wi - y) >> 5), 544, 5120));
    s.yl += s.yu + ((-s.yl) >> 6);

    // Adaptive predictor coefficients.
    std::int16_t a2p = 0;
    if (transition) {
        s.a.fill(0);
        s.b.fill(0);
    } else {
        const int pks1 = pk0 ^ s.pk[0];
        a2p = static_cast<std::int16_t>(s.a[1] - (s.a[1] >> 7));
        if (dqsez != 0) {
            const int fa1 = pks1 ? s.a[0] : -s.a[0];
            if (fa1 < -8191)
                a2p = static_cast<std::int16_t>(a2p - 0x100);
            else if (fa1 > 8191)
                a2p = static_cast<std::int16_t>(a2p + 0xFF);
            else
                a2p = static_cast<std::int16_t>(a2p + (fa1 >> 5));
            if (pk0 ^ s.pk[1]) {
                if (a2p <= -12160)
                    a2p = -12288;
                else if (a2p >= 12416)
                    a2p = 12288;
                else
                    a2p = static_cast<std::int16_t>(a2p - 0x80);
            } else if (a2p <= -12416) {
                a2p = -12288;
            } else if (a2p >= 12160) {
                a2p = 12288;
            } else {
                a2p = static_cast<std::int16_t>(a2p + 0x80);
            }
        }
        s.a[1] = a2p;

        s.a[0] = static_cast<std::int16_t>(s.a[0] - (s.a[0] >> 8));
        if (dqsez != 0)
            s.a[0] = static_cast<std::int16_t>(pks1 == 0 ? s.a[0] + 192 : s.a[0] - 192);
        const int a1Limit = 15360 - a2p;
        s.a[0] = static_cast<std::int16_t>(std::clamp<int>(s.a[0], -a1Limit, a1Limit));

        const int leak = m_variant == Variant::G723_40 ? 9 : 8;
        for (std::size_t i = 0; i < s.b.size(); ++i) {
            s.b[i] = static_cast<std::int16_t>(s.b[i] - (s.b[i] >> leak));
            if (dq & 0x7FFF)
                s.b[i] =
                    static_cast<std::int16_t>((dq ^ s.dq[i]) >= 0 ? s.b[i] + 128 : s.b[i] - 128);
        }
    }

    // Delay lines, in the 4.6 floating format.
    for (std::size_t i = s.dq.size() - 1; i > 0; --i)
        s.dq[i] = s.dq[i - 1];
    if (magnitude == 0)
        s.dq[0] = static_cast<std::int16_t>(dq >= 0 ? 0x20 : -0x3E0);
    else
        s.dq[0] = static_cast<std::int16_t>(dq >= 0 ? toFloatFormat(magnitude)
                                                    : toFloatFormat(magnitude) - 0x400);

    s.sr[1] = s.sr[0];
    if (sr == 0)
        s.sr[0] = 0x20;
    else if (sr > 0)
        s.sr[0] = static_cast<std::int16_t>(toFloatFormat(sr));
    else if (sr > -32768)
        s.sr[0] = static_cast<std::int16_t>(toFloatFormat(-sr) - 0x400);
    else
        s.sr[0] = -0x3E0;

    s.pk[1] = s.pk[0];
    s.pk[0] = pk0;

    // Tone detector: a strongly negative second pole hints at a modem tone.
    if (transition)
        s.td = false;
    else
        s.td = a2p < -11776;

    // Adaptation speed control.
    s.dms = static_cast<std::int16_t>(s.dms + ((fi - s.dms) >> 5));
    s.dml = static_cast<std::int16_t>(s.dml + (((fi << 2) - s.dml) >> 7));
    if (transition)
        s.ap = 256;
    else if (y < 1536 || s.td || std::abs((s.dms << 2) - s.dml) >= (s.dml >> 3))
        s.ap = static_cast<std::int16_t>(s.ap + ((0x200 - s.ap) >> 4));
    else
        s.ap = static_cast<std::int16_t>(s.ap + ((-s.ap) >> 4));
}

} // namespace velmora
