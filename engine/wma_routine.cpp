#include "engine/wma_routine.h"

#include "engine/conversion_settings.h"
#include "sources/source_tags.h"

#include <algorithm>
#include <array>

namespace velmora {
namespace {

constexpr int kDefaultRenderRate = 44100;

// "Auto": the target follows the source's rate, with a richer stream for two channels.
struct AutomaticRow {
    int upToRate; // highest source rate of the row, Hz
    WmaRoutine::Target mono;
    WmaRoutine::Target stereo;
};
constexpr std::array<AutomaticRow, 5> kAutomaticRows = {{
    {12000, {22050, 20000}, {22050, 32000}},
    {16000, {44100, 32000}, {44100, 48000}},
    {24000, {44100, 48000}, {44100, 64000}},
    {32000, {44100, 48000}, {44100, 96000}},
    {44100, {44100, 48000}, {44100, 128000}},
}};
constexpr AutomaticRow kAboveRows = {0, {44100, 48000}, {48000, 192000}};

WmaWriter::Tags writerTags(const TagValues& values) {
    return {values.text, static_cast<std::uint32_t>(std::max(values.track, 0))};
}

} // namespace

WmaRoutine::WmaRoutine() : WmaRoutine(WmaFormatList::shared()) {}

WmaRoutine::WmaRoutine(const WmaFormatList& catalogue) : m_catalogue(catalogue) {}

WmaRoutine::Target WmaRoutine::automaticTarget(int sourceRate, int sourceChannels) {
    const auto row = std::find_if(kAutomaticRows.begin(), kAutomaticRows.end(),
                                  [&](const AutomaticRow& r) { return sourceRate <= r.upToRate; });
    const AutomaticRow& chosen = row != kAutomaticRows.end() ? *row : kAboveRows;
    return sourceChannels == 2 ? chosen.stereo : chosen.mono;
}

int WmaRoutine::renderRate(const ConversionSettings& settings) const {
    // A stored rate of 0 (or less) would leave synthesised sources nothing to render at.
    if (settings.AutoDestWMAEncodingParam != 0 || settings.WMASampleRate <= 0)
        return kDefaultRenderRate;
    return settings.WMASampleRate;
}

bool WmaRoutine::openWriter(AudioSource& source, const std::string& path, RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    const int sourceChannels = source.outChannels();
    Target target;
    int formatChannels = sourceChannels;
    m_inputChannels = sourceChannels;
    if (settings.AutoDestWMAEncodingParam != 0) {
        target = automaticTarget(source.sampleRate(), sourceChannels);
    } else {
        target = {settings.WMASampleRate, settings.WMABitRate};
        formatChannels = settings.WMAChannels;
        if (formatChannels < sourceChannels && (settings.MonoType == 1 || settings.MonoType == 2))
            m_inputChannels = 1;
    }
    m_inputBits = source.bitsPerSample();
    m_writer.setPath(path);
    m_writer.setInputFormat(source.sampleRate(), m_inputBits, m_inputChannels);
    const WmaFormatList::Entry* format =
        m_catalogue.selectFormat(target.sampleRate, target.bitRate, formatChannels);
    if (!format)
        return false;
    m_writer.setCodecFormat(&format->mediaType, format->bitRate);
    return true;
}

std::optional<TagValues> WmaRoutine::tagValues(AudioSource& source, const std::string& sourcePath,
                                               SourceKind kind,
                                               const RoutineContext& context) const {
    const ConversionSettings& settings = context.settings;
    if (settings.WMAID3TagType == 0)
        return TagValues::fromPreset(settings.WMATag, sourcePath, context.batchPosition);
    if (settings.WMAID3TagType != 1)
        return std::nullopt;
    TagSet tags;
    if ((kind == SourceKind::Mpeg4Audio || kind == SourceKind::Mpeg4) &&
        SourceTags::readMp4Tags(sourcePath, tags))
        return TagValues::fromSource(tags);
    tags = {};
    if (source.readTags(tags))
        return TagValues::fromSource(tags);
    return std::nullopt;
}

bool WmaRoutine::startWriter(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                             RoutineContext& context) {
    if (const auto values = tagValues(source, sourcePath, kind, context))
        m_writer.setTags(writerTags(*values));
    return m_writer.begin();
}

BlockAdapter::Plan WmaRoutine::adapterPlan(AudioSource& source, RoutineContext& context) {
    const ConversionSettings& settings = context.settings;
    BlockAdapter::Plan plan;
    plan.source = {source.outChannels(), source.sampleRate(), source.bitsPerSample()};
    // The writer converts; the chain only picks the channel that goes on alone.
    plan.output = {m_inputChannels, source.sampleRate(), source.bitsPerSample()};
    plan.monoType = settings.MonoType;
    plan.convert = false;
    if (Amplifier::inUse(settings.AmplifyWMA != 0, settings.AmplifyWMACoeff))
        plan.amplifyCoefficient = settings.AmplifyWMACoeff;
    return plan;
}

bool WmaRoutine::writeBlock(const PcmBlock& block) {
    if (m_inputBits == 8)
        return m_writer.write8(block.left.samples8(), block.right.samples8(), block.frames);
    return m_writer.write16(block.left.samples16(), block.right.samples16(), block.frames);
}

bool WmaRoutine::finish(std::unique_ptr<AudioSource>& source, bool succeeded) {
    bool complete = false;
    if (succeeded)
        complete = m_writer.close(); // false when the end of the file did not reach the disk
    else
        m_writer.abandon(); // the partial file goes anyway; finishing it would be wasted work
    source->close();
    source.reset();
    return complete;
}

} // namespace velmora
