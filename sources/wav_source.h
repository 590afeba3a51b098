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

    std::unique_ptr<std::FILE, FileCloser> m_file;
    std::optional<ByteReader> m_reader;
    WavHeader m_header;
    BlockReader m_blockReader = BlockReader::None;
    std::int16_t (*m_expand)(std::uint8_t) = nullptr; // A-law or µ-law expansion
    std::size_t m_sourceSampleBytes = 0;              // plain formats: bytes of one stored sample

    std::vector<std::uint8_t> m_readBuffer;  // raw bytes of one read step (or one block)
    std::vector<std::int16_t> m_blockBuffer; // decoded samples of one block, interleaved
    std::size_t m_blockSamples = 0;          // samples decoded into m_blockBuffer
    std::size_t m_blockIndex = 0;            // next undelivered sample; == m_blockSamples: used up
    bool m_blockStereo = false;              // the block's samples are interleaved pairs
    bool m_streamEnded = false;              // a block failed: read() returns 0 from now on

    std::optional<MsAdpcmDecoder> m_msAdpcm;
    std::optional<ImaAdpcmDecoder> m_imaAdpcm;
    std::unique_ptr<GsmDecoder> m_gsm;
};

} // namespace velmora
