#include "engine/wav_routine.h"

#include "engine/conversion_settings.h"

namespace velmora {
namespace {

constexpr int kDefaultRenderRate = 44100;

PcmFormat deliveredFormat(const AudioSource& source) {
    return {source.outChannels(), source.sampleRate(), source.bitsPerSample()};
}

} // namespace

int WavRoutine::renderRate(const ConversionSettings& settings) const {
    if (settings.AutoDestWAVEncodingParam != 0 || settings.WAVSampleRate == 0)
        return kDefaultRenderRate;
    return settings.WAVSampleRate;
}

PcmFormat WavRoutine::outputFormat(const AudioSource& source,
                                   const ConversionSettings& settings) const {
    const PcmFormat delivered = deliveredFormat(source);
    if (settings.AutoDestWAVEncodingParam != 0)
        return delivered;
    return {settings.WAVChannelNum != 0 ? settings.WAVChannelNum : delivered.channels,
            settings.WAVSampleRate != 0 ? settings.WAVSampleRate : delivered.rate,
            settings.WAVBitsPerSample != 0 ? settings.WAVBitsPerSample : delivered.bits};
}

bool WavRoutine::openWriter(AudioSource& source, const std::string& path, RoutineContext& context) {
    m_output = outputFormat(source, context.settings);
    // A hand-edited store may hold a width or channel count the format cannot carry.
    const bool writable = (m_output.channels == 1 || m_output.channels == 2) &&
                          (m_output.bits == 8 || m_output.bits == 16) && m_output.rate > 0;
    return writable && m_writer.open(path, m_output.channels == 2, m_output.bits, m_output.rate);
}

BlockAdapter::Plan WavRoutine::adapterPlan(AudioSource& source, RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    BlockAdapter::Plan plan;
    plan.source = deliveredFormat(source);
    plan.output = m_output;
    plan.monoType = settings.MonoType;
    const bool mixDown = plan.output.channels < plan.source.channels && settings.MonoType == 0;
    plan.convert = plan.output.rate != plan.source.rate || plan.output.bits != plan.source.bits ||
                   plan.source.channels < plan.output.channels || mixDown;
    if (Amplifier::inUse(settings.AmplifyWav != 0, settings.AmplifyWavCoeff))
        plan.amplifyCoefficient = settings.AmplifyWavCoeff;
    return plan;
}

bool WavRoutine::writeBlock(const PcmBlock& block) {
    if (m_output.bits == 8)
        return m_writer.write8(block.left.samples8(), block.right.samples8(), block.frames);
    return m_writer.write16(block.left.samples16(), block.right.samples16(), block.frames);
}

bool WavRoutine::finish(std::unique_ptr<AudioSource>& source, bool) {
    source->close();
    source.reset();
    return m_writer.close();
}

} // namespace velmora
