#pragma once

#include "platform/buffered_output.h"

#include <cstdint>
#include <string>

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

    // One block of `frames` frames. Blocks are gathered in memory and reach the file
    // kFlushBytes at a time (one system call per block cost as much as the rest of a WAV
    // copy), so a failure to write (disk full, file size limit) is reported by the write that
    // fills the buffer, or by close(). False also when the writer is not open for that sample
    // width, a needed buffer is missing or the block would pass the data limit (nothing of it
    // is taken then). After a failed write the file is cut back to what earlier writes put
    // there and the gathered blocks are dropped, so close() still leaves a consistent file.
    bool write16(const std::int16_t* left, const std::int16_t* right, int frames);
    bool write8(const std::uint8_t* left, const std::uint8_t* right, int frames);

    // Writes the gathered blocks, patches the RIFF and data sizes and closes the file. False
    // when the blocks or the sizes could not be written or the file not closed cleanly: the
    // file then lacks audio or is not a valid WAV file. Does nothing (and returns true) when
    // not open, so it is safe to call twice and after a failed open.
    bool close();

    bool isOpen() const { return m_fd >= 0; }
    // Bytes of PCM taken so far, gathered ones included.
    std::uint64_t dataBytes() const { return isOpen() ? m_output.position() - kHeaderBytes : 0; }

    // Bytes gathered before they are written.
    static constexpr std::size_t kFlushBytes = BufferedOutput::kDefaultBufferBytes;
    static constexpr std::size_t kHeaderBytes = 44;

private:
    // Room for `size` more bytes at the end of the gathered blocks; null when the data limit
    // would be passed.
    std::uint8_t* reserve(std::size_t size);

    int m_fd = -1;
    std::uint64_t m_maxDataBytes = kMaxDataBytes;

    // The "fmt " chunk body, in file order.
    std::uint16_t m_formatTag = 1;
    std::uint16_t m_channels = 0;
    std::uint32_t m_sampleRate = 0;
    std::uint32_t m_byteRate = 0;
    std::uint16_t m_blockAlign = 0;
    std::uint16_t m_bitsPerSample = 0;

    // Interleaved blocks in file byte order, gathered kFlushBytes at a time.
    BufferedOutput m_output{kFlushBytes};
};

} // namespace velmora
