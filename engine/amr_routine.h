#pragma once

#include "engine/conversion_routine.h"
#include "writers/amr_writer.h"

namespace velmora {

// Converts one file to AMR narrow band (8000 Hz), AMR wide band or AWB (16000 Hz): mono 16-bit
// PCM at the band's rate, made by the processing chain where the source differs, cut into
// codec frames by the AMR writer. AMR and AWB files carry no tags.
class AmrRoutine : public ConversionRoutine {
public:
    // outputFormatCode: 5500 (AMR, band by "AMRType") or 5600 (AWB, always wide band).
    explicit AmrRoutine(int outputFormatCode);

    // 8000 for narrow band, 16000 for wide band.
    int outputRate(const ConversionSettings& settings) const;

protected:
    int renderRate(const ConversionSettings& settings) const override;
    bool openWriter(AudioSource& source, const std::string& path, RoutineContext& context) override;
    BlockAdapter::Plan adapterPlan(AudioSource& source, RoutineContext& context) override;
    bool writeBlock(const PcmBlock& block) override;
    bool finish(std::unique_ptr<AudioSource>& source, bool succeeded) override;

private:
    bool wideBandAwb() const;

    int m_outputFormatCode;
    AmrWriter m_writer;
};

} // namespace velmora
