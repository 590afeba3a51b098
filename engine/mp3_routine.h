#pragma once

#include "engine/conversion_routine.h"
#include "engine/encoder_policy.h"
#include "writers/mp3_writer.h"

namespace velmora {

// Converts one file to MP3. The encoder resamples and mixes down itself, so the PCM is only
// widened when the source delivers 8 bits; with a mono output from a stereo source and a
// "MonoType" that picks a channel, the encoder is fed that channel alone. Tags come from the
// MP3 preset, from the source (an MPEG audio source's ID3 tags are copied byte for byte), or
// not at all, as "MP3ID3TagType" says.
class Mp3Routine : public ConversionRoutine {
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
    void configureEncoder(const Mp3EncoderSettings& encoder);

    Mp3Writer m_writer;
    Mp3EncoderSettings m_encoder;
};

} // namespace velmora
