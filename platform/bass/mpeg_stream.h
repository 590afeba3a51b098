#pragma once

#include "platform/bass/decode_stream.h"
#include "platform/bass/input_file.h"
#include "platform/bass/mpeg_layout.h"

#include <memory>
#include <mpg123.h>
#include <sys/types.h>
#include <vector>

namespace velmora {

// MPEG audio layers I, II and III through libmpg123, for files that MpegLayout accepts as
// MPEG. The decoder reads only the frames between the tags. The length is exact: every frame
// header is scanned once at open, and the encoder delay and padding that a LAME/Info frame
// records are left out (gapless decoding).
class MpegStream : public DecodeStream {
public:
    static std::unique_ptr<MpegStream> open(const std::string& path);
    ~MpegStream() override;

    std::optional<std::uint64_t> fileStart() const override { return m_layout.audioStart; }
    std::optional<std::uint64_t> fileEnd() const override { return m_file.size(); }
    std::vector<std::uint8_t> rawId3v1() const override;
    std::vector<std::uint8_t> rawId3v2() const override;

protected:
    std::size_t decodeFrames(std::uint8_t* out, std::size_t frames) override;

private:
    // The decoder's view of the file: the audio data only, offsets relative to its start.
    // The decoder asks for every frame in two small reads (header, then body); a read-ahead
    // window turns those into one system call per kReadAheadBytes.
    struct AudioView {
        static constexpr std::size_t kReadAheadBytes = 64 * 1024;

        const InputFile* file = nullptr;
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
        std::uint64_t position = 0;
        std::vector<std::uint8_t> window; // file bytes from windowStart on, kReadAheadBytes
        std::uint64_t windowStart = 0;    // relative to begin, like position
        std::size_t windowBytes = 0;      // valid bytes in window

        // Copies up to `bytes` from `position` on, refilling the window as needed; fewer only
        // at the end of the audio data or of the file.
        std::size_t read(std::uint8_t* out, std::size_t bytes);
    };

    MpegStream(InputFile file, const MpegLayout& layout);
    bool start();

    static mpg123_ssize_t readView(void* view, void* buffer, std::size_t bytes);
    static off_t seekView(void* view, off_t offset, int whence);

    InputFile m_file;
    MpegLayout m_layout;
    std::unique_ptr<AudioView> m_view; // the decoder holds its address
    mpg123_handle* m_decoder = nullptr;
    long m_rate = 0;
    int m_channels = 0;
};

} // namespace velmora
