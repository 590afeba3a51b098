#pragma once

#include "engine/amplifier.h"
#include "engine/pcm_converter.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

// PCM format of one side of the chain. Rates in Hz, bits 8 or 16, channels 1 or 2.
struct PcmFormat {
    int channels = 0;
    int rate = 0;
    int bits = 0;

    bool operator==(const PcmFormat&) const = default;
};

// One adapted block: planar samples in the output format, 16-bit or unsigned 8-bit.
struct PcmBlock {
    PcmPlane left;
    PcmPlane right; // only when the output has two channels
    int frames = 0;
};

// The adapt and amplify steps of a routine's block loop: picks the channel that "MonoType"
// chooses, converts through a PcmConverter when the routine needs it, and amplifies. A block
// that needs no conversion passes through without a copy.
class BlockAdapter {
public:
    struct Plan {
        PcmFormat source;     // as the source delivers it
        PcmFormat output;     // as the writer takes it
        int monoType = 0;     // 0 mix (L+R)/2, 1 left, 2 right
        bool convert = false; // the routine's decision that the converter is needed
        std::optional<int> amplifyCoefficient; // percent; none when the amplifier is not in use
    };

    // False when the converter refuses the formats.
    bool setup(const Plan& plan);

    // Adapts one block as the source delivered it (left/right in the source's sample width).
    PcmBlock adapt(std::int16_t* left, std::int16_t* right, int frames);
    // After the source's last block: what the converter still holds, one output block per call;
    // frames 0 when nothing is left.
    PcmBlock drain();

    const Plan& plan() const { return m_plan; }

private:
    // The source channel that goes on alone when the output has fewer channels and "MonoType"
    // picks one; none when both go on.
    std::optional<int> chosenChannel() const;
    void amplify(PcmBlock& block) const;

    Plan m_plan;
    PcmConverter m_converter;
    std::optional<Amplifier> m_amplifier;
    std::vector<std::int16_t> m_out[2];
};

} // namespace velmora
