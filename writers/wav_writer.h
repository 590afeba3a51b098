#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Writes uncompressed PCM as a RIFF/WAVE file: a 44-byte header ("RIFF", "WAVEfmt ", a 16-byte
// PCM format chunk, "data") followed by interleaved frames. Both size fields hold a placeholder
// of 4 until close() patches them.
//
// Life cycle: open, write16 or write8 once per block, close (the destructor closes too). Input
// is planar: `left` is channel 0, `right` channel 1 and only read for stereo. 16-bit samples
// are signed, 8-bit samples unsigned with 128 as silence; the file stores them little-endian.
class WavWriter {
public:
    // Largest data chunk in bytes whose RIFF size (data + 36) still fits the 32-bit field.
    static constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

    WavWriter() = default;
    // A writer whose data chunk stops at `maxDataBytes` (at most kMaxDataBytes); a block that
    // would pass it is refused as a whole.
    explicit WavWriter(std::uint64_t maxDataBytes);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates `path` anew (an existing file is truncated) and writes the header. False when the
    // format is not 8 or 16 bits at a positive rate whose byte rate fits 32 bits, the file cannot
    // be created, or the header cannot be written; the writer is then closed. A file created
    // before a failed header write is left for the caller to remove. A writer still open is
    // closed first.
    bool open(const std::string& path, bool stereo, int bitsPerSample, int sampleRate);

    // One block of `frames` frames. False when the writer is not open for that sample width, a
    // needed buffer is missing, the block would pass the data limit, or the bytes could not all
    // be written (disk full, file size limit); after such a failure the file is cut back to
    // the last whole block, so close() still leaves a consistent file.
    bool write16(const std::int16_t* left, const std::int16_t* right, int frames);
    bool write8(const std::uint8_t* left, const std::uint8_t* right, int frames);

    // Patches the RIFF and data sizes and closes the file. False when the sizes could not be
    // written or the file not closed cleanly: the file is then not a valid WAV file. Does
    // nothing (and returns true) when not open, so it is safe to call twice and after a failed
    // open.
    bool close();

    bool isOpen() const { return m_fd >= 0; }
    // Bytes of PCM in the data chunk so far.
    std::uint64_t dataBytes() const { return m_dataBytes; }

private:
    bool writeBlock(const std::uint8_t* bytes, std::size_t size);

    int m_fd = -1;
    std::uint64_t m_maxDataBytes = kMaxDataBytes;
    std::uint64_t m_dataBytes = 0;

    // The "fmt " chunk body, in file order.
    std::uint16_t m_formatTag = 1;
    std::uint16_t m_channels = 0;
    std::uint32_t m_sampleRate = 0;
    std::uint32_t m_byteRate = 0;
    std::uint16_t m_blockAlign = 0;
    std::uint16_t m_bitsPerSample = 0;

    // One interleaved block in file byte order; reused, only grows.
    std::vector<std::uint8_t> m_block;
};

} // namespace velmora
