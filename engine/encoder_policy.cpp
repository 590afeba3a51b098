#include "engine/encoder_policy.h"

#include "engine/conversion_settings.h"
#include "sources/source_tags.h"

#include <algorithm>
#include <array>

namespace velmora {
namespace {

constexpr std::array kMp3SampleRates = {8000,  11025, 12000, 16000, 22050,
                                        24000, 32000, 44100, 48000};
constexpr std::array kMp3BitRates = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                                     96, 112, 128, 144, 160, 192, 224, 256, 320};
constexpr std::array kOggSampleRates = kMp3SampleRates;
constexpr std::array kOggBitRates = {8,   16,  24,  32,  40,  48,  56,  64,  80,  96,
                                     112, 128, 144, 160, 192, 224, 256, 320, 400, 480};

// One row of the automatic rule: every source rate up to `upTo` Hz.
struct AutoRow {
    int upTo;
    int outRate;
    int monoKbps;
    int stereoKbps;
};

constexpr std::array kAutoRows = {
    AutoRow{11025, 11025, 24, 48},  AutoRow{12000, 12000, 24, 48}, AutoRow{16000, 16000, 32, 56},
    AutoRow{22050, 22050, 48, 64},  AutoRow{24000, 24000, 48, 64}, AutoRow{32000, 32000, 64, 96},
    AutoRow{44100, 44100, 96, 128},
};
constexpr AutoRow kAutoAbove = {0, 48000, 128, 192};

// OGG bit-rate limits, kbit/s, for the output rates up to `upTo` Hz.
struct OggLimitRow {
    int upTo;
    EncoderPolicy::BitRateRange stereo;
    EncoderPolicy::BitRateRange mono;
};

constexpr std::array kOggLimits = {
    OggLimitRow{8000, {16, 80}, {8, 40}},     OggLimitRow{12000, {16, 96}, {16, 48}},
    OggLimitRow{16000, {24, 160}, {16, 80}},  OggLimitRow{24000, {32, 160}, {16, 80}},
    OggLimitRow{32000, {40, 320}, {32, 160}},
};
constexpr OggLimitRow kOggLimitsAbove = {0, {48, 480}, {32, 224}};

constexpr int kJointStereo = 1;
constexpr int kMono = 3;
constexpr int kChannelModeAsSource = 4;

} // namespace

SourceStream SourceStream::of(const AudioSource& source, SourceKind kind) {
    return {kind, source.sampleRate(), source.outChannels(), source.channelMode(),
            source.bitrateKbps()};
}

std::span<const int> EncoderPolicy::mp3SampleRates() {
    return kMp3SampleRates;
}
std::span<const int> EncoderPolicy::mp3BitRates() {
    return kMp3BitRates;
}
std::span<const int> EncoderPolicy::oggSampleRates() {
    return kOggSampleRates;
}
std::span<const int> EncoderPolicy::oggBitRates() {
    return kOggBitRates;
}

EncoderPolicy::AutoChoice EncoderPolicy::autoChoice(int sourceRate, int channels) {
    const bool mono = channels == 1;
    AutoRow row = kAutoAbove;
    for (const AutoRow& candidate : kAutoRows) {
        if (sourceRate <= candidate.upTo) {
            row = candidate;
            break;
        }
    }
    return {mono ? row.monoKbps : row.stereoKbps, row.outRate};
}

int EncoderPolicy::snap(int value, std::span<const int> table) {
    if (table.empty())
        return value;
    const auto above = std::lower_bound(table.begin(), table.end(), value);
    if (above == table.end())
        return table.back();
    if (*above == value || above == table.begin())
        return *above;
    const int lower = *(above - 1);
    // Widened: the distances of extreme values must not overflow.
    const long long downward = static_cast<long long>(value) - lower;
    const long long upward = static_cast<long long>(*above) - value;
    return upward < downward ? *above : lower;
}

int EncoderPolicy::limitMp3BitRate(int bitRate, int outRate) {
    if (outRate <= 12000)
        return std::min(bitRate, 64);
    if (outRate <= 24000)
        return std::min(bitRate, 160);
    return std::max(bitRate, 32);
}

int EncoderPolicy::limitMp3SampleRate(int outRate, int bitRate) {
    if (bitRate <= 24)
        return std::min(outRate, 24000);
    if (bitRate >= 192)
        return std::max(outRate, 32000);
    if (bitRate >= 80)
        return std::max(outRate, 16000);
    return outRate;
}

EncoderPolicy::BitRateRange EncoderPolicy::oggBitRateRange(int rate, int channels) {
    OggLimitRow row = kOggLimitsAbove;
    for (const OggLimitRow& candidate : kOggLimits) {
        if (rate <= candidate.upTo) {
            row = candidate;
            break;
        }
    }
    return channels == 2 ? row.stereo : row.mono;
}

bool EncoderPolicy::carriesItsOwnBitRate(SourceKind kind) {
    return kind == SourceKind::MpegAudio || kind == SourceKind::Ogg;
}

Mp3EncoderSettings EncoderPolicy::mp3Settings(const ConversionSettings& settings,
                                              const SourceStream& source) {
    Mp3EncoderSettings chosen;
    chosen.inRate = source.sampleRate;
    if (settings.AutoDestMP3EncodingParam != 0) {
        chosen.channels = source.channels;
        const AutoChoice automatic = autoChoice(source.sampleRate, source.channels);
        chosen.outRate = automatic.outRate;
        chosen.bitRate = automatic.bitRate;
        return chosen;
    }

    int mode = settings.MP3ChannelMode;
    if (mode == kChannelModeAsSource) {
        if (source.kind == SourceKind::MpegAudio)
            mode = source.channelMode;
        else
            mode = source.channels == 2 ? kJointStereo : kMono;
    }
    chosen.mode = mode;
    // A mono output from a stereo source gets the one channel "MonoType" picks; otherwise the
    // encoder receives what the source delivers and mixes down itself.
    const bool feedOneChannel =
        source.channels == 2 && mode == kMono && (settings.MonoType == 1 || settings.MonoType == 2);
    chosen.channels = feedOneChannel ? 1 : source.channels;

    const int requestedRate =
        settings.MP3SampleRate != 0 ? settings.MP3SampleRate : source.sampleRate;
    chosen.outRate = snap(requestedRate, kMp3SampleRates);

    int bitRate = settings.MP3BitRate;
    if (bitRate == 0) {
        const int outputChannels = mode == kMono ? 1 : 2;
        bitRate = carriesItsOwnBitRate(source.kind)
                      ? source.bitrateKbps
                      : autoChoice(chosen.outRate, outputChannels).bitRate;
    }
    if (bitRate > 0)
        chosen.bitRate = limitMp3BitRate(snap(bitRate, kMp3BitRates), chosen.outRate);
    return chosen;
}

OggEncoderSettings EncoderPolicy::oggSettings(const ConversionSettings& settings,
                                              const SourceStream& source) {
    OggEncoderSettings chosen;
    if (settings.AutoDestOGGEncodingParam != 0) {
        chosen.channels = source.channels;
        const AutoChoice automatic = autoChoice(source.sampleRate, source.channels);
        chosen.rate = automatic.outRate;
        chosen.bitRate = automatic.bitRate;
        return chosen;
    }
    chosen.rate = snap(settings.OGGSampleRate != 0 ? settings.OGGSampleRate : source.sampleRate,
                       kOggSampleRates);
    chosen.channels = settings.OGGChannels != 0 ? settings.OGGChannels : source.channels;
    int bitRate = settings.OGGBitRate;
    if (bitRate == 0)
        bitRate = carriesItsOwnBitRate(source.kind)
                      ? source.bitrateKbps
                      : autoChoice(chosen.rate, chosen.channels).bitRate;
    const BitRateRange range = oggBitRateRange(chosen.rate, chosen.channels);
    chosen.bitRate = std::clamp(snap(bitRate, kOggBitRates), range.minimum, range.maximum);
    return chosen;
}

std::optional<TagValues> EncoderPolicy::tagValues(int tagType, const TagPreset& preset,
                                                  AudioSource& source,
                                                  const std::string& sourcePath, SourceKind kind,
                                                  int batchPosition) {
    if (tagType == 0)
        return TagValues::fromPreset(preset, sourcePath, batchPosition);
    if (tagType != 1)
        return std::nullopt;
    TagSet tags;
    bool found = false;
    if (kind == SourceKind::Mpeg4Audio || kind == SourceKind::Mpeg4)
        found = SourceTags::readMp4Tags(sourcePath, tags);
    if (!found)
        found = source.readTags(tags);
    if (!found)
        return std::nullopt;
    return TagValues::fromSource(tags);
}

} // namespace velmora
