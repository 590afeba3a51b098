#pragma once

#include "platform/tag_set.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace velmora {

// Encodes 16-bit PCM into an Ogg Vorbis file with Vorbis comments, at a nominal bit rate with
// the encoder's bit-rate management switched off.
//
// Life cycle: open, init, setTags, start (the three stream headers, each page of them flushed
// before any audio), write16 once per block, then write16 with 0 frames, which ends the stream
// and writes its last pages, then close, which writes nothing itself. Input is planar: `left` is
// channel 0, `right` channel 1 and only read for two channels. The destructor closes too.
class OggWriter {
public:
    // The comment values, UTF-8. An empty value is left out; the year is written as "DATE";
    // the track text is added only when its leading decimal number is above 0.
    using Tags = TagSet;

    OggWriter();
    ~OggWriter();
    OggWriter(const OggWriter&) = delete;
    OggWriter& operator=(const OggWriter&) = delete;

    // Releases anything open and creates `path` anew. False when the file cannot be created.
    bool open(const std::string& path);

    // Sets up the encoder for 1 or 2 channels at `sampleRate` Hz and `nominalBitrate` bit/s.
    // False when the writer is not open, was set up already, or the encoder refuses the
    // combination.
    bool init(int sampleRate, int channels, int nominalBitrate);

    // After init, before start; ignored otherwise.
    void setTags(const Tags& tags);

    // Writes the identification, comment and codebook headers on pages of their own. False
    // when not set up or the headers could not all be written.
    bool start();

    // Encodes one block; frames < 1 ends the stream. False when not started, after the end of
    // the stream, when a needed buffer is missing, or when a page could not be written in full
    // (then and from then on: the file is incomplete).
    bool write16(const std::int16_t* left, const std::int16_t* right, int frames);

    // Closes the file and releases the encoder. False when the file could not be completed
    // (a page or the stream's buffer did not reach the disk); true when nothing was open.
    bool close();

    bool isOpen() const { return m_file != nullptr; }
    bool isStarted() const;
    // The end-of-stream page has been written.
    bool isEnded() const;
    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }

    // The leading decimal number of a track text ("3/12" gives 3); 0 when it has none.
    static long long trackNumberOf(const std::string& text);

private:
    struct Codec;

    // Writes the page the codec holds; false once any page failed.
    bool writeCurrentPage();
    bool drainBlocks();

    std::FILE* m_file = nullptr;
    std::unique_ptr<Codec> m_codec;
    int m_sampleRate = 0;
    int m_channels = 0;
    bool m_writeFailed = false;
};

} // namespace velmora
