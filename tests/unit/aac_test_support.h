#pragma once

// Shared by the AAC and MPEG-4 tests: a music-like test signal, an independent walk over
// MPEG-4 atoms and over ADTS frames (written here from the format descriptions, not from the
// code under test), and decoding through the ffmpeg command line.

#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::test {

// Interleaved 16-bit frames: decaying plucked tones with a few harmonics over quiet noise,
// different in each channel, so that an encoder has tonal and noisy parts to spend bits on.
inline std::vector<std::int16_t> musicSignal(std::size_t frames, int channels, int rate) {
    std::vector<std::int16_t> out;
    out.reserve(frames * static_cast<std::size_t>(channels));
    std::uint32_t noise = 12345;
    constexpr double kTwoPi = 2 * std::numbers::pi;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            const double phase = std::fmod(t + 0.13 * c, 0.4);
            const double base = c == 0 ? 196.0 : 247.0;
            double s = 0.25 * std::sin(kTwoPi * base * t) * std::exp(-4 * phase) +
                       0.12 * std::sin(kTwoPi * 2 * base * t) * std::exp(-6 * phase) +
                       0.06 * std::sin(kTwoPi * 4.02 * base * t) * std::exp(-8 * phase) +
                       0.1 * std::sin(kTwoPi * 98.0 * t);
            noise = noise * 1664525u + 1013904223u;
            s += 0.03 * (static_cast<double>(noise >> 8) / (1u << 24) - 0.5);
            out.push_back(static_cast<std::int16_t>(std::lround(s * 32767)));
        }
    }
    return out;
}

// Interleaved 16-bit frames of a rising sweep (100 Hz up to a fifth of the rate, the right
// channel a quarter turn ahead): no two stretches alike, so aligning it with its decoded form
// has one answer.
inline std::vector<std::int16_t> sweepSignal(std::size_t frames, int channels, int rate) {
    std::vector<std::int16_t> out;
    out.reserve(frames * static_cast<std::size_t>(channels));
    const double seconds = static_cast<double>(frames) / rate;
    const double rise = (rate / 5.0 - 100.0) / seconds; // Hz per second
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double phase = 2 * std::numbers::pi * (100.0 * t + rise * t * t / 2);
        for (int c = 0; c < channels; ++c)
            out.push_back(static_cast<std::int16_t>(
                std::lround(12000 * std::sin(phase + c * std::numbers::pi / 2))));
    }
    return out;
}

// Planar halves of interleaved 16-bit frames.
inline void splitChannels(const std::vector<std::int16_t>& interleaved, int channels,
                          std::vector<std::int16_t>& left, std::vector<std::int16_t>& right) {
    left.clear();
    right.clear();
    for (std::size_t i = 0; i + static_cast<std::size_t>(channels) <= interleaved.size();
         i += static_cast<std::size_t>(channels)) {
        left.push_back(interleaved[i]);
        if (channels == 2)
            right.push_back(interleaved[i + 1]);
    }
}

inline std::uint32_t readBE32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b.at(at)} << 24 | std::uint32_t{b.at(at + 1)} << 16 |
           std::uint32_t{b.at(at + 2)} << 8 | b.at(at + 3);
}

inline std::uint16_t readBE16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) << 8 | b.at(at + 1));
}

// One atom of an MPEG-4 file: its type, where its body starts and how long the body is.
struct Atom {
    std::string path; // "moov/trak/mdia/mdhd"
    std::size_t body = 0;
    std::size_t bodySize = 0;
};

// Every atom of the file in file order, descending into the containers this program writes.
inline std::vector<Atom> mp4Atoms(const std::vector<std::uint8_t>& file) {
    std::vector<Atom> atoms;
    const auto walk = [&](auto& self, std::size_t at, std::size_t end,
                          const std::string& parent) -> void {
        while (at + 8 <= end) {
            std::uint64_t size = readBE32(file, at);
            std::size_t header = 8;
            if (size == 1) {
                size = std::uint64_t{readBE32(file, at + 8)} << 32 | readBE32(file, at + 12);
                header = 16;
            } else if (size == 0) {
                size = end - at;
            }
            if (size < header || size > end - at)
                return; // damaged: the test comparing atoms will notice what is missing
            const std::string type(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                   file.begin() + static_cast<std::ptrdiff_t>(at + 8));
            const std::string path = parent.empty() ? type : parent + "/" + type;
            atoms.push_back({path, at + header, static_cast<std::size_t>(size) - header});
            const std::size_t bodyEnd = at + static_cast<std::size_t>(size);
            if (type == "moov" || type == "trak" || type == "mdia" || type == "minf" ||
                type == "stbl" || type == "edts" || type == "udta" || type == "ilst" ||
                (parent.ends_with("ilst")))
                self(self, at + header, bodyEnd, path);
            else if (type == "meta") // a full atom: version and flags first
                self(self, at + header + 4, bodyEnd, path);
            at = bodyEnd;
        }
    };
    walk(walk, 0, file.size(), "");
    return atoms;
}

inline std::optional<Atom> findAtom(const std::vector<Atom>& atoms, std::string_view path) {
    for (const Atom& atom : atoms) {
        if (atom.path == path)
            return atom;
    }
    return std::nullopt;
}

// The durations of the track's samples, from its "stts" table.
inline std::vector<std::uint32_t> sampleDurations(const std::vector<std::uint8_t>& file,
                                                  const Atom& stts) {
    std::vector<std::uint32_t> durations;
    const std::uint32_t entries = readBE32(file, stts.body + 4);
    for (std::uint32_t e = 0; e < entries; ++e) {
        const std::size_t at = stts.body + 8 + std::size_t{e} * 8;
        const std::uint32_t count = readBE32(file, at);
        const std::uint32_t delta = readBE32(file, at + 4);
        durations.insert(durations.end(), count, delta);
    }
    return durations;
}

// One ADTS frame header, field by field.
struct AdtsFrame {
    std::size_t offset = 0;
    int id = 0; // 0 MPEG-4, 1 MPEG-2
    int layer = 0;
    int protectionAbsent = 0;
    int profile = 0; // object type - 1
    int rateIndex = 0;
    int channelConfig = 0;
    int length = 0; // header included
    int rawBlocks = 0;
};

// Every frame of an ADTS stream; `complete` tells whether the frames tile the file exactly,
// each starting with the sync word.
inline std::vector<AdtsFrame> adtsFrames(const std::vector<std::uint8_t>& file, bool& complete) {
    std::vector<AdtsFrame> frames;
    std::size_t at = 0;
    complete = false;
    while (at < file.size()) {
        if (file.size() - at < 7 || file[at] != 0xFF || (file[at + 1] & 0xF0) != 0xF0)
            return frames;
        AdtsFrame f;
        f.offset = at;
        f.id = file[at + 1] >> 3 & 1;
        f.layer = file[at + 1] >> 1 & 3;
        f.protectionAbsent = file[at + 1] & 1;
        f.profile = file[at + 2] >> 6;
        f.rateIndex = file[at + 2] >> 2 & 0xF;
        f.channelConfig = (file[at + 2] & 1) << 2 | file[at + 3] >> 6;
        f.length = (file[at + 3] & 3) << 11 | file[at + 4] << 3 | file[at + 5] >> 5;
        f.rawBlocks = file[at + 6] & 3;
        if (f.length < 7 || static_cast<std::size_t>(f.length) > file.size() - at)
            return frames;
        frames.push_back(f);
        at += static_cast<std::size_t>(f.length);
    }
    complete = true;
    return frames;
}

// The shift of channel 0 of `decoded` against `reference` (interleaved frames) within
// +-maxLag frames at which the two agree best; positive when the decoded audio comes late.
inline int bestLag(const std::vector<std::int16_t>& reference,
                   const std::vector<std::int16_t>& decoded, int channels, int maxLag) {
    const auto frames = [&](const std::vector<std::int16_t>& v) {
        return static_cast<long>(v.size()) / channels;
    };
    const long window = std::min<long>(8192, frames(reference) - 2L * maxLag);
    const long start = maxLag;
    int best = 0;
    double bestScore = -1e300;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double score = 0;
        for (long i = start; i < start + window; ++i) {
            const long j = i + lag;
            if (j < 0 || j >= frames(decoded))
                continue;
            score += static_cast<double>(reference[static_cast<std::size_t>(i * channels)]) *
                     decoded[static_cast<std::size_t>(j * channels)];
        }
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

// The interleaved 16-bit samples ffmpeg decodes from `file`; empty when it cannot.
inline std::vector<std::int16_t> ffmpegDecode16(const std::filesystem::path& file,
                                                const std::filesystem::path& scratch) {
    if (ffmpegDecode(file, 16, scratch).empty())
        return {};
    return readS16LE(scratch);
}

} // namespace velmora::test
