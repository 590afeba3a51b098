#pragma once

#include "engine/conversion_routine.h"
#include "writers/aac_writer.h"

namespace velmora {

// Converts one file to raw AAC (ADTS): the source's PCM unchanged, no tags.
class AacRoutine : public ConversionRoutine {
protected:
    int renderRate(const ConversionSettings& settings) const override;
    bool openWriter(AudioSource& source, const std::string& path, RoutineContext& context) override;
    bool startWriter(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                     RoutineContext& context) override;
    BlockAdapter::Plan adapterPlan(AudioSource& source, RoutineContext& context) override;
    bool writeBlock(const PcmBlock& block) override;
    bool finish(std::unique_ptr<AudioSource>& source, bool succeeded) override;

private:
    AacWriter m_writer;
    int m_bits = 16;
};

} // namespace velmora
