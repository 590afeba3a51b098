#pragma once

#include "engine/conversion_routine.h"
#include "writers/mp4_writer.h"

#include <optional>

namespace velmora {

// Converts one file to M4A, MP4, M4B or M4R (the four differ only in the output's extension):
// the source's PCM unchanged into AAC in an MPEG-4 file, with the tags "M4AID3TagType" asks for.
// Only a run that limits the rate (a ringtone for a phone) resamples a high-rate source.
class Mp4Routine : public ConversionRoutine {
protected:
    int renderRate(const ConversionSettings& settings) const override;
    bool openWriter(AudioSource& source, const std::string& path, RoutineContext& context) override;
    bool startWriter(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                     RoutineContext& context) override;
    BlockAdapter::Plan adapterPlan(AudioSource& source, RoutineContext& context) override;
    bool writeBlock(const PcmBlock& block) override;
    bool finish(std::unique_ptr<AudioSource>& source, bool succeeded) override;

private:
    // The tags of the file; none for tag type 2, or when a transfer found nothing.
    static std::optional<Mp4Writer::Tags> chooseTags(AudioSource& source,
                                                     const std::string& sourcePath, SourceKind kind,
                                                     RoutineContext& context);

    Mp4Writer m_writer;
    int m_rate = 0; // Hz of the output
    int m_bits = 16;
};

} // namespace velmora
