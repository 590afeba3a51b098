#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// What a decode stream delivers: interleaved PCM at this rate and channel count, signed 16-bit
// in the machine's byte order, or unsigned 8-bit when eightBit is set (8-bit material).
struct StreamInfo {
    int sampleRate = 0; // Hz
    int channels = 0;   // of the material, may exceed 2
    bool eightBit = false;
};

// One decoding channel of the decoding layer: a file stream, a tracker module or a MIDI song,
// opened for decoding only (nothing is played). Its length is known when it is created and is
// true: the stream delivers exactly that many bytes unless the file turns out to be damaged,
// in which case it ends early. Destroying the stream frees everything it holds.
class DecodeStream {
public:
    // Render rate used when the caller passes 0 (a file only being described).
    static constexpr int kDefaultRenderRate = 44100;
    // Channels a stream may have; more cannot be delivered in whole frames per read step.
    static constexpr int kMaxChannels = 256;
    // Sample rates accepted from recorded material, in Hz.
    static constexpr int kMaxSampleRate = 768000;
    // Longest synthesised song (module or MIDI) accepted, in seconds of rendered audio.
    static constexpr double kMaxRenderSeconds = 10.0 * 3600.0;

    // A recorded-audio file, tried with the MPEG audio decoder, then the general sound-file
    // decoder (WAV, AIFF, FLAC, Ogg Vorbis and Opus, CAF, ...), then the WavPack decoder.
    static std::unique_ptr<DecodeStream> openFile(const std::string& path);
    // A tracker module (.mod .xm .it .s3m .mtm .umx, .mo3 where supported), rendered in stereo
    // at `renderRate` Hz, played once.
    static std::unique_ptr<DecodeStream> loadModule(const std::string& path, int renderRate);
    // A Standard MIDI File (or one wrapped in RIFF RMID), rendered in stereo at `renderRate` Hz
    // with the default SoundFont (MidiSoundFont); silent when none is installed.
    static std::unique_ptr<DecodeStream> openMidi(const std::string& path, int renderRate);

    DecodeStream(const DecodeStream&) = delete;
    DecodeStream& operator=(const DecodeStream&) = delete;
    virtual ~DecodeStream() = default;

    // Fills `buffer` with whole frames of interleaved PCM. Returns the bytes delivered, or −1
    // when the stream has ended (or failed) and nothing was delivered. A buffer smaller than one
    // frame gets 0.
    std::int64_t getData(std::span<std::uint8_t> buffer);

    const StreamInfo& info() const { return m_info; }
    // Bytes of decoded PCM of the whole stream, and delivered so far.
    std::uint64_t length() const { return m_length; }
    std::uint64_t position() const { return m_position; }
    // Seconds of PCM that `bytes` bytes of this stream hold.
    double bytesToSeconds(std::uint64_t bytes) const;
    // Bytes of one frame (all channels of one sample instant).
    std::size_t frameBytes() const;

    // File offset of the start of the audio data; none when the stream does not know it.
    virtual std::optional<std::uint64_t> fileStart() const { return std::nullopt; }
    // File offset of the end of the file (its size); none for a stream not read from a file
    // as it plays (a module is loaded whole).
    virtual std::optional<std::uint64_t> fileEnd() const { return std::nullopt; }
    // The raw 128-byte ID3v1 tag; empty when there is none (MPEG audio streams only).
    virtual std::vector<std::uint8_t> rawId3v1() const { return {}; }
    // The raw ID3v2 tag: its 10-byte header and as many bytes as its synchsafe size says;
    // empty when there is none (MPEG audio streams only).
    virtual std::vector<std::uint8_t> rawId3v2() const { return {}; }

protected:
    DecodeStream() = default;

    // Decodes up to `frames` frames into `out` (room for that many); returns the frames made,
    // 0 at the end of the material or on a decoding error.
    virtual std::size_t decodeFrames(std::uint8_t* out, std::size_t frames) = 0;

    // For the backends' open: sets the format and the length in frames; false when the length
    // in bytes would not fit.
    bool setFormat(const StreamInfo& info, std::uint64_t frames);

private:
    StreamInfo m_info;
    std::uint64_t m_length = 0;
    std::uint64_t m_position = 0;
    bool m_ended = false;
};

} // namespace velmora
