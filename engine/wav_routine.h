#pragma once

#include "engine/conversion_routine.h"
#include "writers/wav_writer.h"

namespace velmora {

// Converts one file to uncompressed WAV: the source's own format with "Auto", else the rate,
// channels and width of the WAV settings, each 0 meaning the source's own.
class WavRoutine : public ConversionRoutine {
protected:
    int renderRate(const ConversionSettings& settings) const override;
    bool openWriter(AudioSource& source, const std::string& path, RoutineContext& context) override;
    BlockAdapter::Plan adapterPlan(AudioSource& source, RoutineContext& context) override;
    bool writeBlock(const PcmBlock& block) override;
    bool finish(std::unique_ptr<AudioSource>& source, bool succeeded) override;

private:
    PcmFormat outputFormat(const AudioSource& source, const ConversionSettings& settings) const;

    WavWriter m_writer;
    PcmFormat m_output;
};

} // namespace velmora
