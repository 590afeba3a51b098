#pragma once

#include "tests/unit/test_support.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace velmora::test {

// A canonical 44-byte-header PCM WAV file around `data` (interleaved, little-endian; unsigned
// for 8 bits), spelled out field by field so that tests do not depend on the writer under test.
inline std::vector<std::uint8_t> pcmWavBytes(int channels, int rate, int bits,
                                             const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out;
    const auto size = static_cast<std::uint32_t>(data.size());
    appendText(out, "RIFF");
    appendU32LE(out, 36 + size);
    appendText(out, "WAVEfmt ");
    appendU32LE(out, 16);
    appendU16LE(out, 1);
    appendU16LE(out, static_cast<std::uint32_t>(channels));
    appendU32LE(out, static_cast<std::uint32_t>(rate));
    appendU32LE(out, static_cast<std::uint32_t>(rate * channels * bits / 8));
    appendU16LE(out, static_cast<std::uint32_t>(channels * bits / 8));
    appendU16LE(out, static_cast<std::uint32_t>(bits));
    appendText(out, "data");
    appendU32LE(out, size);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline std::vector<std::uint8_t> s16Bytes(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> out;
    out.reserve(samples.size() * 2);
    for (const std::int16_t s : samples)
        appendU16LE(out, static_cast<std::uint16_t>(s));
    return out;
}

// Planar channels to interleaved frames, left first.
template <typename T>
std::vector<T> interleave(const std::vector<T>& left, const std::vector<T>& right) {
    std::vector<T> out;
    out.reserve(left.size() * 2);
    for (std::size_t i = 0; i < left.size(); ++i) {
        out.push_back(left[i]);
        out.push_back(right[i]);
    }
    return out;
}

inline bool haveFfmpeg() {
    return haveTool("ffmpeg") && haveTool("ffprobe");
}

// Stream fields as ffprobe reports them for the first audio stream.
inline std::map<std::string, std::string> ffprobeStream(const std::filesystem::path& file) {
    return ffprobeFields(file,
                         "stream=codec_name,sample_rate,channels,bits_per_sample,duration_ts");
}

// The interleaved samples as ffmpeg decodes `file`, in the given width (8 unsigned, 16 signed
// little-endian); `scratch` receives the raw output.
inline std::vector<std::uint8_t> ffmpegDecode(const std::filesystem::path& file, int bits,
                                              const std::filesystem::path& scratch) {
    const std::string format = bits == 16 ? "-f s16le -c:a pcm_s16le" : "-f u8 -c:a pcm_u8";
    std::filesystem::remove(scratch);
    if (runCommand("ffmpeg -v error -y -i " + shellQuote(file.string()) + " " + format + " " +
                   shellQuote(scratch.string())) != 0)
        return {};
    return readFileBytes(scratch);
}

// The names in a folder, sorted; tells whether anything was left behind.
inline std::vector<std::string> folderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace velmora::test
