#pragma once

#include "platform/amr/amr_file_output.h"

#include <cstdint>
#include <string>

namespace velmora {

// The AMR wide-band encoder library: writes an ".awb" (or wide-band ".amr") file of its own
// ("#!AMR-WB\n" and one storage-format frame per 20 ms) from mono 16-bit PCM at 16000 Hz, with
// the mode and discontinuous transmission fixed at init.
class AmrWbEncoder {
public:
    static constexpr int kFrameSamples = 320;
    // Modes 0 (6.60 kbit/s) to 8 (23.85 kbit/s).
    static constexpr int kModeCount = 9;

    AmrWbEncoder() = default;
    ~AmrWbEncoder();
    AmrWbEncoder(const AmrWbEncoder&) = delete;
    AmrWbEncoder& operator=(const AmrWbEncoder&) = delete;

    // Creates the file and the encoder state. False for a mode outside 0..8 (the codec would read
    // past its tables), when the file cannot be created or the state cannot be made. An encoder
    // still open is finished first.
    bool init(const std::string& path, bool dtx, int mode);
    // Encodes exactly kFrameSamples samples into one frame. False when not open or when the file
    // could no longer be written.
    bool encode(const std::int16_t* frame);
    // Finishes the file and frees the state; false when the file is incomplete. Does nothing
    // and returns true when not open.
    bool quit();

    bool isOpen() const { return m_state != nullptr; }

private:
    void* m_state = nullptr;
    int m_mode = 0;
    bool m_dtx = false;
    AmrFileOutput m_file;
};

} // namespace velmora
