#pragma once

#include "platform/amr/amr_nb_encoder.h"
#include "platform/amr/amr_wb_encoder.h"

#include <array>
#include <cstdint>
#include <string>

namespace velmora {

// Writes AMR narrow-band (8000 Hz, ".amr") or wide-band (16000 Hz, ".amr" or ".awb") files from
// mono 16-bit PCM. The encoder library makes the file; the writer's own work is cutting the
// stream into codec frames of 20 ms (160 or 320 samples), whatever the caller's block sizes:
// whole frames are encoded straight from the caller's memory, a tail shorter than a frame waits
// in the frame buffer for the next block, and close() pads the last frame with silence.
//
// Life cycle: prepare(band), the mode and DTX setters, open, write once per block, close (the
// destructor closes too).
class AmrWriter {
public:
    static constexpr int kDefaultMode = 6;
    // Used in place of a stored mode outside the band's table. It is the entry the AMR options
    // page shows, and stores on OK, for such a value, so the file gets the bit rate the user
    // would see there; the codec itself must never be handed an index past its tables.
    static constexpr int kFallbackMode = 4;

    AmrWriter() = default;
    ~AmrWriter();
    AmrWriter(const AmrWriter&) = delete;
    AmrWriter& operator=(const AmrWriter&) = delete;

    // Finishes an open file as close() does, then starts over for the band: DTX off, both modes
    // 6, an empty frame buffer, 160 samples per frame for narrow band and 320 for wide band.
    bool prepare(bool narrowBand);

    void setDtx(int dtx) { m_dtx = dtx; }
    void setNarrowBandMode(int mode) { m_nbMode = mode; }
    void setWideBandMode(int mode) { m_wbMode = mode; }

    // Creates the file with the band's encoder. False when the encoder library refuses it (a
    // path that cannot be written) or prepare() was not called.
    bool open(const std::string& path);

    // Cuts `count` samples into frames. False when the writer is not open, samples are missing,
    // or the file could no longer be written (disk full).
    bool write(const std::int16_t* samples, int count);

    // Encodes the buffered tail padded with zeros, finishes the file and resets every field. False
    // when some of the file could not be written. Safe to call when nothing is open.
    bool close();

    bool isOpen() const { return m_narrowBand ? m_nb.isOpen() : m_wb.isOpen(); }
    bool narrowBand() const { return m_narrowBand; }
    int frameSamples() const { return m_frameSamples; }
    int bufferedSamples() const { return m_count; }
    int dtx() const { return m_dtx; }
    int narrowBandMode() const { return m_nbMode; }
    int wideBandMode() const { return m_wbMode; }
    // Frames handed to the encoder since the last open(); kept after close().
    std::int64_t framesEncoded() const { return m_framesEncoded; }

    // The mode the codec is given for a stored mode of a band with `modeCount` modes.
    static int usableMode(int mode, int modeCount);

private:
    static constexpr int kMaxFrameSamples = AmrWbEncoder::kFrameSamples;

    bool encodeFrame(const std::int16_t* frame);
    void resetFields();

    bool m_narrowBand = true;
    int m_dtx = 0;
    int m_nbMode = kDefaultMode;
    int m_wbMode = kDefaultMode;
    int m_frameSamples = 0;
    int m_count = 0; // samples waiting in m_frameBuffer
    std::int64_t m_framesEncoded = 0;
    std::array<std::int16_t, kMaxFrameSamples> m_frameBuffer{};
    AmrNbEncoder m_nb;
    AmrWbEncoder m_wb;
};

} // namespace velmora
