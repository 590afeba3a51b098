#pragma once

namespace velmora {

// The configuration record of an AacEncoder: read with currentConfiguration() after open, edited,
// and handed back through setConfiguration() before the first frame is encoded.
struct AacEncoderConfig {
    // aacObjectType: only AAC-LC is encoded.
    static constexpr int kLowComplexity = 2;
    // mpegVersion: the ID bit of every ADTS header (it changes nothing else in an LC stream).
    static constexpr int kMpeg4 = 0;
    static constexpr int kMpeg2 = 1;
    // outputFormat.
    static constexpr int kRawOutput = 0;
    static constexpr int kAdtsOutput = 1;
    // inputFormat: interleaved signed 16-bit samples in host order.
    static constexpr int k16BitInput = 1;
    // shortctl.
    static constexpr int kLongAndShortBlocks = 0;
    static constexpr int kNoShortBlocks = 1;
    static constexpr int kNoLongBlocks = 2;
    // quantqual: 10..500; higher values spend more bits.
    static constexpr int kDefaultQuantqual = 100;
    static constexpr int kMinQuantqual = 10;
    static constexpr int kMaxQuantqual = 500;

    int aacObjectType = kLowComplexity;
    int mpegVersion = kMpeg4;
    int useTns = 0;       // flag: temporal noise shaping
    int allowMidside = 1; // flag: mid/side coding where it pays (off: left/right only)
    int bandWidth = 0;    // Hz of the low-pass; 0 lets the encoder choose by rate and quality
    int outputFormat = kRawOutput;
    int inputFormat = k16BitInput;
    int quantqual = kDefaultQuantqual; // used when bitRate is 0
    int bitRate = 0;                   // bit/s per channel; 0 encodes for quality (quantqual)
    // Recorded and validated only: the encoder decides block switching itself, frame by frame,
    // from its psychoacoustic model, whatever this says (see AacEncoder).
    int shortctl = kLongAndShortBlocks;

    bool operator==(const AacEncoderConfig&) const = default;
};

} // namespace velmora
