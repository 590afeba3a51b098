#pragma once

#include "platform/bass/decode_stream.h"

#include <memory>
#include <vector>
#include <wavpack/wavpack.h>

namespace velmora {

// WavPack files through libwavpack (with the ".wvc" correction file beside it when there is
// one), integer or float, in all their channels. 8-bit material is delivered as unsigned
// 8-bit, everything else as 16-bit (wider samples keep their top 16 bits, float is scaled by
// 32768 and clipped).
class WavpackStream : public DecodeStream {
public:
    static std::unique_ptr<WavpackStream> open(const std::string& path);
    ~WavpackStream() override;

    std::optional<std::uint64_t> fileEnd() const override { return m_fileBytes; }

protected:
    std::size_t decodeFrames(std::uint8_t* out, std::size_t frames) override;

private:
    WavpackStream() = default;
    bool start(const std::string& path);
    WavpackContext* openContext(const std::string& path);

    WavpackContext* m_context = nullptr;
    std::uint64_t m_fileBytes = 0;
    int m_bytesPerSample = 0; // as stored, 1..4
    bool m_float = false;
    std::vector<std::int32_t> m_samples; // one decoding step, interleaved
};

} // namespace velmora
