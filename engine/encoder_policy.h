#pragma once

#include "engine/tag_values.h"
#include "sources/audio_source.h"
#include "sources/source_kind.h"

#include <optional>
#include <span>
#include <string>

namespace velmora {

class ConversionSettings;

// The stream of a source as the MP3 and OGG encoder settings see it.
struct SourceStream {
    SourceKind kind = SourceKind::Other;
    int sampleRate = 0;  // Hz
    int channels = 0;    // as delivered: 1 or 2
    int channelMode = 4; // MPEG audio: 0 stereo, 1 joint, 2 dual, 3 mono, 4 unknown
    int bitrateKbps = 0;

    static SourceStream of(const AudioSource& source, SourceKind kind);
};

// What the MP3 routine hands the encoder between open and start.
struct Mp3EncoderSettings {
    int inRate = 0;             // Hz, always the source's rate: the encoder resamples
    int channels = 0;           // the channel count the encoder is fed
    std::optional<int> mode;    // 0 stereo, 1 joint stereo, 3 mono (others become 0); none in Auto
    int outRate = 0;            // Hz
    std::optional<int> bitRate; // kbit/s; none leaves the encoder's own

    bool operator==(const Mp3EncoderSettings&) const = default;
};

// What the OGG routine hands the encoder.
struct OggEncoderSettings {
    int rate = 0;     // Hz
    int channels = 0; // 1 or 2
    int bitRate = 0;  // kbit/s

    bool operator==(const OggEncoderSettings&) const = default;
};

// How the MP3 and OGG outputs choose rate, bit rate, channels and tags from their settings and
// the source. The automatic rule and the table lookup are shared by both outputs.
class EncoderPolicy {
public:
    struct AutoChoice {
        int bitRate; // kbit/s
        int outRate; // Hz

        bool operator==(const AutoChoice&) const = default;
    };

    // Sorted, in Hz and kbit/s.
    static std::span<const int> mp3SampleRates();
    static std::span<const int> mp3BitRates();
    static std::span<const int> oggSampleRates();
    static std::span<const int> oggBitRates();

    // The output rate and bit rate "Auto" picks for a source rate and channel count (1 = mono,
    // anything else = stereo).
    static AutoChoice autoChoice(int sourceRate, int channels);

    // The table entry nearest to `value`, the lower one on a tie; values outside the table give
    // its first or last entry.
    static int snap(int value, std::span<const int> table);

    // An MP3 bit rate the encoder can use at `outRate`: at most 64 kbit/s up to 12000 Hz, at most
    // 160 up to 24000 Hz, at least 32 above.
    static int limitMp3BitRate(int bitRate, int outRate);
    // The other direction, for a chosen bit rate: at most 24000 Hz up to 24 kbit/s, at least
    // 16000 Hz from 80 to 160 kbit/s, at least 32000 Hz from 192 kbit/s; otherwise kept.
    static int limitMp3SampleRate(int outRate, int bitRate);

    // The lowest and highest OGG bit rate, kbit/s, for an output rate of the OGG table and a
    // channel count (2 = stereo, anything else = mono).
    struct BitRateRange {
        int minimum;
        int maximum;
    };
    static BitRateRange oggBitRateRange(int rate, int channels);

    // The encoder settings from the MP3 values of `settings`, "MonoType" included.
    static Mp3EncoderSettings mp3Settings(const ConversionSettings& settings,
                                          const SourceStream& source);
    // The encoder settings from the OGG values of `settings`.
    static OggEncoderSettings oggSettings(const ConversionSettings& settings,
                                          const SourceStream& source);

    // The tags a tagged output writes for tag type `tagType`: 0 the family's preset, 1 those
    // read from the source (MPEG-4 files through their metadata items first), 2 none. None also
    // when the source has no tags to transfer.
    static std::optional<TagValues> tagValues(int tagType, const TagPreset& preset,
                                              AudioSource& source, const std::string& sourcePath,
                                              SourceKind kind, int batchPosition);

    // True for the kinds whose own bit rate stands in for a bit rate of 0: MPEG audio and Ogg.
    static bool carriesItsOwnBitRate(SourceKind kind);
};

} // namespace velmora
