#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct gsm_state;

namespace velmora {

// GSM 06.10 full-rate decoding through libgsm; owns one libgsm handle.
//
// With `wav49` set the decoder reads Microsoft's WAV49 framing (two frames packed into a 65-byte
// block, as in WAVE format tag 0x31); without it, plain 33-byte frames (as in AIFC "GSM ").
class GsmDecoder {
public:
    static constexpr std::size_t kFrameBytes = 33;
    static constexpr std::size_t kFrameSamples = 160;
    static constexpr std::size_t kWav49BlockBytes = 65;
    static constexpr std::size_t kWav49BlockSamples = 2 * kFrameSamples;

    explicit GsmDecoder(bool wav49);
    ~GsmDecoder();
    GsmDecoder(const GsmDecoder&) = delete;
    GsmDecoder& operator=(const GsmDecoder&) = delete;

    // False when libgsm could not create its state; nothing decodes then.
    bool isOpen() const { return m_handle != nullptr; }
    bool wav49() const { return m_wav49; }

    // Plain framing only: one 33-byte frame into 160 samples. False on a wrong size, in WAV49
    // mode, or when libgsm rejects the frame.
    bool decodeFrame(std::span<const std::uint8_t> frame, std::span<std::int16_t> out);
    // WAV49 framing only: one 65-byte block into 320 samples. False on a wrong size, in plain
    // mode, or when libgsm rejects either frame.
    bool decodeBlock(std::span<const std::uint8_t> block, std::span<std::int16_t> out);

private:
    gsm_state* m_handle = nullptr;
    bool m_wav49 = false;
};

} // namespace velmora
