#pragma once

#include "engine/conversion_routine.h"
#include "engine/encoder_policy.h"
#include "writers/ogg_writer.h"

namespace velmora {

// Converts one file to Ogg Vorbis, always 16-bit: the rate, channels and bit rate from "Auto"
// or the OGG settings, the PCM converted when the rate or width differs or the channel count
// changes in a way the chosen channel does not cover. Tags come from the OGG preset, from the
// source, or not at all, as "OGGID3TagType" says. Once the stream has started, every outcome
// ends it before the file is closed.
class OggRoutine : public ConversionRoutine {
protected:
    int renderRate(const ConversionSettings& settings) const override;
    bool openWriter(AudioSource& source, const std::string& path, RoutineContext& context) override;
    bool startWriter(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                     RoutineContext& context) override;
    BlockAdapter::Plan adapterPlan(AudioSource& source, RoutineContext& context) override;
    bool writeBlock(const PcmBlock& block) override;
    bool finish(std::unique_ptr<AudioSource>& source, bool succeeded) override;

private:
    void handOverTags(AudioSource& source, const std::string& sourcePath, SourceKind kind,
                      const RoutineContext& context);

    OggWriter m_writer;
    OggEncoderSettings m_encoder;
};

} // namespace velmora
