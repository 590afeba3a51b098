#pragma once

#include "engine/block_adapter.h"
#include "platform/aac/aac_encoder_config.h"

namespace velmora {

class AudioSource;
class ConversionSettings;

// The encoder values of an AAC or MP4-family options page, as the two routines apply them to
// their writer's configuration when the page's "Auto" is off.
struct AacEncoderOptions {
    int vbr = 1;          // 1 quality ("...VBRQuality"), 0 average bit rate
    int quality = 100;    // quantqual; only 10..500 is taken
    int abrBitRate = 128; // total kbit/s
    int mpegVersion = -1; // 0 MPEG-4, 1 MPEG-2; -1 leaves the writer's own (MP4 family)
    int tns = 0;
    int midSide = 1;
    int blockType = 0; // 0 long and short, 1 no short, 2 no long

    // "M4AVBR", "M4AVBRQuality", "M4AABRBitRate", "M4AEnableTNS", "M4AEnableMidside",
    // "M4ABlockType".
    static AacEncoderOptions forMp4Family(const ConversionSettings& settings);
    // "AACVBR", "AACVBRQuality", "AACABRBitRate", "AACMpegVersion", "AACEnableTNS",
    // "AACEnableMidside", "AACBlockType".
    static AacEncoderOptions forAac(const ConversionSettings& settings);

    // Quality mode keeps the configured quantqual when the value lies outside 10..500; the
    // average bit rate is per channel, abrBitRate x 1000 / channels (0 means quality mode to
    // the encoder).
    void applyTo(AacEncoderConfig& config, int channels) const;
};

// Both routines hand the source's PCM to their writer unchanged, amplified when the family's
// amplifier is in use.
BlockAdapter::Plan unchangedSourcePlan(const AudioSource& source, bool amplify,
                                       int amplifyCoefficient);

} // namespace velmora
