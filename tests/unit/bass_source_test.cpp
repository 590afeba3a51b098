// Tests of BassSource over the decoding layer: every backend decodes its family with the
// right description, lossless inputs match FFmpeg's decode sample for sample, lossy ones match
// FFmpeg's length, the MPEG header and bit-rate rules, raw ID3 tags, modules and MIDI at a
// render rate, more than two channels, and damaged or foreign files (run under the sanitizer
// build too).

#include "platform/bass/midi_sound_font.h"
#include "sources/bass_source.h"
#include "sources/source_factory.h"
#include "tests/unit/source_decoding.h"
#include "tests/unit/synthetic_songs.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

using test::appendText;
using test::appendU16BE;
using test::appendU32BE;
using test::midiSong;
using test::proTrackerModule;
using test::shellQuote;
using Bytes = std::vector<std::uint8_t>;
using Type = BassSource::SourceType;

// The signal of the recorded fixtures: two different tones and some noise, so a swapped,
// shifted or dropped channel shows.
constexpr const char* kStereoSignal =
    "aevalsrc=0.5*sin(2*PI*440*t)+0.2*random(0)|0.4*sin(2*PI*660*t)-0.2*random(1)";
constexpr const char* kMonoSignal = "aevalsrc=0.6*sin(2*PI*523*t)+0.2*random(0)";
constexpr const char* kSixChannelSignal =
    "aevalsrc=0.5*sin(2*PI*440*t)|0.5*sin(2*PI*550*t)|0.3*random(0)|0.3*random(1)|"
    "0.2*sin(2*PI*110*t)|0.1*random(2)";

// Everything a source delivered, interleaved as the CLI writes it.
struct Decoded {
    std::vector<std::int16_t> samples; // 16-bit sources
    Bytes bytes;                       // 8-bit sources
    std::uint64_t frames = 0;
    int reads = 0;
    int maxFramesPerRead = 0;
    bool positionFollowed = true; // position() matched the PCM delivered after every read
};

Decoded decodeAll(BassSource& source) {
    const test::DecodedPcm pcm = test::decodeSource(source);
    EXPECT_LE(pcm.largestRead, AudioSource::kMaxFramesPerRead);
    Decoded out;
    for (const int sample : pcm.interleaved()) {
        if (pcm.bitsPerSample == 8)
            out.bytes.push_back(static_cast<std::uint8_t>(sample));
        else
            out.samples.push_back(static_cast<std::int16_t>(sample));
    }
    out.frames = pcm.frames();
    out.reads = static_cast<int>(pcm.reads.size());
    out.maxFramesPerRead = pcm.largestRead;
    const std::uint64_t frameBytes =
        static_cast<std::uint64_t>(source.channels()) * (source.bitsPerSample() / 8);
    std::uint64_t delivered = 0;
    for (std::size_t i = 0; i < pcm.reads.size(); ++i) {
        delivered += static_cast<std::uint64_t>(pcm.reads[i]);
        out.positionFollowed = out.positionFollowed && pcm.positions[i] == delivered * frameBytes;
    }
    return out;
}

// Keeps channels 0 and 1 of interleaved samples with `channels` per frame.
std::vector<std::int16_t> firstTwoChannels(const std::vector<std::int16_t>& samples,
                                           std::size_t channels) {
    std::vector<std::int16_t> out;
    for (std::size_t i = 0; i + channels <= samples.size(); i += channels) {
        out.push_back(samples[i]);
        out.push_back(samples[i + 1]);
    }
    return out;
}

double peak(const std::vector<std::int16_t>& samples) {
    int best = 0;
    for (const std::int16_t s : samples)
        best = std::max(best, std::abs(static_cast<int>(s)));
    return best;
}

class BassSourceTest : public test::SandboxTest {
protected:
    // Runs a fixture command; the test fails when the tool fails.
    void make(const std::string& command) { ASSERT_EQ(test::runCommand(command), 0) << command; }

    std::string generate(const std::string& name, const std::string& signal, int rate,
                         double seconds, const std::string& codecArgs) {
        const std::string file = path(name).string();
        make("ffmpeg -nostdin -v error -y -f lavfi -i " +
             shellQuote(signal + ":s=" + std::to_string(rate) + ":d=" + std::to_string(seconds)) +
             " " + codecArgs + " " + shellQuote(file));
        return file;
    }

    // FFmpeg's decode of a file: signed 16-bit, or unsigned 8-bit bytes.
    std::vector<std::int16_t> ffmpegS16(const std::string& file) {
        const std::string raw = path("reference.raw").string();
        make("ffmpeg -nostdin -v error -y -i " + shellQuote(file) + " -f s16le -c:a pcm_s16le " +
             shellQuote(raw));
        return test::readS16LE(raw);
    }
    Bytes ffmpegU8(const std::string& file) {
        const std::string raw = path("reference.raw").string();
        make("ffmpeg -nostdin -v error -y -i " + shellQuote(file) + " -f u8 -c:a pcm_u8 " +
             shellQuote(raw));
        return test::readFileBytes(raw);
    }
};

// ---------------------------------------------------------------------------------------------
// Lossless families: sample-identical to FFmpeg, whole length

struct LosslessCase {
    const char* name;
    const char* signal;
    int rate;
    const char* file;
    const char* encode; // FFmpeg arguments, or a command with {in} and {out} after making a WAV
    int channels;
    int bits;
};

class LosslessTest : public BassSourceTest, public ::testing::WithParamInterface<LosslessCase> {};

TEST_P(LosslessTest, DecodesSampleIdenticallyToFfmpeg) {
    const LosslessCase& c = GetParam();
    std::string file;
    const std::string encode = c.encode;
    if (encode.find("{in}") != std::string::npos) {
        const std::string wav = generate("input.wav", c.signal, c.rate, 1.3,
                                         c.bits == 8 ? "-c:a pcm_u8" : "-c:a pcm_s16le");
        file = path(c.file).string();
        std::string command = encode;
        command.replace(command.find("{in}"), 4, shellQuote(wav));
        command.replace(command.find("{out}"), 5, shellQuote(file));
        make(command);
    } else {
        file = generate(c.file, c.signal, c.rate, 1.3, encode);
    }

    BassSource source;
    ASSERT_TRUE(source.open(file, 44100));
    EXPECT_EQ(source.sampleRate(), c.rate);
    EXPECT_EQ(source.channels(), c.channels);
    EXPECT_EQ(source.outChannels(), c.channels < 2 ? 1 : 2);
    EXPECT_EQ(source.bitsPerSample(), c.bits);
    EXPECT_EQ(source.durationSeconds(), 1);
    const std::uint64_t frames = static_cast<std::uint64_t>(std::llround(1.3 * c.rate));
    EXPECT_EQ(source.length(), frames * static_cast<std::uint64_t>(c.channels) * (c.bits / 8));

    const Decoded decoded = decodeAll(source);
    EXPECT_EQ(decoded.frames, frames);
    EXPECT_TRUE(decoded.positionFollowed);
    EXPECT_EQ(source.position(), source.length());
    const int expectedFramesPerRead = c.channels <= 2 ? 1152 : 2304 / c.channels;
    EXPECT_EQ(decoded.maxFramesPerRead, expectedFramesPerRead);
    if (c.bits == 8) {
        EXPECT_EQ(decoded.bytes, ffmpegU8(file));
    } else {
        const auto reference = ffmpegS16(file);
        EXPECT_EQ(decoded.samples,
                  c.channels <= 2 ? reference : firstTwoChannels(reference, c.channels));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, LosslessTest,
    ::testing::Values(
        LosslessCase{"Wav16Stereo", kStereoSignal, 44100, "a.wav", "-c:a pcm_s16le", 2, 16},
        LosslessCase{"Wav8Mono", kMonoSignal, 22050, "a.wav", "-c:a pcm_u8", 1, 8},
        LosslessCase{"Wav8Stereo", kStereoSignal, 11025, "a.wav", "-c:a pcm_u8", 2, 8},
        LosslessCase{"Wav24Mono", kMonoSignal, 48000, "a.wav", "-c:a pcm_s24le", 1, 16},
        // A WAV file named like an MP3 is still read as the WAV it is.
        LosslessCase{"WavNamedMp3", kStereoSignal, 44100, "noise.mp3", "-f wav -c:a pcm_s16le", 2,
                     16},
        LosslessCase{"Flac16Stereo", kStereoSignal, 48000, "a.flac", "flac -s -f -o {out} {in}", 2,
                     16},
        LosslessCase{"Flac24Mono", kMonoSignal, 96000, "a.flac",
                     "-c:a flac -sample_fmt s32 -bits_per_raw_sample 24", 1, 16},
        LosslessCase{"Aiff16Stereo", kStereoSignal, 32000, "a.aiff", "-c:a pcm_s16be", 2, 16},
        LosslessCase{"WavPack16Stereo", kStereoSignal, 44100, "a.wv", "wavpack -q -y {in} -o {out}",
                     2, 16},
        LosslessCase{"WavPack8Mono", kMonoSignal, 8000, "a.wv", "wavpack -q -y {in} -o {out}", 1,
                     8},
        LosslessCase{"WavPackFloat", kStereoSignal, 44100, "a.wv", "-c:a wavpack -sample_fmt fltp",
                     2, 16},
        LosslessCase{"Wav6Channels", kSixChannelSignal, 48000, "a.wav", "-c:a pcm_s16le", 6, 16},
        LosslessCase{"Flac6Channels", kSixChannelSignal, 44100, "a.flac", "-c:a flac", 6, 16},
        LosslessCase{"WavPack6Channels", kSixChannelSignal, 44100, "a.wv", "-c:a wavpack", 6, 16}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Lossy families: FFmpeg's length, and audio that follows FFmpeg's closely

struct LossyCase {
    const char* name;
    const char* file;
    const char* encode; // a command with {in} and {out}, given a 44100 Hz stereo WAV
    int rate;
    int channels;
    Type type;
    int channelMode;
};

class LossyTest : public BassSourceTest, public ::testing::WithParamInterface<LossyCase> {};

TEST_P(LossyTest, DecodesToFfmpegsLength) {
    const LossyCase& c = GetParam();
    const std::string wav = generate("input.wav", kStereoSignal, 44100, 2.5, "-c:a pcm_s16le");
    const std::string file = path(c.file).string();
    std::string command = c.encode;
    command.replace(command.find("{in}"), 4, shellQuote(wav));
    command.replace(command.find("{out}"), 5, shellQuote(file));
    make(command);

    BassSource source;
    ASSERT_TRUE(source.open(file, 44100));
    EXPECT_EQ(source.sourceType(), c.type);
    EXPECT_EQ(source.sampleRate(), c.rate);
    EXPECT_EQ(source.channels(), c.channels);
    EXPECT_EQ(source.bitsPerSample(), 16);
    EXPECT_EQ(source.channelMode(), c.channelMode);
    const auto reference = ffmpegS16(file);
    EXPECT_EQ(source.length(), reference.size() * 2);
    EXPECT_EQ(source.durationSeconds(),
              static_cast<int>(reference.size() / static_cast<std::size_t>(c.channels) /
                               static_cast<std::size_t>(c.rate)));

    const Decoded decoded = decodeAll(source);
    ASSERT_EQ(decoded.samples.size(), reference.size());
    EXPECT_TRUE(decoded.positionFollowed);
    // Two decoders of one lossy stream differ by rounding only.
    double error = 0.0;
    double signal = 0.0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const double d = decoded.samples[i] - reference[i];
        error += d * d;
        signal += static_cast<double>(reference[i]) * reference[i];
    }
    EXPECT_LT(error, signal * 1e-4) << "decoded audio strays from FFmpeg's";
}

INSTANTIATE_TEST_SUITE_P(
    Families, LossyTest,
    ::testing::Values(
        LossyCase{"Mp3CbrJointStereo", "a.mp3", "lame --quiet -b 128 --cbr -m j {in} {out}", 44100,
                  2, Type::MpegFile, 1},
        LossyCase{"Mp3Stereo", "a.mp3", "lame --quiet -b 128 -m s {in} {out}", 44100, 2,
                  Type::MpegFile, 0},
        LossyCase{"Mp3DualChannel", "a.mp3", "lame --quiet -b 192 -m d {in} {out}", 44100, 2,
                  Type::MpegFile, 2},
        LossyCase{"Mp3Mono", "a.mp3", "lame --quiet -b 64 -m m {in} {out}", 44100, 1,
                  Type::MpegFile, 3},
        LossyCase{"Mp3Vbr22050", "a.mp3", "lame --quiet -V 4 --resample 22.05 {in} {out}", 22050, 2,
                  Type::MpegFile, 1},
        LossyCase{"Mp2", "a.mp2",
                  "ffmpeg -nostdin -v error -y -i {in} -ar 48000 -c:a mp2 -b:a 192k {out}", 48000,
                  2, Type::Stream, 4},
        LossyCase{"OggVorbis", "a.ogg",
                  "ffmpeg -nostdin -v error -y -i {in} -c:a libvorbis -q:a 4 {out}", 44100, 2,
                  Type::Stream, 4},
        LossyCase{"OggOpus", "a.opus",
                  "ffmpeg -nostdin -v error -y -i {in} -c:a libopus -b:a 96k {out}", 48000, 2,
                  Type::Stream, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// MPEG header and bit rate

// `count` silent MPEG-1 layer I frames, 48000 Hz mono: 128 bytes each at 128 kbit/s, or the
// same size in free format (bit rate index 0).
Bytes layer1Frames(int count, bool freeFormat) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        out.insert(out.end(),
                   {0xFF, 0xFF, static_cast<std::uint8_t>(freeFormat ? 0x04 : 0x44), 0xC0});
        out.resize(out.size() + 124, 0);
    }
    return out;
}

TEST(BassSourceBitrate, AveragesTheWholeFile) {
    EXPECT_EQ(BassSource::averageBitrateKbps(1.0, 16000, 16, 48000, 1), 128);
    EXPECT_EQ(BassSource::averageBitrateKbps(2.0, 32124, 16, 44100, 2), 128); // 128.496 + 0.5
    EXPECT_EQ(BassSource::averageBitrateKbps(2.0, 32125, 16, 44100, 2), 129); // 128.5 + 0.5
    EXPECT_EQ(BassSource::averageBitrateKbps(0.0, 16000, 16, 44100, 2), 1411);
    EXPECT_EQ(BassSource::averageBitrateKbps(3.0, std::nullopt, 16, 44100, 2), 1411);
    EXPECT_EQ(BassSource::averageBitrateKbps(3.0, std::nullopt, 8, 8000, 1), 64);
    // A tiny duration over a huge file saturates instead of overflowing.
    EXPECT_EQ(BassSource::averageBitrateKbps(1e-9, 1ull << 50, 16, 44100, 2), INT_MAX);
}

TEST_F(BassSourceTest, OneSecondOf16000BytesIs128Kbps) {
    const auto file = path("second.mp3");
    test::writeFileBytes(file, layer1Frames(125, false));
    BassSource source;
    ASSERT_TRUE(source.open(file.string(), 44100));
    EXPECT_EQ(source.sourceType(), Type::MpegFile);
    EXPECT_EQ(source.sampleRate(), 48000);
    EXPECT_EQ(source.channels(), 1);
    EXPECT_EQ(source.channelMode(), 3);
    EXPECT_EQ(source.length(), 48000u * 2);
    EXPECT_EQ(source.durationSeconds(), 1);
    EXPECT_EQ(source.bitrateKbps(), 128);
    const Decoded decoded = decodeAll(source);
    EXPECT_EQ(decoded.samples, std::vector<std::int16_t>(48000, 0));
}

TEST_F(BassSourceTest, AFreeFormatFirstFrameLeavesTheChannelModeUnknown) {
    const auto file = path("free.mp3");
    test::writeFileBytes(file, layer1Frames(50, true));
    BassSource source;
    ASSERT_TRUE(source.open(file.string(), 44100));
    EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
    EXPECT_EQ(source.length(), 50u * 384 * 2);
    EXPECT_EQ(decodeAll(source).frames, 50u * 384);
}

TEST_F(BassSourceTest, ChannelModeIsReadAtTheGivenOffsetOnly) {
    const auto file = path("header.bin");
    Bytes bytes = {0x00, 0x00, 0xFF, 0xFB, 0x90, 0xC0, 0xFF, 0xFB, 0x00, 0x40};
    test::writeFileBytes(file, bytes);
    EXPECT_EQ(BassSource::channelModeAt(file.string(), 2), 3);
    EXPECT_EQ(BassSource::channelModeAt(file.string(), 6), AudioSource::kUnknownChannelMode);
    EXPECT_EQ(BassSource::channelModeAt(file.string(), 0), AudioSource::kUnknownChannelMode);
    EXPECT_EQ(BassSource::channelModeAt(file.string(), 8), AudioSource::kUnknownChannelMode);
    EXPECT_EQ(BassSource::channelModeAt(file.string(), std::nullopt),
              AudioSource::kUnknownChannelMode);
}

// ---------------------------------------------------------------------------------------------
// Raw ID3 tags

TEST_F(BassSourceTest, RawId3v2IsTheTagAsStoredInTheFile) {
    const std::string wav = generate("input.wav", kStereoSignal, 44100, 1.0, "-c:a pcm_s16le");
    const std::string mp3 = path("tagged.mp3").string();
    make("lame --quiet -b 128 --tt Title --ta Artist --id3v2-only " + shellQuote(wav) + " " +
         shellQuote(mp3));
    const Bytes file = test::readFileBytes(mp3);
    ASSERT_GT(file.size(), 10u);
    ASSERT_EQ(std::string(file.begin(), file.begin() + 3), "ID3");
    const std::size_t size = 10 + ((file[6] << 21) | (file[7] << 14) | (file[8] << 7) | file[9]);

    BassSource source;
    ASSERT_TRUE(source.open(mp3, 44100));
    const auto tag = source.id3v2Tag();
    EXPECT_EQ(Bytes(tag.begin(), tag.end()), Bytes(file.begin(), file.begin() + size));
    EXPECT_TRUE(source.id3v1Tag().empty());
    EXPECT_EQ(source.channelMode(), 1); // the header after the tag was found
    TagSet tags;
    EXPECT_TRUE(source.readTags(tags));
    EXPECT_EQ(tags.title, "Title");
    EXPECT_EQ(tags.artist, "Artist");
}

TEST_F(BassSourceTest, RawId3v1IsTheLast128Bytes) {
    const std::string wav = generate("input.wav", kMonoSignal, 44100, 1.0, "-c:a pcm_s16le");
    const std::string mp3 = path("tagged.mp3").string();
    make("lame --quiet -b 64 --tt Title --ta Artist --id3v1-only " + shellQuote(wav) + " " +
         shellQuote(mp3));
    const Bytes file = test::readFileBytes(mp3);
    BassSource source;
    ASSERT_TRUE(source.open(mp3, 44100));
    const auto tag = source.id3v1Tag();
    EXPECT_EQ(Bytes(tag.begin(), tag.end()), Bytes(file.end() - 128, file.end()));
    EXPECT_TRUE(source.id3v2Tag().empty());
    // The same bytes on a later request, and none after close.
    EXPECT_EQ(source.id3v1Tag().data(), tag.data());
    source.close();
    EXPECT_TRUE(source.id3v1Tag().empty());
    EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
    EXPECT_EQ(source.length(), 0u);
}

TEST_F(BassSourceTest, OnlyMp3FilesOfferRawTags) {
    const std::string wav = generate("input.wav", kMonoSignal, 44100, 1.0, "-c:a pcm_s16le");
    const std::string mp2 = path("tagged.mp2").string();
    make("lame --quiet -b 64 --tt Title --add-id3v2 " + shellQuote(wav) + " " + shellQuote(mp2));
    BassSource source;
    ASSERT_TRUE(source.open(mp2, 44100));
    EXPECT_EQ(source.sourceType(), Type::Stream);
    EXPECT_TRUE(source.id3v1Tag().empty());
    EXPECT_TRUE(source.id3v2Tag().empty());
    EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
}

// ---------------------------------------------------------------------------------------------
// Tracker modules

// A Scream Tracker 3 module with the same song: one pattern of 64 rows at speed 6 and 125 BPM.
Bytes screamTrackerModule() {
    Bytes out(0x60, 0);
    std::copy_n("velmora test", 12, out.begin());
    out[0x1C] = 0x1A;
    out[0x1D] = 16; // S3M module
    const auto putU16 = [&out](std::size_t at, std::uint32_t value) {
        out[at] = static_cast<std::uint8_t>(value);
        out[at + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    putU16(0x20, 2);      // orders
    putU16(0x22, 1);      // instruments
    putU16(0x24, 1);      // patterns
    putU16(0x28, 0x1320); // made by tracker version 3.20
    putU16(0x2A, 2);      // unsigned samples
    std::copy_n("SCRM", 4, out.begin() + 0x2C);
    out[0x30] = 64;   // global volume
    out[0x31] = 6;    // speed
    out[0x32] = 125;  // tempo
    out[0x33] = 0xB0; // stereo, master volume 48
    for (int channel = 0; channel < 32; ++channel)
        out[0x40 + static_cast<std::size_t>(channel)] =
            channel == 0 ? 0 : (channel == 1 ? 8 : 0xFF);
    out.insert(out.end(), {0x00, 0xFF}); // order list
    out.insert(out.end(), {0x07, 0x00}); // instrument at paragraph 7
    out.insert(out.end(), {0x0C, 0x00}); // pattern at paragraph 12
    out.resize(0x70, 0);
    Bytes instrument(80, 0);
    instrument[0] = 1; // sample
    const std::uint32_t dataParagraph = 0x110 / 16;
    instrument[0x0E] = static_cast<std::uint8_t>(dataParagraph);
    instrument[0x0F] = static_cast<std::uint8_t>(dataParagraph >> 8);
    instrument[0x10] = 0x00; // length 512
    instrument[0x11] = 0x02;
    instrument[0x18] = 0x00; // loop end 512
    instrument[0x19] = 0x02;
    instrument[0x1C] = 64;   // volume
    instrument[0x1F] = 1;    // looped
    instrument[0x20] = 0xAB; // C-4 speed 8363 Hz
    instrument[0x21] = 0x20;
    std::copy_n("SCRS", 4, instrument.begin() + 0x4C);
    out.insert(out.end(), instrument.begin(), instrument.end());
    out.resize(0xC0, 0);
    Bytes pattern = {0x00, 0x00, 0x20, 0x40, 0x01, 0x00}; // row 0: C-4, instrument 1
    pattern.resize(2 + 4 + 63, 0);
    pattern[0] = static_cast<std::uint8_t>(pattern.size());
    out.insert(out.end(), pattern.begin(), pattern.end());
    out.resize(0x110, 0);
    for (int i = 0; i < 512; ++i)
        out.push_back((i / 16) % 2 == 0 ? 0x60 : 0xA0);
    return out;
}

struct ModuleCase {
    const char* name;
    const char* file;
    Bytes (*build)();
    int renderRate;
};

class ModuleTest : public BassSourceTest, public ::testing::WithParamInterface<ModuleCase> {};

TEST_P(ModuleTest, RendersAtTheRenderRateForTheSongsLength) {
    const ModuleCase& c = GetParam();
    const auto file = path(c.file);
    test::writeFileBytes(file, c.build());
    BassSource source;
    ASSERT_TRUE(source.open(file.string(), c.renderRate));
    EXPECT_EQ(source.sourceType(), Type::Module);
    EXPECT_EQ(source.sampleRate(), c.renderRate);
    EXPECT_EQ(source.channels(), 2);
    EXPECT_EQ(source.bitsPerSample(), 16);
    const std::uint64_t frames = static_cast<std::uint64_t>(std::llround(7.68 * c.renderRate));
    EXPECT_EQ(source.length(), frames * 4);
    EXPECT_EQ(source.durationSeconds(), 7);
    // Not read from a file as it plays: the PCM rate stands for the bit rate.
    EXPECT_EQ(source.bitrateKbps(), 16 * c.renderRate * 2 / 1000);
    const Decoded decoded = decodeAll(source);
    EXPECT_EQ(decoded.frames, frames);
    EXPECT_TRUE(decoded.positionFollowed);
    EXPECT_GT(peak(decoded.samples), 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ModuleTest,
    ::testing::Values(ModuleCase{"ProTracker", "song.mod", &proTrackerModule, 44100},
                      ModuleCase{"ProTrackerAt22050", "song.mod", &proTrackerModule, 22050},
                      // The module loader is tried when no stream decoder takes the file.
                      ModuleCase{"ProTrackerOddName", "song.dat", &proTrackerModule, 44100},
                      ModuleCase{"ScreamTracker3", "song.s3m", &screamTrackerModule, 48000}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// MIDI

class MidiTest : public BassSourceTest {
protected:
    void SetUp() override {
        BassSourceTest::SetUp();
        unsetenv(MidiSoundFont::kPathVariable);
        MidiSoundFont::clear();
    }
    void TearDown() override {
        unsetenv(MidiSoundFont::kPathVariable);
        MidiSoundFont::clear();
        BassSourceTest::TearDown();
    }
};

class MidiRateTest : public MidiTest, public ::testing::WithParamInterface<int> {};

TEST_P(MidiRateTest, RendersAtTheRenderRateForTheSongsLength) {
    const int rate = GetParam();
    ASSERT_TRUE(MidiSoundFont::ensureDefault());
    const auto file = path("song.mid");
    const Bytes song = midiSong();
    test::writeFileBytes(file, song);
    BassSource source;
    ASSERT_TRUE(source.open(file.string(), rate));
    EXPECT_EQ(source.sourceType(), Type::Midi);
    EXPECT_EQ(source.sampleRate(), rate);
    EXPECT_EQ(source.channels(), 2);
    // 1.5 s to the last event and one second for the notes to die away.
    const std::uint64_t frames = static_cast<std::uint64_t>(std::llround(2.5 * rate));
    EXPECT_EQ(source.length(), frames * 4);
    EXPECT_EQ(source.durationSeconds(), 2);
    EXPECT_EQ(source.bitrateKbps(), static_cast<int>(song.size() / (2.5 * 125) + 0.5));
    const Decoded decoded = decodeAll(source);
    EXPECT_EQ(decoded.frames, frames);
    EXPECT_EQ(decoded.samples.size(), frames * 2);
    EXPECT_TRUE(decoded.positionFollowed);
    EXPECT_EQ(source.position(), source.length());
    // Sound in the first second, where the first chord plays.
    const std::vector<std::int16_t> first(decoded.samples.begin(),
                                          decoded.samples.begin() + 2 * rate);
    EXPECT_GT(peak(first), 1000);
}

INSTANTIATE_TEST_SUITE_P(Rates, MidiRateTest, ::testing::Values(44100, 8000));

TEST_F(MidiTest, WithoutASoundFontTheSongKeepsItsLengthAndIsSilent) {
    setenv(MidiSoundFont::kPathVariable, "", 1);
    ASSERT_FALSE(MidiSoundFont::ensureDefault());
    const auto file = path("song.kar");
    test::writeFileBytes(file, midiSong());
    BassSource source;
    ASSERT_TRUE(source.open(file.string(), 22050));
    EXPECT_EQ(source.length(), static_cast<std::uint64_t>(std::llround(2.5 * 22050)) * 4);
    const Decoded decoded = decodeAll(source);
    EXPECT_EQ(decoded.frames * 4, source.length());
    EXPECT_EQ(peak(decoded.samples), 0);
}

TEST_F(MidiTest, MidiFilesTakeNoOtherRoute) {
    // A WAV file named .mid is not a MIDI file, and no other decoder is asked.
    const std::string wav = generate("a.mid", kMonoSignal, 44100, 0.5, "-f wav -c:a pcm_s16le");
    BassSource source;
    EXPECT_FALSE(source.open(wav, 44100));
    // A render rate the synthesizer cannot run at fails the open.
    test::writeFileBytes(path("song.mid"), midiSong());
    EXPECT_FALSE(source.open(path("song.mid").string(), 200000));
}

// ---------------------------------------------------------------------------------------------
// Through the factory and the command line

TEST_F(BassSourceTest, TheFactoryBuildsIt) {
    auto source = SourceFactory::create(DecoderId::Bass, true);
    ASSERT_NE(source, nullptr);
    EXPECT_NE(dynamic_cast<BassSource*>(source.get()), nullptr);
}

TEST_F(BassSourceTest, CommandLineDecodeWritesWhatTheSourceDelivers) {
    const std::string flac = generate("a.flac", kSixChannelSignal, 44100, 0.7, "-c:a flac");
    const std::string raw = path("out.raw").string();
    std::string output;
    ASSERT_EQ(test::runCommand(std::string(VELMORA_CLI_PATH) + " decode --decoder bass " +
                                   shellQuote(flac) + " -o " + shellQuote(raw),
                               &output),
              0);
    EXPECT_NE(output.find("\"decoder\":\"bass\""), std::string::npos) << output;
    EXPECT_NE(output.find("\"maxFramesPerRead\":384"), std::string::npos) << output;
    EXPECT_EQ(test::readS16LE(raw), firstTwoChannels(ffmpegS16(flac), 6));
}

TEST_F(BassSourceTest, FlacCommentsComeThroughReadTags) {
    const std::string flac =
        generate("a.flac", kMonoSignal, 44100, 0.5,
                 "-c:a flac -metadata title=Caf\xC3\xA9 -metadata artist=Someone");
    BassSource source;
    ASSERT_TRUE(source.open(flac, 44100));
    TagSet tags;
    EXPECT_TRUE(source.readTags(tags));
    EXPECT_EQ(tags.title, "Caf\xC3\xA9");
    EXPECT_EQ(tags.artist, "Someone");
}

// ---------------------------------------------------------------------------------------------
// Foreign, damaged and cut files

TEST_F(BassSourceTest, RejectsFilesNoDecoderTakes) {
    std::mt19937 random(3);
    Bytes noise(40000);
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    for (const char* name : {"noise.mp3", "noise.wav", "noise.flac", "noise.wv", "noise.ogg",
                             "noise.mod", "noise.s3m", "noise.mid", "noise.rmi", "empty.mp3"}) {
        test::writeFileBytes(path(name), std::string(name) == "empty.mp3" ? Bytes{} : noise);
        BassSource source;
        EXPECT_FALSE(source.open(path(name).string(), 44100)) << name;
        EXPECT_EQ(source.read(nullptr, nullptr), 0);
    }
    BassSource source;
    EXPECT_FALSE(source.open(root().string(), 44100)); // a folder
    EXPECT_FALSE(source.open(path("missing.mp3").string(), 44100));
}

TEST_F(BassSourceTest, CutFilesOpenShorterOrNotAtAllAndEndCleanly) {
    const std::string wav = generate("input.wav", kStereoSignal, 44100, 2.0, "-c:a pcm_s16le");
    make("lame --quiet -b 128 " + shellQuote(wav) + " " + shellQuote(path("whole.mp3").string()));
    make("flac -s -f -o " + shellQuote(path("whole.flac").string()) + " " + shellQuote(wav));
    make("wavpack -q -y " + shellQuote(wav) + " -o " + shellQuote(path("whole.wv").string()));
    test::writeFileBytes(path("whole.mid"), midiSong());
    test::writeFileBytes(path("whole.mod"), proTrackerModule());
    test::writeFileBytes(path("whole.s3m"), screamTrackerModule());
    for (const char* extension : {"mp3", "flac", "wv", "mid", "mod", "s3m"}) {
        const Bytes whole = test::readFileBytes(path(std::string("whole.") + extension));
        for (const double fraction : {0.03, 0.5, 0.97}) {
            const auto cut = path(std::string("cut.") + extension);
            test::writeFileBytes(
                cut, Bytes(whole.begin(),
                           whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * fraction)));
            BassSource source;
            const bool opened = source.open(cut.string(), 44100);
            // Half a file or more still has audio to give; a few percent may be refused.
            EXPECT_TRUE(opened || fraction < 0.1) << extension << " " << fraction;
            if (!opened)
                continue;
            const Decoded decoded = decodeAll(source);
            EXPECT_TRUE(decoded.positionFollowed) << extension << " " << fraction;
            EXPECT_LE(source.position(), source.length()) << extension << " " << fraction;
            if (fraction >= 0.5) {
                EXPECT_GT(decoded.frames, 0u) << extension << " " << fraction;
            }
            // Lengths found by scanning the frames or the events are what the stream gives;
            // the containers that state a length in their header end early instead.
            const std::string kind = extension;
            if (kind == "mp3" || kind == "mid") {
                EXPECT_EQ(source.position(), source.length()) << extension << " " << fraction;
            }
        }
    }
}

TEST_F(BassSourceTest, DamagedFilesDecodeSafely) {
    const std::string wav = generate("input.wav", kStereoSignal, 44100, 1.0, "-c:a pcm_s16le");
    make("lame --quiet -b 128 " + shellQuote(wav) + " " + shellQuote(path("whole.mp3").string()));
    make("flac -s -f -o " + shellQuote(path("whole.flac").string()) + " " + shellQuote(wav));
    test::writeFileBytes(path("whole.mid"), midiSong());
    test::writeFileBytes(path("whole.mod"), proTrackerModule());
    std::mt19937 random(5);
    for (const char* extension : {"mp3", "flac", "mid", "mod"}) {
        const Bytes whole = test::readFileBytes(path(std::string("whole.") + extension));
        for (int round = 0; round < 12; ++round) {
            Bytes damaged = whole;
            for (int i = 0; i < 40; ++i)
                damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
            const auto file = path(std::string("damaged.") + extension);
            test::writeFileBytes(file, damaged);
            BassSource source;
            if (source.open(file.string(), 22050)) {
                const Decoded decoded = decodeAll(source);
                EXPECT_LE(source.position(), source.length()) << extension;
                EXPECT_TRUE(decoded.positionFollowed) << extension;
            }
        }
    }
}

} // namespace
} // namespace velmora
