#pragma once

#include "sources/audio_source.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct OggVorbis_File;

namespace velmora {

// Ogg Vorbis files through libvorbisfile. Other codecs in Ogg (FLAC, Opus, ...) are refused so
// that the next decoder of the chain gets them. length and position count compressed bytes of
// all links of a chained file; more than two channels deliver channels 0 and 1 (front left and
// centre in Vorbis channel order).
class OggSource : public AudioSource {
public:
    // Bytes of one comment that are kept ("NAME=value"); a longer one is cut at a character
    // boundary.
    static constexpr std::size_t kMaxCommentBytes = 1023;
    // Bytes of interleaved 16-bit PCM asked for per read.
    static constexpr int kInterleavedBytes = 4096;
    // Failed decodes in a row after which the stream is taken as ended: a hole is skipped by
    // the next call, a broken link never recovers.
    static constexpr int kMaxConsecutiveErrors = 32;

    OggSource();
    ~OggSource() override;

    void close() override;
    bool open(const std::string& path, int renderRate) override;
    int read(std::int16_t* left, std::int16_t* right) override;
    // Compressed bytes read so far, at most length().
    std::uint64_t position() const override;
    // Always true. Names compare case-insensitively; of a name given twice the last one wins.
    bool readTags(TagSet& tags) override;

    // The stream's comments in stream order, UTF-8 (repaired), each at most kMaxCommentBytes.
    const std::vector<std::string>& comments() const { return m_stream.comments; }
    const std::string& vendor() const { return m_stream.vendor; }

private:
    struct VorbisFileCloser {
        void operator()(OggVorbis_File* file) const;
    };

    void keepComments();

    // What one open stream's reading has come to; close() starts over from the default.
    struct Stream {
        std::unique_ptr<OggVorbis_File, VorbisFileCloser> file;
        std::vector<std::string> comments;
        std::string vendor;
        std::vector<char> interleaved; // kInterleavedBytes of PCM as ov_read writes it
        int requestBytes = 0;          // bytes asked of ov_read: never more than 1152 frames
        int errorsInRow = 0;
        bool ended = false; // the end or an unrecoverable error was met
    };

    Stream m_stream;
};

} // namespace velmora
