#pragma once

#include <array>
#include <cstdint>

namespace velmora {

// ITU-T G.721 (32 kbit/s) and G.723 (24 and 40 kbit/s) ADPCM decoding to 16-bit linear PCM,
// bit-exact with the public reference implementation of the ITU algorithm (the same arithmetic,
// the same 16-bit truncations). One object decodes one channel: a stereo stream needs two.
class G72xDecoder {
public:
    enum class Variant { G721, G723_24, G723_40 };

    explicit G72xDecoder(Variant variant);

    Variant variant() const { return m_variant; }
    // Bits per code: 4 for G.721, 3 for G.723 at 24 kbit/s, 5 for G.723 at 40 kbit/s.
    int codeBits() const { return codeBitsOf(m_variant); }
    static int codeBitsOf(Variant variant);

    // Decodes one code (its low codeBits() bits) into a 16-bit linear sample.
    std::int16_t decode(unsigned code);
    // Back to the initial state of the reference decoder.
    void reset();

private:
    // The adaptive quantizer and predictor state of the reference decoder. Coefficients and
    // delayed values are kept in 16-bit fields because the reference truncates them to 16 bits.
    struct State {
        std::int32_t yl = 0;              // locked (steady-state) step size multiplier, ×64
        std::int16_t yu = 0;              // unlocked step size multiplier
        std::int16_t dms = 0;             // short-term average magnitude of the code
        std::int16_t dml = 0;             // long-term average magnitude of the code
        std::int16_t ap = 0;              // speed control: weight of yu against yl
        std::array<std::int16_t, 2> a{};  // pole coefficients of the predictor
        std::array<std::int16_t, 6> b{};  // zero coefficients of the predictor
        std::array<std::int16_t, 2> pk{}; // signs of the last two partial reconstructions
        std::array<std::int16_t, 6> dq{}; // last six quantized differences, 4.6 floating format
        std::array<std::int16_t, 2> sr{}; // last two reconstructed samples, 4.6 floating format
        bool td = false;                  // delayed tone detection
    };

    int stepSize() const;
    int predictorZero() const;
    int predictorPole() const;
    void update(int y, int wi, int fi, int dq, int sr, int dqsez);

    Variant m_variant;
    State m_state;
};

} // namespace velmora
