#include "engine/mp4_routine.h"

#include "engine/aac_encoder_options.h"
#include "engine/conversion_settings.h"
#include "engine/tag_values.h"
#include "sources/source_tags.h"

namespace velmora {
namespace {

constexpr int kRenderRate = 44100;
constexpr int kHighestKeptRate = 48000;
constexpr int kLimitedRate = 44100;
constexpr int kCustomTags = 0;
constexpr int kTransferredTags = 1;

Mp4Writer::Tags writerTags(const TagValues& values) {
    return {values.text, values.track};
}

// MPEG-4 sources are asked through the MP4 metadata reader first, then through the decoder.
std::optional<TagValues> transferredTags(AudioSource& source, const std::string& sourcePath,
                                         SourceKind kind) {
    TagSet tags;
    if ((kind == SourceKind::Mpeg4Audio || kind == SourceKind::Mpeg4) &&
        SourceTags::readMp4Tags(sourcePath, tags))
        return TagValues::fromSource(tags);
    tags = TagSet{};
    if (source.readTags(tags))
        return TagValues::fromSource(tags);
    return std::nullopt;
}

} // namespace

int Mp4Routine::renderRate(const ConversionSettings&) const {
    return kRenderRate;
}

bool Mp4Routine::openWriter(AudioSource& source, const std::string& path, RoutineContext& context) {
    m_rate = source.sampleRate();
    m_bits = source.bitsPerSample();
    if (context.settings.limitM4ASampleRate && m_rate > kHighestKeptRate) {
        m_rate = kLimitedRate;
        m_bits = 16; // the converter delivers 16-bit samples
    }
    return m_writer.open(path, m_rate, source.outChannels(), m_bits);
}

bool Mp4Routine::startWriter(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                             RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    if (settings.AutoDestM4AEncodingParam == 0)
        AacEncoderOptions::forMp4Family(settings).applyTo(m_writer.configuration(),
                                                          source.outChannels());
    if (!m_writer.start())
        return false;
    if (const auto tags = chooseTags(source, sourcePath, kind, context))
        m_writer.setTags(*tags);
    return true;
}

std::optional<Mp4Writer::Tags> Mp4Routine::chooseTags(AudioSource& source,
                                                      const std::string& sourcePath,
                                                      SourceKind kind, RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    if (settings.M4AID3TagType == kCustomTags)
        return writerTags(
            TagValues::fromPreset(settings.M4ATag, sourcePath, context.batchPosition));
    if (settings.M4AID3TagType == kTransferredTags) {
        if (const auto values = transferredTags(source, sourcePath, kind))
            return writerTags(*values);
    }
    return std::nullopt;
}

BlockAdapter::Plan Mp4Routine::adapterPlan(AudioSource& source, RoutineContext& context) {
    BlockAdapter::Plan plan = unchangedSourcePlan(source, context.settings.AmplifyM4A != 0,
                                                  context.settings.AmplifyM4ACoef);
    if (m_rate != plan.source.rate) {
        plan.output.rate = m_rate;
        plan.output.bits = m_bits;
        plan.convert = true;
    }
    return plan;
}

bool Mp4Routine::writeBlock(const PcmBlock& block) {
    if (m_bits == 8)
        return m_writer.write8(block.left.samples8(), block.right.samples8(), block.frames);
    return m_writer.write16(block.left.samples16(), block.right.samples16(), block.frames);
}

bool Mp4Routine::finish(std::unique_ptr<AudioSource>& source, bool) {
    source->close();
    source.reset();
    // A file whose index never reached the disk plays nowhere.
    return m_writer.close();
}

} // namespace velmora
