#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

struct lame_global_struct;

namespace velmora {

// Encodes 16-bit PCM into a constant-bit-rate MPEG audio file: [ID3v2 tag] [audio frames, no
// Xing/LAME information frame] [128-byte ID3v1 block]. The tags are rendered elsewhere and
// handed over as bytes.
//
// Life cycle: open, the setters (parameters and tags), start, write16 once per block, close
// (the destructor closes too). Input is planar: `left` is channel 0, `right` channel 1 and is
// only read when the encoder was given two channels. The encoder resamples and mixes down
// itself. Everything the encoder does not get from a setter keeps its library default.
class Mp3Writer {
public:
    // Encoder output of one call, bytes: far more than one block of 1152 frames can produce.
    static constexpr std::size_t kOutputBufferBytes = 147456;
    static constexpr std::size_t kId3v1Bytes = 128;

    Mp3Writer();
    ~Mp3Writer();
    Mp3Writer(const Mp3Writer&) = delete;
    Mp3Writer& operator=(const Mp3Writer&) = delete;

    // Closes anything open, creates `path` anew and obtains an encoder. False when the file
    // cannot be created or the encoder cannot be initialised.
    bool open(const std::string& path);

    // Parameters, between open and start. Rates in Hz, the bit rate in kbit/s.
    void setInSampleRate(int hz);
    void setOutSampleRate(int hz);
    // Clamped to 1..2.
    void setChannels(int channels);
    // 0 stereo, 1 joint stereo, 3 mono; any other value becomes stereo.
    void setMode(int mode);
    // Clamped to 8..320.
    void setBitrate(int kbps);

    // Tags, between open and close. A block that is not exactly kId3v1Bytes long is ignored.
    void setId3v1(std::span<const std::uint8_t> block);
    void setId3v2(std::span<const std::uint8_t> tag);

    // Fixes the parameters (constant bit rate, no information frame) and writes the ID3v2 tag.
    // False when the encoder refuses the parameters or the tag cannot be written.
    bool start();

    // Encodes one block. False when not started, a needed buffer is missing, the encoder
    // reports an error or its output could not all be written to the file.
    bool write16(const std::int16_t* left, const std::int16_t* right, int frames);

    // Flushes the encoder, appends the ID3v1 block and closes the file. False when anything of
    // that could not be written (the file is then incomplete); true when nothing was open.
    bool close();

    bool isOpen() const { return m_file != nullptr; }
    // The file of the last open().
    const std::string& path() const { return m_path; }
    bool isStarted() const { return m_started; }

private:
    bool writeAll(const void* bytes, std::size_t size);
    void releaseEncoder();

    std::string m_path;
    std::FILE* m_file = nullptr;
    lame_global_struct* m_lame = nullptr;
    bool m_started = false;
    int m_channels = 2;
    std::vector<std::uint8_t> m_outBuffer;
    std::vector<std::uint8_t> m_id3v1; // empty or kId3v1Bytes
    std::vector<std::uint8_t> m_id3v2;
};

} // namespace velmora
