#pragma once

#include "platform/byte_reader.h"
#include "platform/tag_set.h"
#include "sources/audio_source.h"
#include "sources/codecs/dwvw_decoder.h"
#include "sources/codecs/gsm_decoder.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The sample coding an AIFF COMM chunk (with the AIFF-C compression type) resolves to.
enum class AiffCompression { Pcm, Mulaw, Alaw, Float32, Float64, Ima4, Raw, Gsm, Dwvw };

// What the header parse learns from the COMM, SSND and "ID3 " chunks; the reader is set up from
// this.
struct AiffHeader {
    bool aifc = false;
    std::uint16_t channels = 0;        // numChannels: 1, 2, 3, 4 or 6
    std::uint32_t numSampleFrames = 0; // as stored (0 and 0xFFFFFFFF: unknown)
    std::uint16_t commSampleSize = 0;  // sampleSize as stored, bits
    std::uint16_t sampleSize = 0;      // bits per sample used (replaced for some compressions)
    std::uint32_t sampleRate = 0;      // Hz, the 80-bit extended value truncated
    AiffCompression compression = AiffCompression::Pcm;
    bool littleEndian = false;     // "sowt" and "23ni"
    std::uint64_t dataStart = 0;   // file offset of the first sample byte
    std::uint64_t dataBytes = 0;   // bytes of sound data (at most what the file holds)
    std::vector<std::uint8_t> id3; // body of an "ID3 " chunk, empty when there is none
};

// The program's own AIFF / AIFF-C reader: integer PCM in either byte order, floats, µ-law,
// A-law, raw unsigned 8-bit, Apple IMA4 (stereo), GSM 06.10 and DWVW, delivered as planar 16-bit
// PCM (8-bit material as unsigned 8-bit). From more than two channels it picks channels 0 and 1,
// or 0 and 3 of six (left and right in the AIFF six-channel order). length is the file's size
// and position the file offset reached, both in bytes. Text tags come from an "ID3 " chunk.
class AiffSource : public AudioSource {
public:
    // A COMM chunk is a few dozen bytes; one claiming more than this is not believed.
    static constexpr std::uint32_t kMaxCommBytes = 0x800000;
    // An "ID3 " chunk beyond this (pictures, mostly) is skipped: its tags are lost, not the sound.
    static constexpr std::uint32_t kMaxId3Bytes = 16 * 1024 * 1024;
    static constexpr std::size_t kIma4PacketBytes = 34;
    static constexpr std::size_t kIma4PacketSamples = 64;

    AiffSource() = default;
    ~AiffSource() override;

    void close() override;
    bool open(const std::string& path, int renderRate) override;
    int read(std::int16_t* left, std::int16_t* right) override;
    bool readTags(TagSet& tags) override;

    // Walks the IFF chunks of the file behind `in` from its start. None when it is not an AIFF
    // or AIFF-C file this reader accepts.
    static std::optional<AiffHeader> parseHeader(ByteReader& in);

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool setUpReader();
    void describeStream();
    int readPlain(std::int16_t* left, std::int16_t* right);
    int readIma4(std::int16_t* left, std::int16_t* right);
    int readGsm(std::int16_t* left, std::int16_t* right);
    int readDwvw(std::int16_t* left, std::int16_t* right);
    // Reads up to `request` bytes of sound data (capped at what is left) into m_readBuffer.
    std::size_t readData(std::size_t request);

    // What one open file's reading has come to; close() starts over from the default.
    struct Stream {
        std::unique_ptr<std::FILE, FileCloser> file;
        std::optional<ByteReader> reader;
        AiffHeader header;
        std::size_t sampleBytes = 0;   // bytes of one stored sample (plain codings)
        std::size_t rightChannel = 1;  // channel delivered as `right`
        std::uint64_t dataLeft = 0;    // bytes of sound data not yet requested
        std::uint64_t samplesLeft = 0; // DWVW: samples still to deliver (the COMM count)
        bool streamEnded = false;      // a frame failed to decode: read() returns 0 from now on
        std::int16_t (*expand)(std::uint8_t) = nullptr; // µ-law or A-law expansion

        std::vector<std::uint8_t> readBuffer;  // raw bytes of one read step
        std::vector<std::int16_t> gsmFrame;    // 160 decoded samples
        std::vector<std::int32_t> dwvwSamples; // channels × 1152 left-justified samples
        std::unique_ptr<GsmDecoder> gsm;
        std::unique_ptr<DwvwDecoder> dwvw;
        TagSet tags;
    };

    Stream m_stream;
};

} // namespace velmora
