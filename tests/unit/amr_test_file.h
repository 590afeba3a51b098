#pragma once

// Test helpers for AMR files, independent of the writer under test: a walk over the frames of
// an AMR or AMR-WB storage file, and the expected file for a stream of samples made by calling
// the codec libraries frame by frame on the input cut here.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <opencore-amrnb/interf_enc.h>
#include <vo-amrwbenc/enc_if.h>
}

namespace velmora::test {

struct AmrFileLayout {
    bool wideBand = false;
    std::vector<int> frameTypes; // the FT field of each frame's header byte
};

// Bytes after the header byte, per frame type: the 3GPP storage format's frame sizes.
inline int amrFrameBytes(bool wideBand, int frameType) {
    static constexpr std::array<int, 16> kNb = {12, 13, 15, 17, 19, 20, 26, 31,
                                                5,  0,  0,  0,  0,  0,  0,  0};
    static constexpr std::array<int, 16> kWb = {17, 23, 32, 36, 40, 46, 50, 58,
                                                60, 5,  0,  0,  0,  0,  0,  0};
    return (wideBand ? kWb : kNb)[static_cast<std::size_t>(frameType & 15)];
}

// None when the magic is wrong or a frame runs past the end of the file.
inline std::optional<AmrFileLayout> walkAmrFile(const std::vector<std::uint8_t>& file) {
    const std::string nb = "#!AMR\n";
    const std::string wb = "#!AMR-WB\n";
    AmrFileLayout layout;
    std::size_t at = 0;
    if (file.size() >= wb.size() && std::equal(wb.begin(), wb.end(), file.begin())) {
        layout.wideBand = true;
        at = wb.size();
    } else if (file.size() >= nb.size() && std::equal(nb.begin(), nb.end(), file.begin())) {
        at = nb.size();
    } else {
        return std::nullopt;
    }
    while (at < file.size()) {
        const int frameType = (file[at] >> 3) & 15;
        const std::size_t next =
            at + 1 + static_cast<std::size_t>(amrFrameBytes(layout.wideBand, frameType));
        if (next > file.size())
            return std::nullopt;
        layout.frameTypes.push_back(frameType);
        at = next;
    }
    return layout;
}

// The file the codec makes for `samples` cut into frames of 160 (narrow band) or 320 samples,
// the last one padded with zeros.
inline std::vector<std::uint8_t> referenceAmrFile(bool wideBand, int mode, bool dtx,
                                                  std::vector<std::int16_t> samples) {
    const std::size_t frame = wideBand ? 320 : 160;
    samples.resize((samples.size() + frame - 1) / frame * frame, 0);
    const std::string magic = wideBand ? "#!AMR-WB\n" : "#!AMR\n";
    std::vector<std::uint8_t> file(magic.begin(), magic.end());
    void* state = wideBand ? E_IF_init() : Encoder_Interface_init(dtx ? 1 : 0);
    std::array<std::uint8_t, 128> out{};
    for (std::size_t at = 0; at < samples.size(); at += frame) {
        const int bytes = wideBand ? E_IF_encode(state, mode, &samples[at], out.data(), dtx ? 1 : 0)
                                   : Encoder_Interface_Encode(state, static_cast<Mode>(mode),
                                                              &samples[at], out.data(), 0);
        file.insert(file.end(), out.begin(), out.begin() + std::max(bytes, 0));
    }
    if (wideBand)
        E_IF_exit(state);
    else
        Encoder_Interface_exit(state);
    return file;
}

// A speech-like test signal: two tones that change every 25 ms, loud enough to be coded.
inline std::vector<std::int16_t> amrTestSignal(std::size_t count, int rate) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double step = static_cast<double>(i / static_cast<std::size_t>(rate / 40));
        const double f = 200.0 + 37.0 * static_cast<double>(static_cast<int>(step) % 11);
        const double v = 9000.0 * std::sin(2 * std::numbers::pi * f * t) +
                         4000.0 * std::sin(2 * std::numbers::pi * 3.1 * f * t);
        samples[i] = static_cast<std::int16_t>(v);
    }
    return samples;
}

} // namespace velmora::test
