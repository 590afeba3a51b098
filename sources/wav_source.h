#pragma once

#include "platform/byte_reader.h"
#include "sources/audio_source.h"
#include "sources/codecs/gsm_decoder.h"
#include "sources/codecs/ima_adpcm_decoder.h"
#include "sources/codecs/ms_adpcm_decoder.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The sample coding a WAVE file's fmt chunk resolves to (WAVE_FORMAT_EXTENSIBLE resolves
// through its sub-format).
enum class WavEncoding { Pcm, Float, Alaw, Mulaw, MsAdpcm, ImaAdpcm, Gsm };

// What the header parse learns from the fmt and data chunks; the decoder is set up from this.
struct WavHeader {
    std::uint16_t formatTag = 0; // wFormatTag as stored (1, 2, 3, 6, 7, 0x11, 0x31, 0xFFFE)
    WavEncoding encoding = WavEncoding::Pcm;
    std::uint16_t channels = 0;        // nChannels
    std::uint32_t sampleRate = 0;      // nSamplesPerSec, Hz
    std::uint32_t avgBytesPerSec = 0;  // nAvgBytesPerSec (not used)
    std::uint16_t blockAlign = 0;      // nBlockAlign, bytes
    std::uint16_t bitsPerSample = 0;   // wBitsPerSample as stored
    std::uint16_t validBits = 0;       // WAVE_FORMAT_EXTENSIBLE only (not used)
    std::uint32_t channelMask = 0;     // WAVE_FORMAT_EXTENSIBLE only (not used)
    std::uint16_t samplesPerBlock = 0; // ADPCM and GSM: frames per block
    std::vector<MsAdpcmDecoder::Coefficients> msCoefficients; // MS ADPCM only
    std::uint64_t dataOffset = 0;                             // file offset of the first data byte
    std::uint64_t dataLength = 0;                             // bytes of the data chunk
};

// The program's own RIFF/WAVE reader: integer PCM, IEEE float, A-law, µ-law,
// Microsoft ADPCM, IMA ADPCM and GSM 6.10 (WAV49), delivered as planar 16-bit PCM (8-bit PCM as
// unsigned 8-bit). length and position count bytes of the data chunk.
class WavSource : public AudioSource {
public:
    static constexpr int kMaxChannels = 8;

    WavSource() = default;
    ~WavSource() override;

    void close() override;
    bool open(const std::string& path, int renderRate) override;
    int read(std::int16_t* left, std::int16_t* right) override;

    // Parses the RIFF header from the start of `in` up to the first byte of the data chunk,
    // where `in` is left. None when the file is not a WAVE file this reader accepts.
    static std::optional<WavHeader> parseHeader(ByteReader& in);

private:
    // The routine chosen at open that fills one read() call.
    enum class BlockReader {
        None,
        Pcm8,
        Pcm16,
        Pcm24,
        Pcm32,
        Float32,
        Float64,
        G711,
        MsAdpcm,
        ImaAdpcm,
        Gsm
    };

    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool setUpDecoder();
    void describeStream();
    int readPlain(std::int16_t* left, std::int16_t* right);
    int readBlocks(std::int16_t* left, std::int16_t* right);
    bool decodeNextBlock();

    // What one open file's reading has come to; close() starts over from the default.
    struct Stream {
        std::unique_ptr<std::FILE, FileCloser> file;
        std::optional<ByteReader> reader;
        WavHeader header;
        BlockReader blockReader = BlockReader::None;
        std::int16_t (*expand)(std::uint8_t) = nullptr; // A-law or µ-law expansion
        std::size_t sourceSampleBytes = 0;              // plain formats: bytes of one stored sample

        std::vector<std::uint8_t> readBuffer;  // raw bytes of one read step (or one block)
        std::vector<std::int16_t> blockBuffer; // decoded samples of one block, interleaved
        std::size_t blockSamples = 0;          // samples decoded into blockBuffer
        std::size_t blockIndex = 0;            // next undelivered sample; == blockSamples: used up
        bool blockStereo = false;              // the block's samples are interleaved pairs
        bool streamEnded = false;              // a block failed: read() returns 0 from now on

        std::optional<MsAdpcmDecoder> msAdpcm;
        std::optional<ImaAdpcmDecoder> imaAdpcm;
        std::unique_ptr<GsmDecoder> gsm;
    };

    Stream m_stream;
};

} // namespace velmora
