#include "engine/block_adapter.h"

namespace velmora {

std::optional<int> BlockAdapter::chosenChannel() const {
    if (m_plan.output.channels < m_plan.source.channels &&
        (m_plan.monoType == 1 || m_plan.monoType == 2))
        return m_plan.monoType - 1;
    return std::nullopt;
}

bool BlockAdapter::setup(const Plan& plan) {
    m_plan = plan;
    m_amplifier.reset();
    if (plan.amplifyCoefficient)
        m_amplifier.emplace(*plan.amplifyCoefficient);
    if (!plan.convert)
        return true;
    const int inChannels = chosenChannel() ? 1 : plan.source.channels;
    m_converter.setInputFormat(inChannels, plan.source.rate, plan.source.bits);
    m_converter.setOutputFormat(plan.output.channels, plan.output.rate, plan.output.bits);
    if (!m_converter.setup())
        return false;
    // Converter output is measured in 16-bit elements; 8-bit output uses the first half.
    const auto capacity =
        static_cast<std::size_t>(PcmConverter::outputCapacity(plan.source.rate, plan.output.rate));
    for (auto& plane : m_out)
        plane.assign(capacity, 0);
    return true;
}

PcmBlock BlockAdapter::adapt(std::int16_t* left, std::int16_t* right, int frames) {
    std::int16_t* in0 = left;
    std::int16_t* in1 = right;
    if (const auto channel = chosenChannel()) {
        in0 = *channel == 0 ? left : right;
        in1 = nullptr;
    }
    PcmBlock block;
    if (m_plan.convert) {
        block.left = m_out[0].data();
        block.right = m_plan.output.channels == 2 ? m_out[1].data() : nullptr;
        block.frames = m_converter.process(in0, in1, frames, block.left, block.right);
    } else {
        block.left = in0;
        block.right = m_plan.output.channels == 2 ? in1 : nullptr;
        block.frames = frames;
    }
    amplify(block);
    return block;
}

PcmBlock BlockAdapter::drain() {
    PcmBlock block;
    if (!m_plan.convert)
        return block;
    block.left = m_out[0].data();
    block.right = m_plan.output.channels == 2 ? m_out[1].data() : nullptr;
    block.frames = m_converter.finish(block.left, block.right);
    amplify(block);
    return block;
}

void BlockAdapter::amplify(PcmBlock& block) const {
    if (!m_amplifier || block.frames <= 0)
        return;
    if (m_plan.output.bits == 8)
        m_amplifier->amplify8(block.left.samples8(), block.right.samples8(), block.frames,
                              m_plan.output.channels);
    else
        m_amplifier->amplify16(block.left.samples16(), block.right.samples16(), block.frames,
                               m_plan.output.channels);
}

} // namespace velmora
