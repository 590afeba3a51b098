#pragma once

#include "platform/bass/decode_stream.h"

#include <libopenmpt/libopenmpt.h>
#include <memory>
#include <vector>

namespace velmora {

// A tracker module through libopenmpt, rendered as 16-bit stereo at a fixed rate and played
// once. The length is the song's duration as the library computes it at load (it follows the
// order list, jumps and loops); the stream ends exactly there.
class ModuleStream : public DecodeStream {
public:
    // Larger files are not modules anyone made; the whole file is held in memory to load it.
    static constexpr std::uint64_t kMaxFileBytes = 128ull * 1024 * 1024;
    // Rates the renderer accepts, in Hz.
    static constexpr int kMinRenderRate = 8000;
    static constexpr int kMaxRenderRate = 192000;

    static std::unique_ptr<ModuleStream> open(const std::string& path, int renderRate);
    ~ModuleStream() override;

protected:
    std::size_t decodeFrames(std::uint8_t* out, std::size_t frames) override;

private:
    ModuleStream() = default;

    openmpt_module* m_module = nullptr;
    int m_rate = 0;
    std::vector<std::int16_t> m_samples; // one rendering step, interleaved stereo
};

} // namespace velmora
