#pragma once

#include "platform/aac/aac_frame_encoder.h"
#include "platform/mp4/mp4_file.h"
#include "platform/tag_set.h"

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// Writes one AAC-LC track into an MPEG-4 file: the M4R, M4A, M4B and MP4 outputs, which differ
// only in their file name. Movie time scale 90000, track time scale = the sample rate, audio
// profile-level 0x0F, one sample per AAC frame, and the encoder's 1024 priming samples skipped
// by an edit list, so a decoded file starts and ends where its input did.
//
// Life cycle: open, edit configuration() (only to change the encoder's defaults), start,
// setTags (optional), write16 or write8 once per block, close (the destructor closes too).
// Input is planar: `left` is channel 0, `right` channel 1 and only read for stereo; 16-bit
// samples are signed, 8-bit samples unsigned with 128 as silence.
class Mp4Writer {
public:
    static constexpr std::uint32_t kMovieTimeScale = 90000;
    static constexpr std::uint8_t kAudioProfileLevel = 0x0F;

    // The tag values, in the order the writer takes them. Texts are UTF-8 (invalid sequences
    // are repaired); empty texts and track 0 write no item. MP4 files carry no copyright here.
    struct Tags {
        TagSet text; // its track text is not read: the number below is written
        int track = 0;
    };

    Mp4Writer();
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;

    // Opens the encoder for the PCM format and creates the file; the encoder is set to raw
    // AAC-LC, MPEG-4, TNS off, mid/side allowed, automatic band width, 16-bit input. False when
    // the format cannot be encoded (channels other than 1 or 2, bits other than 8 or 16, a rate
    // AAC has no index for) or the file cannot be created. A writer still open is closed first.
    bool open(const std::string& path, int sampleRate, int channels, int bitsPerSample);

    // The encoder settings, editable between open and start.
    AacEncoderConfig& configuration() { return m_aac.configuration(); }

    // Applies the configuration and describes the track. False when the encoder refuses the
    // configuration or the track cannot be added.
    bool start();

    // After start, before the first write.
    void setTags(const Tags& tags);

    // False when the writer is not started or the encoder or the file refused a frame.
    bool write16(const std::int16_t* left, const std::int16_t* right, int frames);
    bool write8(const std::uint8_t* left, const std::uint8_t* right, int frames);

    // Encodes what is still buffered, drains the encoder, writes the index and closes the file.
    // False when a frame was lost or the file could not be finished (it is then unusable).
    // True when nothing was open.
    bool close();

private:
    // Stores one encoded frame as a sample of the track.
    bool writeSample(std::span<const std::uint8_t> frame);
    void reset();

    Mp4File m_file;
    AacFrameEncoder m_aac;
    std::uint32_t m_track = Mp4File::kInvalidTrackId;
    std::uint64_t m_writtenDuration = 0; // track time-scale units written (= frames)
    std::uint32_t m_encoderDelay = 0;    // priming frames before the input, one AAC frame
    std::uint32_t m_frameLength = 0;     // the longest duration one sample may have
    int m_sampleRate = 0;
    bool m_opened = false;
    bool m_started = false;
};

} // namespace velmora
