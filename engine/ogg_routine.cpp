#include "engine/ogg_routine.h"

#include "engine/conversion_settings.h"

namespace velmora {
namespace {

constexpr int kDefaultRenderRate = 44100;
constexpr int kBitsPerKilobit = 1000;

} // namespace

int OggRoutine::renderRate(const ConversionSettings& settings) const {
    if (settings.AutoDestOGGEncodingParam != 0 || settings.OGGSampleRate == 0)
        return kDefaultRenderRate;
    return settings.OGGSampleRate;
}

bool OggRoutine::openWriter(AudioSource&, const std::string& path, RoutineContext&) {
    return m_writer.open(path);
}

bool OggRoutine::startWriter(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                             RoutineContext& context) {
    m_encoder = EncoderPolicy::oggSettings(context.settings, SourceStream::of(source, kind));
    if (!m_writer.init(m_encoder.rate, m_encoder.channels, m_encoder.bitRate * kBitsPerKilobit))
        return false;
    handOverTags(source, sourcePath, kind, context);
    return m_writer.start();
}

void OggRoutine::handOverTags(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                              const RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    const std::optional<TagValues> values = EncoderPolicy::tagValues(
        settings.OGGID3TagType, settings.OGGTag, source, sourcePath, kind, context.batchPosition);
    if (!values)
        return;
    // The track goes as text: the preset's number in decimal ("0" for none), a source's text as
    // it was read.
    m_writer.setTags(values->text);
}

BlockAdapter::Plan OggRoutine::adapterPlan(AudioSource& source, RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    BlockAdapter::Plan plan;
    plan.source = {source.outChannels(), source.sampleRate(), source.bitsPerSample()};
    plan.output = {m_encoder.channels, m_encoder.rate, 16};
    plan.monoType = settings.MonoType;
    const bool mixDown = plan.output.channels < plan.source.channels && settings.MonoType == 0;
    plan.convert = plan.output.rate != plan.source.rate || plan.source.bits != 16 ||
                   plan.source.channels < plan.output.channels || mixDown;
    if (Amplifier::inUse(settings.AmplifyOGG != 0, settings.AmplifyOGGCoeff))
        plan.amplifyCoefficient = settings.AmplifyOGGCoeff;
    return plan;
}

bool OggRoutine::writeBlock(const PcmBlock& block) {
    // A page that did not reach the disk leaves a file with a hole; the conversion fails.
    return m_writer.write16(block.left.samples16(), block.right.samples16(), block.frames);
}

bool OggRoutine::finish(std::unique_ptr<AudioSource>& source, bool) {
    source->close();
    source.reset();
    // Also after cancel or failure, so that whatever stays of the file is a complete stream.
    const bool ended = !m_writer.isStarted() || m_writer.write16(nullptr, nullptr, 0);
    const bool complete = m_writer.close();
    // The last pages are written by the end-of-stream write; when they (or the stream's buffer)
    // did not reach the disk the file is incomplete.
    return ended && complete;
}

} // namespace velmora
