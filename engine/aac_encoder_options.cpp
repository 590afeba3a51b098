#include "engine/aac_encoder_options.h"

#include "engine/amplifier.h"
#include "engine/conversion_settings.h"
#include "sources/audio_source.h"

#include <cstdint>
#include <limits>

namespace velmora {

AacEncoderOptions AacEncoderOptions::forMp4Family(const ConversionSettings& settings) {
    AacEncoderOptions options;
    options.vbr = settings.M4AVBR;
    options.quality = settings.M4AVBRQuality;
    options.abrBitRate = settings.M4AABRBitRate;
    options.tns = settings.M4AEnableTNS;
    options.midSide = settings.M4AEnableMidside;
    options.blockType = settings.M4ABlockType;
    return options;
}

AacEncoderOptions AacEncoderOptions::forAac(const ConversionSettings& settings) {
    AacEncoderOptions options;
    options.vbr = settings.AACVBR;
    options.quality = settings.AACVBRQuality;
    options.abrBitRate = settings.AACABRBitRate;
    // The options page shows any non-zero value as MPEG-2.
    options.mpegVersion =
        settings.AACMpegVersion != 0 ? AacEncoderConfig::kMpeg2 : AacEncoderConfig::kMpeg4;
    options.tns = settings.AACEnableTNS;
    options.midSide = settings.AACEnableMidside;
    options.blockType = settings.AACBlockType;
    return options;
}

void AacEncoderOptions::applyTo(AacEncoderConfig& config, int channels) const {
    if (vbr != 0) {
        if (quality >= AacEncoderConfig::kMinQuantqual &&
            quality <= AacEncoderConfig::kMaxQuantqual)
            config.quantqual = quality;
    } else if (channels > 0) {
        // Computed wide: a hand-edited store may hold any 32-bit value. A value the encoder
        // cannot take makes it refuse the configuration, which fails the file cleanly.
        const std::int64_t perChannel = std::int64_t{abrBitRate} * 1000 / channels;
        config.bitRate =
            perChannel > std::numeric_limits<int>::max() ? -1 : static_cast<int>(perChannel);
    }
    if (mpegVersion >= 0)
        config.mpegVersion = mpegVersion;
    config.useTns = tns != 0 ? 1 : 0;
    config.allowMidside = midSide != 0 ? 1 : 0;
    // The encoder decides its block types itself, so a value the page never stores is not
    // worth failing a file over.
    const bool knownBlockType = blockType >= AacEncoderConfig::kLongAndShortBlocks &&
                                blockType <= AacEncoderConfig::kNoLongBlocks;
    config.shortctl = knownBlockType ? blockType : AacEncoderConfig::kLongAndShortBlocks;
}

BlockAdapter::Plan unchangedSourcePlan(const AudioSource& source, bool amplify,
                                       int amplifyCoefficient) {
    BlockAdapter::Plan plan;
    plan.source = {source.outChannels(), source.sampleRate(), source.bitsPerSample()};
    plan.output = plan.source;
    plan.convert = false;
    if (Amplifier::inUse(amplify, amplifyCoefficient))
        plan.amplifyCoefficient = amplifyCoefficient;
    return plan;
}

} // namespace velmora
