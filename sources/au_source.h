#pragma once

#include "platform/byte_reader.h"
#include "sources/audio_source.h"
#include "sources/codecs/g72x_decoder.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The sample encodings of a Sun/NeXT audio file that this reader decodes, by their header code.
enum class AuEncoding : std::uint32_t {
    Mulaw = 1,
    Linear8 = 2,
    Linear16 = 3,
    Linear24 = 4,
    Linear32 = 5,
    Float = 6,
    Double = 7,
    G721 = 23,
    G723_24 = 25,
    G723_40 = 26,
    Alaw = 27,
};

// What the header parse learns; the reader is set up from this.
struct AuHeader {
    bool bigEndian = true;
    std::uint32_t dataOffset = 0; // file offset of the sample data, at least 24
    std::uint32_t dataSize = 0;   // bytes, 0xFFFFFFFF = unknown (to the end of the file)
    AuEncoding encoding = AuEncoding::Mulaw;
    std::uint32_t sampleRate = 0; // Hz, after replacement of an implausible word
    std::uint32_t channels = 0;   // after replacement of an implausible word
    int codeBits = 0;             // bits per stored sample or ADPCM code
};

// The program's own Sun/NeXT audio reader: either byte order and both magic forms, µ-law, 8- to
// 32-bit linear PCM, 32- and 64-bit float, A-law and the ITU-T G.721 / G.723 ADPCM codes,
// delivered as planar 16-bit PCM. A damaged encoding word is searched for a few bytes further; an
// implausible rate or channel count is replaced. length and position count bytes of sound data.
class AuSource : public AudioSource {
public:
    static constexpr std::size_t kHeaderBytes = 120; // bytes read for the header parse
    static constexpr std::uint32_t kMinDataOffset = 24;
    static constexpr std::uint32_t kUnknownDataSize = 0xFFFFFFFF;
    static constexpr std::uint32_t kMinRate = 1000;
    static constexpr std::uint32_t kMaxRate = 768000;
    static constexpr std::uint32_t kReplacementRate = 8000;
    // Counts above this are taken for a damaged word, like 0, and replaced by 1.
    static constexpr std::uint32_t kMaxChannels = 64;

    AuSource() = default;
    ~AuSource() override;

    void close() override;
    bool open(const std::string& path, int renderRate) override;
    int read(std::int16_t* left, std::int16_t* right) override;

    // Parses the first bytes of a file (up to kHeaderBytes of them). None when they are not a
    // header this reader accepts.
    static std::optional<AuHeader> parseHeader(std::span<const std::uint8_t> bytes);

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    void describeStream();
    int readPlain(std::int16_t* left, std::int16_t* right);
    int readAdpcm(std::int16_t* left, std::int16_t* right);
    // Reads up to `request` bytes of sound data into m_readBuffer, advancing position by the
    // request capped at what is left.
    std::size_t readData(std::size_t request);
    std::int16_t convert(std::span<const std::uint8_t> sample) const;

    std::unique_ptr<std::FILE, FileCloser> m_file;
    std::optional<ByteReader> m_reader;
    AuHeader m_header;
    std::size_t m_sampleBytes = 0;          // plain encodings: bytes of one stored sample
    std::vector<std::uint8_t> m_readBuffer; // raw bytes of one read step
    std::vector<G72xDecoder> m_g72x;        // one decoder state per channel
    std::uint32_t m_bitBuffer = 0;          // ADPCM code reservoir, least significant first
    int m_bitCount = 0;                     // bits held in m_bitBuffer
};

} // namespace velmora
