#pragma once

#include "platform/tag_set.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// One opened input file that delivers planar PCM in blocks of at most kMaxFramesPerRead frames.
//
// Samples are signed 16-bit, or unsigned 8-bit when bitsPerSample() is 8; an 8-bit source stores
// its bytes at the start of the caller's buffers (see asBytes). Never more than two channels are
// delivered: channel 0 goes to `left`, channel 1 to `right` (only when outChannels() is 2).
class AudioSource {
public:
    static constexpr int kMaxFramesPerRead = 1152;
    static constexpr int kUnknownChannelMode = 4;

    AudioSource() = default;
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // Releases everything the source holds and resets the base fields; the object may be opened
    // again.
    virtual void close();
    // renderRate: Hz at which synthesised material (modules, MIDI) is rendered; recorded audio
    // ignores it.
    virtual bool open(const std::string& path, int renderRate) = 0;
    // Frames delivered, at most kMaxFramesPerRead; 0 or less means end of stream or error. The
    // caller owns both buffers and sizes each for kMaxFramesPerRead 16-bit samples.
    virtual int read(std::int16_t* left, std::int16_t* right) = 0;

    // Total size of the material and progress through it, in the source's own unit.
    virtual std::uint64_t length() const { return m_length; }
    virtual std::uint64_t position() const { return m_position; }

    virtual int durationSeconds() const { return m_durationSeconds; }
    virtual int channels() const { return m_channels; }
    virtual int outChannels() const { return m_outChannels; }
    virtual int sampleRate() const { return m_sampleRate; }
    virtual int bitsPerSample() const { return m_bitsPerSample; }
    virtual int channelMode() const { return m_channelMode; }
    virtual int bitrateKbps() const { return m_bitrateKbps; }

    // The raw 128-byte ID3v1 tag; empty when the source has none.
    virtual std::span<const std::uint8_t> id3v1Tag() const { return {}; }
    // The raw ID3v2 tag including its 10-byte header; empty when the source has none.
    virtual std::span<const std::uint8_t> id3v2Tag() const { return {}; }
    // True when text tags were found.
    virtual bool readTags(TagSet& tags);

    virtual ~AudioSource() = default;

    int bytesPerSample() const { return m_bytesPerSample; }

    // The byte view of a sample buffer that an 8-bit source fills.
    static std::uint8_t* asBytes(std::int16_t* buffer) {
        return reinterpret_cast<std::uint8_t*>(buffer);
    }

protected:
    void resetBaseFields();

    std::uint64_t m_length = 0;
    std::uint64_t m_position = 0;
    int m_durationSeconds = 0;
    int m_sampleRate = 0;
    int m_channels = 0;
    int m_outChannels = 0;
    int m_bitsPerSample = 0;
    int m_bytesPerSample = 0;
    int m_bitrateKbps = 0;
    int m_channelMode = kUnknownChannelMode;
};

} // namespace velmora
