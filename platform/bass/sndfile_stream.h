#pragma once

#include "platform/bass/decode_stream.h"

#include <memory>
#include <sndfile.h>
#include <vector>

namespace velmora {

// Every format libsndfile opens (WAV and its codecs, AIFF/AIFC, FLAC, Ogg Vorbis and Opus, CAF,
// AU, ...), except bare MPEG audio, which MpegStream alone accepts after its plausibility
// check. 8-bit PCM material is delivered as unsigned 8-bit, everything else as 16-bit.
class SndfileStream : public DecodeStream {
public:
    static std::unique_ptr<SndfileStream> open(const std::string& path);
    ~SndfileStream() override;

    std::optional<std::uint64_t> fileEnd() const override { return m_fileBytes; }

protected:
    std::size_t decodeFrames(std::uint8_t* out, std::size_t frames) override;

private:
    SndfileStream() = default;
    bool start(const std::string& path);
    // Closes the current handle and opens the file again from its start.
    SNDFILE* openChecked(const std::string& path, SF_INFO& info);

    SNDFILE* m_file = nullptr;
    SF_INFO m_sfInfo{};
    std::uint64_t m_fileBytes = 0;
    std::vector<short> m_samples; // one decoding step
};

} // namespace velmora
