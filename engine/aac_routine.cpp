#include "engine/aac_routine.h"

#include "engine/aac_encoder_options.h"
#include "engine/conversion_settings.h"

namespace velmora {
namespace {

constexpr int kRenderRate = 44100;

} // namespace

int AacRoutine::renderRate(const ConversionSettings&) const {
    return kRenderRate;
}

bool AacRoutine::openWriter(AudioSource& source, const std::string& path, RoutineContext&) {
    m_bits = source.bitsPerSample();
    return m_writer.open(path, source.sampleRate(), source.outChannels(), m_bits);
}

bool AacRoutine::startWriter(AudioSource& source, const std::string&, SourceKind,
                             RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    if (settings.AutoDestAACEncodingParam == 0)
        AacEncoderOptions::forAac(settings).applyTo(m_writer.configuration(), source.outChannels());
    return m_writer.start();
}

BlockAdapter::Plan AacRoutine::adapterPlan(AudioSource& source, RoutineContext& context) {
    return unchangedSourcePlan(source, context.settings.AmplifyAAC != 0,
                               context.settings.AmplifyAACCoef);
}

bool AacRoutine::writeBlock(const PcmBlock& block) {
    if (m_bits == 8)
        return m_writer.write8(block.left.samples8(), block.right.samples8(), block.frames);
    return m_writer.write16(block.left.samples16(), block.right.samples16(), block.frames);
}

bool AacRoutine::finish(std::unique_ptr<AudioSource>& source, bool) {
    source->close();
    source.reset();
    // A file that lost frames on the way (a full disk) is no output.
    return m_writer.close();
}

} // namespace velmora
