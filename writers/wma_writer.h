#pragma once

#include "platform/tag_set.h"
#include "platform/wmf/wmf_writer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Writes WMA, WMV and ASF files (one audio stream) through the Windows Media runtime, which
// encodes, converts the PCM to the codec format and makes the file. The writer builds the
// one-stream profile of the selected codec format, describes its PCM input, sets the tag
// attributes and feeds timed samples.
//
// Life cycle: setPath, setInputFormat, setCodecFormat, setTags, begin, write16 or write8 once
// per block, close. The destructor abandons a file that was not closed.
class WmaWriter {
public:
    // The tag values in the writer's own order; texts are UTF-8, an absent one is written
    // empty.
    struct Tags {
        TagSet text; // its track text is not read: the number below is written
        std::uint32_t track = 0;
    };

    WmaWriter() = default;
    ~WmaWriter() = default;
    WmaWriter(const WmaWriter&) = delete;
    WmaWriter& operator=(const WmaWriter&) = delete;

    void setPath(const std::string& path) { m_path = path; }
    // The PCM that write16/write8 receive.
    void setInputFormat(int sampleRate, int bitsPerSample, int channels);
    // The codec format, borrowed from the format catalogue, and its bit rate in bit/s.
    void setCodecFormat(const WmfMediaType* mediaType, std::uint32_t bitRate);
    void setTags(const Tags& tags);

    // Builds the profile, describes the input, sets the attributes (also when no tags were
    // given) and begins writing the file; sampleTime() is 0. False when something is missing or
    // the runtime refuses; the writer is then reset.
    bool begin();

    // One block of planar samples (`right` only for two channels), presented at sampleTime(),
    // which then advances by frames x 10,000,000 / rate, truncated. False when the runtime
    // rejects the sample.
    bool write16(const std::int16_t* left, const std::int16_t* right, int frames);
    bool write8(const std::uint8_t* left, const std::uint8_t* right, int frames);

    // Ends the writing and resets every field. False when the file could not be finished.
    bool close();
    // Leaves the file as it is, unfinished, and resets every field, as the destructor does.
    void abandon() { reset(); }

    // Presentation time of the next sample, in 100-ns units.
    std::uint64_t sampleTime() const { return m_sampleTime; }
    bool isWriting() const { return m_runtime.isWriting(); }

private:
    template <typename Sample> bool writeBlock(const Sample* left, const Sample* right, int frames);
    void setAttributes();
    void reset();

    std::string m_path;
    int m_sampleRate = 0;
    int m_bitsPerSample = 0;
    int m_channels = 0;
    const WmfMediaType* m_codecFormat = nullptr;
    std::uint32_t m_bitRate = 0;
    Tags m_tags;
    std::uint64_t m_sampleTime = 0;
    std::vector<std::uint8_t> m_sample; // one interleaved block; reused, only grows
    WmfWriter m_runtime;
};

} // namespace velmora
