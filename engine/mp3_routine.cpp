#include "engine/mp3_routine.h"

#include "engine/conversion_settings.h"
#include "writers/id3_tag_renderer.h"

namespace velmora {
namespace {

constexpr int kDefaultRenderRate = 44100;
constexpr int kId3v1 = 1;
constexpr int kId3v2 = 2;

} // namespace

int Mp3Routine::renderRate(const ConversionSettings& settings) const {
    if (settings.AutoDestMP3EncodingParam != 0 || settings.MP3SampleRate == 0)
        return kDefaultRenderRate;
    return settings.MP3SampleRate;
}

bool Mp3Routine::openWriter(AudioSource&, const std::string& path, RoutineContext&) {
    return m_writer.open(path);
}

bool Mp3Routine::startWriter(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                             RoutineContext& context) {
    handOverTags(source, sourcePath, kind, context);
    m_encoder = EncoderPolicy::mp3Settings(context.settings, SourceStream::of(source, kind));
    configureEncoder(m_encoder);
    return m_writer.start();
}

void Mp3Routine::handOverTags(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                              const RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    if (settings.MP3ID3TagType == 1 && kind == SourceKind::MpegAudio) {
        // The source's own tags go over untouched, frames the program does not know included.
        if (const auto block = source.id3v1Tag(); !block.empty())
            m_writer.setId3v1(block);
        if (const auto tag = source.id3v2Tag(); !tag.empty())
            m_writer.setId3v2(tag);
        return;
    }
    const std::optional<TagValues> values = EncoderPolicy::tagValues(
        settings.MP3ID3TagType, settings.MP3Tag, source, sourcePath, kind, context.batchPosition);
    if (!values)
        return;
    const Id3TagRenderer::Fields fields{values->text, values->track, 0};
    const int version = settings.MP3WriteID3Version;
    if (version == 0 || version == 2) {
        if (const auto block = Id3TagRenderer::render(kId3v1, fields))
            m_writer.setId3v1(*block);
    }
    if (version == 1 || version == 2) {
        if (const auto tag = Id3TagRenderer::render(kId3v2, fields))
            m_writer.setId3v2(*tag);
    }
}

void Mp3Routine::configureEncoder(const Mp3EncoderSettings& encoder) {
    m_writer.setInSampleRate(encoder.inRate);
    m_writer.setChannels(encoder.channels);
    if (encoder.mode)
        m_writer.setMode(*encoder.mode);
    m_writer.setOutSampleRate(encoder.outRate);
    if (encoder.bitRate)
        m_writer.setBitrate(*encoder.bitRate);
}

BlockAdapter::Plan Mp3Routine::adapterPlan(AudioSource& source, RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    BlockAdapter::Plan plan;
    plan.source = {source.outChannels(), source.sampleRate(), source.bitsPerSample()};
    // Same rate: the encoder resamples. The channel count is what the encoder was given.
    plan.output = {m_encoder.channels, source.sampleRate(), 16};
    plan.monoType = settings.MonoType;
    plan.convert = plan.source.bits != 16;
    if (Amplifier::inUse(settings.AmplifyMp3 != 0, settings.AmplifyMp3Coeff))
        plan.amplifyCoefficient = settings.AmplifyMp3Coeff;
    return plan;
}

bool Mp3Routine::writeBlock(const PcmBlock& block) {
    return m_writer.write16(block.left.samples16(), block.right.samples16(), block.frames);
}

bool Mp3Routine::finish(std::unique_ptr<AudioSource>& source, bool) {
    // The encoder's last frames and the ID3v1 block are written at close; when they did not
    // reach the disk the file is incomplete and must not become the output.
    const bool complete = m_writer.close();
    source->close();
    source.reset();
    return complete;
}

} // namespace velmora
