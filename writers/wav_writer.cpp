#include "writers/wav_writer.h"

#include "platform/write_all.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr off_t kRiffSizeOffset = 4;
constexpr off_t kDataSizeOffset = 40;
// Both size fields hold this until close() knows the real values.
constexpr std::uint32_t kSizePlaceholder = 4;

void putU16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void putU32(std::uint8_t* at, std::uint32_t value) {
    putU16(at, value & 0xFFFF);
    putU16(at + 2, value >> 16);
}

} // namespace

WavWriter::WavWriter(std::uint64_t maxDataBytes)
    : m_maxDataBytes(std::min(maxDataBytes, kMaxDataBytes)) {}

WavWriter::~WavWriter() {
    close();
}

bool WavWriter::open(const std::string& path, bool stereo, int bitsPerSample, int sampleRate) {
    close();
    if ((bitsPerSample != 8 && bitsPerSample != 16) || sampleRate <= 0)
        return false;
    const int channels = stereo ? 2 : 1;
    const std::uint64_t byteRate =
        std::uint64_t{static_cast<std::uint32_t>(sampleRate)} * channels * bitsPerSample / 8;
    if (byteRate > 0xFFFFFFFFu) // the byte-rate field is 32 bits
        return false;
    m_formatTag = 1;
    m_channels = static_cast<std::uint16_t>(channels);
    m_sampleRate = static_cast<std::uint32_t>(sampleRate);
    m_byteRate = static_cast<std::uint32_t>(byteRate);
    m_blockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    m_bitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return false;

    std::uint8_t header[kHeaderBytes] = {};
    std::memcpy(header, "RIFF", 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    std::memcpy(header + 36, "data", 4);
    putU32(header + kRiffSizeOffset, kSizePlaceholder);
    putU32(header + 16, 16); // fmt chunk body, bytes
    putU16(header + 20, m_formatTag);
    putU16(header + 22, m_channels);
    putU32(header + 24, m_sampleRate);
    putU32(header + 28, m_byteRate);
    putU16(header + 32, m_blockAlign);
    putU16(header + 34, m_bitsPerSample);
    putU32(header + kDataSizeOffset, kSizePlaceholder);
    // A header that did not reach the disk would leave a file no reader accepts.
    if (!writeAllAt(m_fd, header, kHeaderBytes, 0)) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_output.attach(m_fd, kHeaderBytes);
    return true;
}

bool WavWriter::write16(const std::int16_t* left, const std::int16_t* right, int frames) {
    if (!isOpen() || m_bitsPerSample != 16 || frames < 0)
        return false;
    if (frames == 0)
        return true;
    const bool stereo = m_channels == 2;
    if (!left || (stereo && !right))
        return false;
    std::uint8_t* out = reserve(static_cast<std::size_t>(frames) * m_channels * 2);
    if (!out)
        return false;
    for (int i = 0; i < frames; ++i) {
        putU16(out, static_cast<std::uint16_t>(left[i]));
        out += 2;
        if (stereo) {
            putU16(out, static_cast<std::uint16_t>(right[i]));
            out += 2;
        }
    }
    return m_output.flushIfFull();
}

bool WavWriter::write8(const std::uint8_t* left, const std::uint8_t* right, int frames) {
    if (!isOpen() || m_bitsPerSample != 8 || frames < 0)
        return false;
    if (frames == 0)
        return true;
    const bool stereo = m_channels == 2;
    if (!left || (stereo && !right))
        return false;
    std::uint8_t* out = reserve(static_cast<std::size_t>(frames) * m_channels);
    if (!out)
        return false;
    for (int i = 0; i < frames; ++i) {
        *out++ = left[i];
        if (stereo)
            *out++ = right[i];
    }
    return m_output.flushIfFull();
}

std::uint8_t* WavWriter::reserve(std::size_t size) {
    // Checked before taking the block so that the 32-bit size fields can never wrap.
    if (size > m_maxDataBytes - dataBytes())
        return nullptr;
    return m_output.reserve(size);
}

bool WavWriter::close() {
    if (!isOpen())
        return true;
    const bool flushed = m_output.flush();
    // What was written in whole blocks is what the file holds after the header; it is at most
    // kMaxDataBytes, so both sizes fit 32 bits.
    const std::uint64_t dataBytes = m_output.flushedTo() - kHeaderBytes;
    std::uint8_t riffSize[4];
    putU32(riffSize, static_cast<std::uint32_t>(dataBytes + kHeaderBytes - 8));
    std::uint8_t dataSize[4];
    putU32(dataSize, static_cast<std::uint32_t>(dataBytes));
    // The placeholders left in place would describe an empty file: the conversion has failed.
    const bool patched = writeAllAt(m_fd, riffSize, sizeof riffSize, kRiffSizeOffset) &&
                         writeAllAt(m_fd, dataSize, sizeof dataSize, kDataSizeOffset);
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    m_output.attach(-1, 0);
    return flushed && patched && closed;
}

} // namespace velmora
