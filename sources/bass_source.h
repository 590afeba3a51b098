#pragma once

#include "platform/bass/decode_stream.h"
#include "sources/audio_source.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The source backed by the decoding layer (platform/bass): MPEG audio, the sound-file formats,
// WavPack, tracker modules and MIDI. length() and position() count bytes of decoded PCM in the
// material's own channel count and sample width; position() is the layer's live decode
// position.
class BassSource : public AudioSource {
public:
    // How the file was opened: an ordinary stream, an ".mp3" file, a tracker module loaded by
    // the module loader, or a MIDI file.
    enum class SourceType { Stream = 0, MpegFile = 1, Module = 2, Midi = 3 };

    BassSource() = default;
    ~BassSource() override;

    void close() override;
    bool open(const std::string& path, int renderRate) override;
    int read(std::int16_t* left, std::int16_t* right) override;
    std::uint64_t position() const override;
    // The tags of an ".mp3" file, copied on the first request; none for the other types.
    std::span<const std::uint8_t> id3v1Tag() const override;
    std::span<const std::uint8_t> id3v2Tag() const override;
    bool readTags(TagSet& tags) override;

    SourceType sourceType() const { return m_sourceType; }

    // The type the extension (the text from the last "." of the path, any case) selects.
    static SourceType sourceTypeForPath(const std::string& path);
    // The channel mode in the MPEG frame header at `offset` of the file: 0 stereo, 1 joint
    // stereo, 2 dual channel, 3 mono; kUnknownChannelMode when there is no offset, the bytes
    // cannot be read, or they are not a header that names its bit rate (free format).
    static int channelModeAt(const std::string& path, std::optional<std::uint64_t> offset);
    // The average bit rate over the whole file, tags included, rounded: fileBytes ÷ (seconds ×
    // 125) + 0.5, truncated. When the duration or the file size is unknown, the PCM rate
    // bitsPerSample × sampleRate × channels ÷ 1000.
    static int averageBitrateKbps(double seconds, std::optional<std::uint64_t> fileBytes,
                                  int bitsPerSample, int sampleRate, int channels);

private:
    std::unique_ptr<DecodeStream> m_stream;
    SourceType m_sourceType = SourceType::Stream;
    std::string m_path;
    std::vector<std::uint8_t> m_readBuffer; // one read step of interleaved PCM
    std::size_t m_readBufferBytes = 0;      // bytesPerSample × outChannels × kMaxFramesPerRead
    mutable std::optional<std::vector<std::uint8_t>> m_id3v1Cache;
    mutable std::optional<std::vector<std::uint8_t>> m_id3v2Cache;
};

} // namespace velmora
