#pragma once

#include "platform/amr/amr_file_output.h"

#include <array>
#include <cstdint>
#include <string>

namespace velmora {

// The AMR narrow-band encoder library: writes an ".amr" file of its own ("#!AMR\n" and one
// storage-format frame per 20 ms) from mono 16-bit PCM at 8000 Hz, with the mode and
// discontinuous transmission fixed at init.
class AmrNbEncoder {
public:
    static constexpr int kFrameSamples = 160;
    // Modes 0 (4.75 kbit/s) to 7 (12.2 kbit/s).
    static constexpr int kModeCount = 8;

    AmrNbEncoder() = default;
    ~AmrNbEncoder();
    AmrNbEncoder(const AmrNbEncoder&) = delete;
    AmrNbEncoder& operator=(const AmrNbEncoder&) = delete;

    // Creates the file and the encoder state. False for a mode outside 0..7 (the codec would read
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
    std::array<std::int16_t, kFrameSamples> m_speech{}; // the frame the codec may overwrite
    AmrFileOutput m_file;
};

} // namespace velmora
