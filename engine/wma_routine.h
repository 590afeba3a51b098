#pragma once

#include "engine/conversion_routine.h"
#include "engine/tag_values.h"
#include "writers/wma_format_list.h"
#include "writers/wma_writer.h"

#include <optional>

namespace velmora {

// Converts one file to WMA, WMV or ASF (the same audio-only stream under three extensions). The
// routine picks the codec format from the catalogue and, for a mono format, the channel to
// keep; the Windows Media writer converts rate, width and channel count itself.
class WmaRoutine : public ConversionRoutine {
public:
    // What "Auto" asks the catalogue for.
    struct Target {
        int sampleRate = 0; // Hz
        int bitRate = 0;    // bit/s
    };

    // Uses the catalogue of this run.
    WmaRoutine();
    // Uses `catalogue`, which must outlive the routine.
    explicit WmaRoutine(const WmaFormatList& catalogue);

    // The automatic target for a source's rate and channel count.
    static Target automaticTarget(int sourceRate, int sourceChannels);

protected:
    int renderRate(const ConversionSettings& settings) const override;
    bool openWriter(AudioSource& source, const std::string& path, RoutineContext& context) override;
    bool startWriter(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                     RoutineContext& context) override;
    BlockAdapter::Plan adapterPlan(AudioSource& source, RoutineContext& context) override;
    bool writeBlock(const PcmBlock& block) override;
    bool finish(std::unique_ptr<AudioSource>& source, bool succeeded) override;

private:
    // The values of the tag mode; none for mode 2 or when the source has none to transfer.
    std::optional<TagValues> tagValues(AudioSource& source, const std::string& sourcePath,
                                       SourceKind kind, const RoutineContext& context) const;

    const WmaFormatList& m_catalogue;
    WmaWriter m_writer;
    int m_inputChannels = 0; // channels fed to the writer: the source's, or the one chosen
    int m_inputBits = 16;
};

} // namespace velmora
