#pragma once

// Independent looks at MP3 and Ogg Vorbis files for the tests of their writers and routines:
// ffprobe/ffmpeg for the stream and the decoded sound, and hand walks over MPEG audio frame
// headers and Ogg pages that share no code with the program.

#include "tests/unit/pcm_wav_file.h"
#include "tests/unit/test_support.h"

#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <numbers>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velmora::test {

// Planar sines of 12000 / 32768 of full scale, left and right at their own frequencies.
struct PlanarTone {
    std::vector<std::int16_t> left;
    std::vector<std::int16_t> right;

    PlanarTone(int rate, int frames, double leftHz, double rightHz) {
        for (int i = 0; i < frames; ++i) {
            left.push_back(static_cast<std::int16_t>(
                std::lround(12000 * std::sin(2 * std::numbers::pi * leftHz * i / rate))));
            right.push_back(static_cast<std::int16_t>(
                std::lround(12000 * std::sin(2 * std::numbers::pi * rightHz * i / rate))));
        }
    }
};

// Runs `body` in a child process whose files may not grow past `limitBytes`, where a write past
// the limit fails with EFBIG instead of killing the process. Returns what `body` returned (its
// exit status), or -1 when the child did not end normally.
inline int runWithFileSizeLimit(rlim_t limitBytes, const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{limitBytes, limitBytes};
        _exit(setrlimit(RLIMIT_FSIZE, &limit) == 0 ? body() : 100);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// A source WAV with a sine per channel (`rightHz` ignored for mono): 16-bit signed or 8-bit
// unsigned samples.
inline std::vector<std::uint8_t> toneWav(int channels, int rate, int bits, double seconds,
                                         double leftHz, double rightHz, double amplitude = 0.5) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double hz = c == 0 ? leftHz : rightHz;
            const double v = amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / rate);
            if (bits == 8)
                data.push_back(static_cast<std::uint8_t>(std::lround(128 + v * 127)));
            else
                appendU16LE(data, static_cast<std::uint16_t>(
                                      static_cast<std::int16_t>(std::lround(v * 32767))));
        }
    }
    return pcmWavBytes(channels, rate, bits, data);
}

// Fields of the first audio stream and of the format, as ffprobe reports them
// ("codec_name", "sample_rate", "channels", "bit_rate", "duration", "format_name").
inline std::map<std::string, std::string> probeStream(const std::filesystem::path& file) {
    return ffprobeFields(
        file, "stream=codec_name,sample_rate,channels,bit_rate,duration:format=format_name");
}

// Decoded PCM as FFmpeg delivers it, interleaved 16-bit, with its channel count.
struct DecodedPcm {
    int channels = 0;
    int rate = 0;
    std::vector<std::int16_t> samples;

    std::size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

inline DecodedPcm decodeWithFfmpeg(const std::filesystem::path& file,
                                   const std::filesystem::path& scratch) {
    DecodedPcm pcm;
    const auto fields = probeStream(file);
    if (!fields.contains("channels") || !fields.contains("sample_rate"))
        return pcm;
    pcm.channels = std::stoi(fields.at("channels"));
    pcm.rate = std::stoi(fields.at("sample_rate"));
    std::filesystem::remove(scratch);
    if (runCommand("ffmpeg -v error -y -i " + shellQuote(file.string()) +
                   " -f s16le -c:a pcm_s16le " + shellQuote(scratch.string())) != 0)
        return {};
    pcm.samples = readS16LE(scratch);
    return pcm;
}

// Amplitude (0..1 of full scale) of the `hz` component in one channel, by correlation with a
// sine and a cosine over the middle of the signal (the edges hold encoder delay and fades).
inline double toneLevel(const DecodedPcm& pcm, int channel, double hz) {
    const std::size_t frames = pcm.frames();
    if (frames < 4 || channel >= pcm.channels)
        return 0;
    const std::size_t begin = frames / 5;
    const std::size_t end = frames - frames / 5;
    double re = 0;
    double im = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const double s = pcm.samples[i * pcm.channels + channel] / 32768.0;
        const double phase = 2 * std::numbers::pi * hz * double(i) / pcm.rate;
        re += s * std::cos(phase);
        im += s * std::sin(phase);
    }
    return 2 * std::hypot(re, im) / double(end - begin);
}

// One MPEG audio Layer III frame header as the file spells it.
struct MpegFrame {
    std::size_t offset = 0;
    std::size_t size = 0;
    int bitrateKbps = 0;
    int sampleRate = 0;
    int mode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
};

// The frame header at `at`; none when the bytes there are not a Layer III header.
inline std::optional<MpegFrame> mpegFrameAt(const std::vector<std::uint8_t>& bytes,
                                            std::size_t at) {
    if (at + 4 > bytes.size() || bytes[at] != 0xFF || (bytes[at + 1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (bytes[at + 1] >> 3) & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int layer = (bytes[at + 1] >> 1) & 3;   // 1 = Layer III
    const int bitrateIndex = bytes[at + 2] >> 4;
    const int rateIndex = (bytes[at + 2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    static const int kMpeg1Kbps[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                     112, 128, 160, 192, 224, 256, 320};
    static const int kMpeg2Kbps[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int kRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    MpegFrame frame;
    frame.offset = at;
    frame.bitrateKbps = version == 3 ? kMpeg1Kbps[bitrateIndex] : kMpeg2Kbps[bitrateIndex];
    frame.sampleRate = kRates[version][rateIndex];
    frame.mode = bytes[at + 3] >> 6;
    const int padding = (bytes[at + 2] >> 1) & 1;
    const int perKbps = version == 3 ? 144000 : 72000;
    frame.size = static_cast<std::size_t>(perKbps * frame.bitrateKbps / frame.sampleRate + padding);
    return frame;
}

// Every frame from `begin` up to `end`, back to back; stops at the first byte that does not
// start a frame (and records where in `stoppedAt`).
inline std::vector<MpegFrame> walkMpegFrames(const std::vector<std::uint8_t>& bytes,
                                             std::size_t begin, std::size_t end,
                                             std::size_t* stoppedAt = nullptr) {
    std::vector<MpegFrame> frames;
    std::size_t at = begin;
    while (at < end) {
        const auto frame = mpegFrameAt(bytes, at);
        if (!frame || at + frame->size > end)
            break;
        frames.push_back(*frame);
        at += frame->size;
    }
    if (stoppedAt)
        *stoppedAt = at;
    return frames;
}

// The size of an ID3v2 tag at the start of `bytes` (header included, no footer); 0 when none.
inline std::size_t id3v2TagSize(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 10 || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3')
        return 0;
    return 10 + ((std::size_t(bytes[6]) << 21) | (std::size_t(bytes[7]) << 14) |
                 (std::size_t(bytes[8]) << 7) | std::size_t(bytes[9]));
}

inline bool endsWithId3v1(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 128 && bytes[bytes.size() - 128] == 'T' &&
           bytes[bytes.size() - 127] == 'A' && bytes[bytes.size() - 126] == 'G';
}

// The identifiers of the frames of an ID3v2.3 tag, in file order.
inline std::vector<std::string> id3v2FrameIds(const std::vector<std::uint8_t>& tag) {
    std::vector<std::string> ids;
    const std::size_t end = std::min(id3v2TagSize(tag), tag.size());
    std::size_t at = 10;
    while (at + 10 <= end && tag[at] != 0) {
        const std::size_t size = (std::size_t(tag[at + 4]) << 24) |
                                 (std::size_t(tag[at + 5]) << 16) |
                                 (std::size_t(tag[at + 6]) << 8) | std::size_t(tag[at + 7]);
        ids.emplace_back(tag.begin() + static_cast<std::ptrdiff_t>(at),
                         tag.begin() + static_cast<std::ptrdiff_t>(at + 4));
        at += 10 + size;
    }
    return ids;
}

// One Ogg page and the packets it completes.
struct OggPage {
    std::uint8_t flags = 0; // 1 continued, 2 beginning of stream, 4 end of stream
    std::int64_t granule = 0;
    int packetsEnded = 0;     // lacing values below 255
    bool endsOnPacket = true; // the last lacing value closes a packet
};

struct OggStreamLayout {
    std::vector<OggPage> pages;
    // Each packet's bytes and the index of the page its last byte is on.
    std::vector<std::vector<std::uint8_t>> packets;
    std::vector<std::size_t> packetLastPage;
    std::vector<std::size_t> packetFirstPage;
    bool wellFormed = false; // every byte belonged to a page
};

inline OggStreamLayout walkOggPages(const std::vector<std::uint8_t>& bytes) {
    OggStreamLayout layout;
    std::size_t at = 0;
    std::vector<std::uint8_t> packet;
    bool packetOpen = false;
    while (at + 27 <= bytes.size()) {
        if (bytes[at] != 'O' || bytes[at + 1] != 'g' || bytes[at + 2] != 'g' ||
            bytes[at + 3] != 'S')
            return layout;
        OggPage page;
        page.flags = bytes[at + 5];
        for (int i = 7; i >= 0; --i)
            page.granule = (page.granule << 8) | bytes[at + 6 + i];
        const std::size_t segments = bytes[at + 26];
        if (at + 27 + segments > bytes.size())
            return layout;
        std::size_t body = at + 27 + segments;
        const std::size_t pageIndex = layout.pages.size();
        for (std::size_t s = 0; s < segments; ++s) {
            const std::size_t lacing = bytes[at + 27 + s];
            if (body + lacing > bytes.size())
                return layout;
            if (!packetOpen)
                layout.packetFirstPage.push_back(pageIndex);
            packetOpen = true;
            packet.insert(packet.end(), bytes.begin() + static_cast<std::ptrdiff_t>(body),
                          bytes.begin() + static_cast<std::ptrdiff_t>(body + lacing));
            body += lacing;
            if (lacing < 255) {
                layout.packets.push_back(packet);
                layout.packetLastPage.push_back(pageIndex);
                packet.clear();
                packetOpen = false;
                ++page.packetsEnded;
            }
        }
        page.endsOnPacket = !packetOpen;
        layout.pages.push_back(page);
        at = body;
    }
    layout.wellFormed = at == bytes.size() && !packetOpen;
    return layout;
}

// The nominal bit rate, bit/s, of the Vorbis identification header (the first packet).
inline std::optional<std::int32_t> vorbisNominalBitrate(const OggStreamLayout& layout) {
    if (layout.packets.empty() || layout.packets[0].size() < 30)
        return std::nullopt;
    const auto& p = layout.packets[0];
    // type, "vorbis", version 4, channels 1, rate 4, maximum 4, nominal 4
    const std::size_t at = 1 + 6 + 4 + 1 + 4 + 4;
    return static_cast<std::int32_t>(std::uint32_t(p[at]) | (std::uint32_t(p[at + 1]) << 8) |
                                     (std::uint32_t(p[at + 2]) << 16) |
                                     (std::uint32_t(p[at + 3]) << 24));
}

// True when the packet is the Vorbis header of `type` (1 identification, 3 comment, 5 setup).
inline bool isVorbisHeader(const std::vector<std::uint8_t>& packet, int type) {
    static const char kWord[] = "vorbis";
    if (packet.size() < 7 || packet[0] != type)
        return false;
    for (int i = 0; i < 6; ++i)
        if (packet[1 + i] != static_cast<std::uint8_t>(kWord[i]))
            return false;
    return true;
}

} // namespace velmora::test
