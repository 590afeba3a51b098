#include "engine/amr_routine.h"

#include "engine/conversion_settings.h"
#include "engine/output_format.h"

namespace velmora {
namespace {

constexpr int kNarrowBandRate = 8000;
constexpr int kWideBandRate = 16000;

} // namespace

AmrRoutine::AmrRoutine(int outputFormatCode) : m_outputFormatCode(outputFormatCode) {}

bool AmrRoutine::wideBandAwb() const {
    return m_outputFormatCode == code(OutputFormat::Awb);
}

int AmrRoutine::outputRate(const ConversionSettings& settings) const {
    return !wideBandAwb() && settings.AMRType == 0 ? kNarrowBandRate : kWideBandRate;
}

int AmrRoutine::renderRate(const ConversionSettings& settings) const {
    return outputRate(settings);
}

bool AmrRoutine::openWriter(AudioSource&, const std::string& path, RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    const bool narrowBand = outputRate(settings) == kNarrowBandRate;
    if (!m_writer.prepare(narrowBand))
        return false;
    if (wideBandAwb()) {
        m_writer.setWideBandMode(settings.AWBMode);
        m_writer.setDtx(settings.AWBDTX);
    } else if (narrowBand) {
        m_writer.setNarrowBandMode(settings.AMRMode);
        m_writer.setDtx(settings.AMRDTX);
    } else {
        m_writer.setWideBandMode(settings.AMRWBMode);
        m_writer.setDtx(settings.AMRDTX);
    }
    if (m_writer.open(path))
        return true;
    m_writer.close();
    return false;
}

BlockAdapter::Plan AmrRoutine::adapterPlan(AudioSource& source, RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    BlockAdapter::Plan plan;
    plan.source = {source.outChannels(), source.sampleRate(), source.bitsPerSample()};
    plan.output = {1, outputRate(settings), 16};
    plan.monoType = settings.MonoType;
    plan.convert = plan.source.rate != plan.output.rate || plan.source.bits != 16 ||
                   (plan.source.channels == 2 && settings.MonoType == 0);
    if (Amplifier::inUse(settings.AmplifyAMR != 0, settings.AmplifyAMRCoef))
        plan.amplifyCoefficient = settings.AmplifyAMRCoef;
    return plan;
}

bool AmrRoutine::writeBlock(const PcmBlock& block) {
    // Unlike the encoder's own results, a file that can no longer be written is a lost
    // conversion, not a finished one.
    return m_writer.write(block.left.samples16(), block.frames);
}

bool AmrRoutine::finish(std::unique_ptr<AudioSource>& source, bool) {
    source->close();
    source.reset();
    // False when the last frame or the end of the file did not reach the disk.
    return m_writer.close();
}

} // namespace velmora
