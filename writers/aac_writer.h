#pragma once

#include "platform/aac/aac_frame_encoder.h"

#include <cstdint>
#include <string>

namespace velmora {

// Writes raw AAC: a plain sequence of ADTS frames (7-byte headers carrying the configured
// MPEG-2 or MPEG-4 identifier), no container and no tags. The encoder and the PCM handling
// are AacFrameEncoder's, shared with Mp4Writer.
//
// Life cycle: open, edit configuration() (only to change the encoder's defaults), start,
// write16 or write8 once per block, close (the destructor closes too).
class AacWriter {
public:
    AacWriter();
    ~AacWriter();
    AacWriter(const AacWriter&) = delete;
    AacWriter& operator=(const AacWriter&) = delete;

    // Opens the encoder (AAC-LC, MPEG-4, TNS off, mid/side allowed, automatic band width, ADTS
    // output, 16-bit input) and creates the file anew. False when the format cannot be encoded
    // (channels other than 1 or 2, bits other than 8 or 16, a rate AAC has no index for) or the
    // file cannot be created. A writer still open is closed first.
    bool open(const std::string& path, int sampleRate, int channels, int bitsPerSample);

    // The encoder settings, editable between open and start.
    AacEncoderConfig& configuration() { return m_aac.configuration(); }

    // False when the encoder refuses the configuration.
    bool start();

    // False when the writer is not started, or a frame could not be encoded or written.
    bool write16(const std::int16_t* left, const std::int16_t* right, int frames);
    bool write8(const std::uint8_t* left, const std::uint8_t* right, int frames);

    // Encodes what is still buffered, drains the encoder and closes the file. False when a
    // frame was lost on the way. True when nothing was open.
    bool close();

private:
    AacFrameEncoder m_aac;
    int m_fd = -1;
};

} // namespace velmora
