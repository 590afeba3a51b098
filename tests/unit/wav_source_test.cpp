// Tests of the program's own WAV reader: every sample format compared sample by
// sample with FFmpeg (or with the documented conversion rule applied to FFmpeg's lossless
// output), the chunk walk and its edge cases on synthetic bytes, the stream description
// formulas, the rejections, and malformed input (run under the sanitizer build too).

#include "sources/wav_source.h"
#include "tests/unit/source_decoding.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

using test::appendText;
using test::appendU16LE;
using test::appendU32LE;
using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------------------------
// Building synthetic files

Bytes chunk(const std::string& id, const Bytes& body, bool pad = true) {
    Bytes out;
    appendText(out, id);
    appendU32LE(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (pad && body.size() % 2 != 0)
        out.push_back(0);
    return out;
}

// A chunk whose size field says `claimedSize` whatever the body holds.
Bytes chunkClaiming(const std::string& id, std::uint32_t claimedSize, const Bytes& body) {
    Bytes out;
    appendText(out, id);
    appendU32LE(out, claimedSize);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes riffWave(const std::vector<Bytes>& chunks) {
    Bytes body;
    appendText(body, "WAVE");
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    Bytes out;
    appendText(out, "RIFF");
    appendU32LE(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// The 16-byte base fmt record followed by `extra` (cbSize and beyond, when given).
Bytes fmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
              std::uint16_t blockAlign, std::uint16_t bits, const Bytes& extra = {}) {
    Bytes out;
    appendU16LE(out, tag);
    appendU16LE(out, channels);
    appendU32LE(out, rate);
    appendU32LE(out, rate * blockAlign);
    appendU16LE(out, blockAlign);
    appendU16LE(out, bits);
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

Bytes pcmFmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
             std::uint16_t tag = 1) {
    return chunk("fmt ", fmtBody(tag, channels, rate,
                                 static_cast<std::uint16_t>(channels * bits / 8), bits));
}

// WAVE_FORMAT_EXTENSIBLE with the given sub-format tag (1 PCM, 3 float, 6 A-law ...).
Bytes extensibleFmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                    std::uint32_t subFormat, std::uint16_t cbSize = 22) {
    Bytes extra;
    appendU16LE(extra, cbSize);
    appendU16LE(extra, bits);                        // valid bits
    appendU32LE(extra, channels == 1 ? 0x4u : 0x3u); // channel mask
    appendU32LE(extra, subFormat);                   // GUID Data1
    extra.insert(extra.end(),
                 {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    return chunk("fmt ", fmtBody(0xFFFE, channels, rate,
                                 static_cast<std::uint16_t>(channels * bits / 8), bits, extra));
}

Bytes msAdpcmFmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
                 std::uint16_t samplesPerBlock, std::uint16_t coefficientCount = 7,
                 std::size_t pairsWritten = 7) {
    static constexpr std::array<std::array<int, 2>, 7> kStandard = {
        {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}}};
    Bytes extra;
    appendU16LE(extra, static_cast<std::uint32_t>(4 + 4 * pairsWritten));
    appendU16LE(extra, samplesPerBlock);
    appendU16LE(extra, coefficientCount);
    for (std::size_t i = 0; i < pairsWritten; ++i) {
        const auto& pair = kStandard[i % kStandard.size()];
        appendU16LE(extra, static_cast<std::uint16_t>(pair[0]));
        appendU16LE(extra, static_cast<std::uint16_t>(pair[1]));
    }
    return chunk("fmt ", fmtBody(2, channels, rate, blockAlign, 4, extra));
}

Bytes imaAdpcmFmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
                  std::uint16_t samplesPerBlock, std::uint16_t bits = 4, std::uint16_t cbSize = 2) {
    Bytes extra;
    appendU16LE(extra, cbSize);
    appendU16LE(extra, samplesPerBlock);
    return chunk("fmt ", fmtBody(0x11, channels, rate, blockAlign, bits, extra));
}

Bytes gsmFmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign = 65,
             std::uint16_t samplesPerBlock = 320, std::uint16_t cbSize = 2) {
    Bytes extra;
    appendU16LE(extra, cbSize);
    appendU16LE(extra, samplesPerBlock);
    return chunk("fmt ", fmtBody(0x31, channels, rate, blockAlign, 0, extra));
}

Bytes le16Samples(const std::vector<int>& samples) {
    Bytes out;
    for (const int s : samples)
        appendU16LE(out, static_cast<std::uint16_t>(s));
    return out;
}

Bytes le32Floats(const std::vector<float>& values) {
    Bytes out;
    for (const float v : values)
        appendU32LE(out, std::bit_cast<std::uint32_t>(v));
    return out;
}

Bytes le64Doubles(const std::vector<double>& values) {
    Bytes out;
    for (const double v : values) {
        const auto bits = std::bit_cast<std::uint64_t>(v);
        appendU32LE(out, static_cast<std::uint32_t>(bits));
        appendU32LE(out, static_cast<std::uint32_t>(bits >> 32));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Decoding to the end

struct Decoded {
    bool opened = false;
    int outChannels = 0;
    int bitsPerSample = 0;
    std::vector<int> samples; // interleaved: left, right, left, right ... (left only when mono)
    std::uint64_t frames = 0;
    int largestRead = 0;
};

// Reads until read() returns 0 or less; fails the test when a read exceeds 1152 frames or the
// stream never ends.
Decoded decodeAll(WavSource& source) {
    const test::DecodedPcm pcm = test::decodeSource(source, 10'000'000);
    EXPECT_LE(pcm.largestRead, AudioSource::kMaxFramesPerRead);
    if (!pcm.ended && pcm.largestRead <= AudioSource::kMaxFramesPerRead)
        ADD_FAILURE() << "read() never ended";
    return {true,         pcm.outChannels, pcm.bitsPerSample, pcm.interleaved(),
            pcm.frames(), pcm.largestRead};
}

Decoded decodeFile(const std::filesystem::path& file) {
    WavSource source;
    if (!source.open(file.string(), 0))
        return {};
    return decodeAll(source);
}

// ---------------------------------------------------------------------------------------------
// The independent decoder: FFmpeg

int runFfmpeg(const std::string& arguments) {
    return test::runCommand("ffmpeg -nostdin -hide_banner -v error -y " + arguments);
}

// What FFmpeg is asked to decode to, and how that becomes the expected delivered sample.
enum class Reference {
    U8,      // unsigned 8-bit as stored
    S16,     // FFmpeg's own 16-bit output
    SoxS16,  // sox's 16-bit output (IMA ADPCM: FFmpeg computes the step differently, see below)
    S32Top,  // signed 32-bit (24-bit data left-justified), arithmetic shift right by 16
    F32Rule, // float: clamp, × 2147483647, truncate, shift right by 16
    F64Rule,
};

// The documented float rule, written independently of the reader.
int floatRule(double value) {
    if (std::isnan(value))
        return 0;
    if (value > 1.0)
        value = 1.0;
    if (value < -1.0)
        value = -1.0;
    const auto scaled = static_cast<long long>(std::trunc(value * 2147483647.0));
    return static_cast<int>(std::floor(static_cast<double>(scaled) / 65536.0));
}

// Decodes `file` with FFmpeg and returns the samples the reader must deliver for it: channels 0
// and 1 (channel 0 only for mono), interleaved.
std::vector<int> referenceSamples(const std::filesystem::path& file, Reference reference,
                                  int channels, const std::filesystem::path& rawFile) {
    if (reference == Reference::SoxS16) {
        // FFmpeg's adpcm_ima_wav decoder forms the difference as ((2n + 1) × step) >> 3, which
        // differs by a few steps from the IMA reference form (step/8 + step/4 + ...) that our
        // reader uses, as sox and libsndfile do. -D: no dither.
        EXPECT_EQ(test::runCommand("sox -D " + test::shellQuote(file.string()) +
                                   " -t raw -e signed-integer -b 16 -L " +
                                   test::shellQuote(rawFile.string())),
                  0);
    }
    std::string format;
    switch (reference) {
    case Reference::SoxS16:
        break;
    case Reference::U8:
        format = "-f u8 -c:a pcm_u8";
        break;
    case Reference::S16:
        format = "-f s16le -c:a pcm_s16le";
        break;
    case Reference::S32Top:
        format = "-f s32le -c:a pcm_s32le";
        break;
    case Reference::F32Rule:
        format = "-f f32le -c:a pcm_f32le";
        break;
    case Reference::F64Rule:
        format = "-f f64le -c:a pcm_f64le";
        break;
    }
    if (!format.empty()) {
        EXPECT_EQ(runFfmpeg("-i " + test::shellQuote(file.string()) + " " + format + " " +
                            test::shellQuote(rawFile.string())),
                  0);
    }
    const Bytes raw = test::readFileBytes(rawFile);
    std::vector<int> all;
    switch (reference) {
    case Reference::U8:
        all.assign(raw.begin(), raw.end());
        break;
    case Reference::S16:
    case Reference::SoxS16:
        for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
            all.push_back(static_cast<std::int16_t>(raw[i] | (raw[i + 1] << 8)));
        break;
    case Reference::S32Top:
        for (std::size_t i = 0; i + 3 < raw.size(); i += 4) {
            std::uint32_t bits = 0;
            std::memcpy(&bits, &raw[i], 4);
            all.push_back(static_cast<std::int32_t>(bits) >> 16);
        }
        break;
    case Reference::F32Rule:
        for (std::size_t i = 0; i + 3 < raw.size(); i += 4) {
            float value = 0;
            std::memcpy(&value, &raw[i], 4);
            all.push_back(floatRule(value));
        }
        break;
    case Reference::F64Rule:
        for (std::size_t i = 0; i + 7 < raw.size(); i += 8) {
            double value = 0;
            std::memcpy(&value, &raw[i], 8);
            all.push_back(floatRule(value));
        }
        break;
    }
    std::vector<int> picked;
    const auto step = static_cast<std::size_t>(channels);
    for (std::size_t frame = 0; frame + step <= all.size(); frame += step) {
        picked.push_back(all[frame]);
        if (channels >= 2)
            picked.push_back(all[frame + 1]);
    }
    return picked;
}

// Distinct signals per channel (channel 0 goes a little beyond full scale, which exercises the
// clamps of the float rule and the ADPCM encoders).
std::string lavfiSource(int channels, int rate, double seconds) {
    static const std::array<std::string, 6> kExpressions = {
        "0.95*sin(2*PI*440*t)+0.3*sin(2*PI*3100*t)",
        "0.6*sin(2*PI*660*t)*cos(2*PI*3*t)",
        "0.2*sin(2*PI*150*t)",
        "0.25*sin(2*PI*220*t)",
        "0.3*sin(2*PI*330*t)",
        "0.35*sin(2*PI*5000*t)"};
    std::string expressions;
    for (int c = 0; c < channels; ++c)
        expressions += (c ? "|" : "") + kExpressions[static_cast<std::size_t>(c)];
    return "-f lavfi -i " +
           test::shellQuote("aevalsrc=exprs=" + expressions + ":s=" + std::to_string(rate) +
                            ":d=" + std::to_string(seconds));
}

std::uint16_t formatTagOf(const Bytes& file) {
    // Every fixture FFmpeg writes starts with RIFF, WAVE and the fmt chunk.
    return file.size() >= 22 ? static_cast<std::uint16_t>(file[20] | (file[21] << 8)) : 0;
}

class WavSourceTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ASSERT_TRUE(test::haveTool("ffmpeg")) << "ffmpeg is installed by scripts/install-deps";
    }

    std::filesystem::path write(const std::string& name, const Bytes& bytes) {
        const auto file = path(name);
        test::writeFileBytes(file, bytes);
        return file;
    }

    // Encodes the test signal with FFmpeg.
    std::filesystem::path encode(const std::string& name, const std::string& codecArguments,
                                 int channels, int rate, double seconds) {
        const auto file = path(name);
        EXPECT_EQ(runFfmpeg(lavfiSource(channels, rate, seconds) + " " + codecArguments + " " +
                            test::shellQuote(file.string())),
                  0);
        return file;
    }

    // Small valid files of every family, the starting points for damage.
    std::vector<Bytes> seedFiles(double seconds) {
        const std::array<std::pair<const char*, int>, 7> codecs = {{
            {"-c:a pcm_s16le", 2},
            {"-c:a pcm_u8", 3},
            {"-c:a pcm_f32le", 1},
            {"-c:a pcm_alaw", 2},
            {"-c:a adpcm_ms -block_size 256", 2},
            {"-c:a adpcm_ima_wav -block_size 256", 1},
            {"-c:a libgsm_ms", 1},
        }};
        std::vector<Bytes> seeds;
        for (const auto& [codec, channels] : codecs)
            seeds.push_back(
                test::readFileBytes(encode("seed.wav", codec, channels, 8000, seconds)));
        return seeds;
    }
};

// ---------------------------------------------------------------------------------------------
// Every format, compared with FFmpeg

struct FormatCase {
    const char* name;
    const char* codecArguments; // FFmpeg encoder options for the fixture
    int channels;
    int rate;
    Reference reference;
    std::uint16_t expectedTag; // the fmt tag FFmpeg writes, so that the case covers what it says
    bool viaSox;               // re-encode FFmpeg's 16-bit output with sox, GSM only
};

class WavFormatTest : public WavSourceTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(WavFormatTest, DecodesExactlyAsTheReference) {
    const FormatCase& c = GetParam();
    std::filesystem::path file;
    if (c.viaSox) {
        ASSERT_TRUE(test::haveTool("sox"));
        const auto pcm = encode("pcm.wav", "-c:a pcm_s16le", c.channels, c.rate, 1.03);
        file = path("fixture.wav");
        ASSERT_EQ(test::runCommand("sox " + test::shellQuote(pcm.string()) + " " +
                                   c.codecArguments + " " + test::shellQuote(file.string())),
                  0);
    } else {
        file = encode("fixture.wav", c.codecArguments, c.channels, c.rate, 1.03);
    }
    ASSERT_EQ(formatTagOf(test::readFileBytes(file)), c.expectedTag);

    const std::vector<int> expected =
        referenceSamples(file, c.reference, c.channels, path("reference.raw"));
    ASSERT_FALSE(expected.empty());

    WavSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(source.channels(), c.channels);
    EXPECT_EQ(source.outChannels(), c.channels == 1 ? 1 : 2);
    EXPECT_EQ(source.sampleRate(), c.rate);
    EXPECT_EQ(source.bitsPerSample(), c.reference == Reference::U8 ? 8 : 16);
    EXPECT_EQ(source.bytesPerSample(), source.bitsPerSample() / 8);
    EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
    const Decoded decoded = decodeAll(source);

    const int outChannels = c.channels == 1 ? 1 : 2;
    EXPECT_EQ(decoded.frames, expected.size() / static_cast<std::size_t>(outChannels));
    EXPECT_EQ(decoded.largestRead, AudioSource::kMaxFramesPerRead);
    EXPECT_EQ(decoded.samples.size(), expected.size());
    EXPECT_TRUE(decoded.samples == expected)
        << "first difference at sample "
        << (std::mismatch(decoded.samples.begin(), decoded.samples.end(), expected.begin(),
                          expected.end())
                .first -
            decoded.samples.begin());
    EXPECT_EQ(source.position(), source.length());
    EXPECT_EQ(source.durationSeconds(),
              static_cast<int>(decoded.frames / static_cast<std::uint64_t>(c.rate)));
}

const FormatCase kFormatCases[] = {
    {"u8_mono", "-c:a pcm_u8", 1, 44100, Reference::U8, 1, false},
    {"u8_stereo", "-c:a pcm_u8", 2, 22050, Reference::U8, 1, false},
    {"s16_mono", "-c:a pcm_s16le", 1, 44100, Reference::S16, 1, false},
    {"s16_stereo", "-c:a pcm_s16le", 2, 48000, Reference::S16, 1, false},
    {"s16_six_channels", "-c:a pcm_s16le", 6, 44100, Reference::S16, 0xFFFE, false},
    {"s24_mono", "-c:a pcm_s24le", 1, 44100, Reference::S32Top, 0xFFFE, false},
    {"s24_stereo", "-c:a pcm_s24le", 2, 44100, Reference::S32Top, 0xFFFE, false},
    {"s32_mono", "-c:a pcm_s32le", 1, 32000, Reference::S32Top, 0xFFFE, false},
    {"s32_stereo", "-c:a pcm_s32le", 2, 44100, Reference::S32Top, 0xFFFE, false},
    {"f32_mono_extensible", "-c:a pcm_f32le", 1, 44100, Reference::F32Rule, 0xFFFE, false},
    {"f32_stereo_extensible", "-c:a pcm_f32le", 2, 44100, Reference::F32Rule, 0xFFFE, false},
    {"f64_mono_extensible", "-c:a pcm_f64le", 1, 44100, Reference::F64Rule, 0xFFFE, false},
    {"f64_stereo_extensible", "-c:a pcm_f64le", 2, 48000, Reference::F64Rule, 0xFFFE, false},
    {"alaw_mono", "-c:a pcm_alaw", 1, 8000, Reference::S16, 6, false},
    {"alaw_stereo", "-c:a pcm_alaw", 2, 44100, Reference::S16, 6, false},
    {"mulaw_mono", "-c:a pcm_mulaw", 1, 8000, Reference::S16, 7, false},
    {"mulaw_stereo", "-c:a pcm_mulaw", 2, 44100, Reference::S16, 7, false},
    {"ms_adpcm_mono", "-c:a adpcm_ms", 1, 22050, Reference::S16, 2, false},
    {"ms_adpcm_stereo", "-c:a adpcm_ms", 2, 44100, Reference::S16, 2, false},
    {"ms_adpcm_stereo_small_blocks", "-c:a adpcm_ms -block_size 256", 2, 8000, Reference::S16, 2,
     false},
    {"ima_adpcm_mono", "-c:a adpcm_ima_wav", 1, 22050, Reference::SoxS16, 0x11, false},
    {"ima_adpcm_stereo", "-c:a adpcm_ima_wav", 2, 44100, Reference::SoxS16, 0x11, false},
    {"ima_adpcm_stereo_small_blocks", "-c:a adpcm_ima_wav -block_size 256", 2, 8000,
     Reference::SoxS16, 0x11, false},
    {"gsm_ffmpeg", "-c:a libgsm_ms", 1, 8000, Reference::S16, 0x31, false},
    {"gsm_sox", "-e gsm-full-rate", 1, 8000, Reference::S16, 0x31, true},
};

INSTANTIATE_TEST_SUITE_P(Formats, WavFormatTest, ::testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Conversion rules on synthetic data

TEST_F(WavSourceTest, PlainIntegerFloatAndExtensibleFollowTheConversionRules) {
    struct Case {
        const char* name;
        Bytes file;
        int outChannels;
        int bits;
        std::vector<int> expected;
    };
    const Bytes s24 = {0x11, 0x22, 0x33, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0xAB, 0xFF, 0x7F};
    const Bytes s32 = {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F,
                       0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    const std::vector<float> floats = {0.0f,
                                       0.5f,
                                       -0.5f,
                                       1.0f,
                                       -1.0f,
                                       1.5f,
                                       -3.0f,
                                       NAN,
                                       std::numeric_limits<float>::infinity(),
                                       -std::numeric_limits<float>::infinity(),
                                       1e30f,
                                       0.25f};
    const std::vector<int> floatsExpected = {0,      16383, -16384, 32767,  -32768, 32767,
                                             -32768, 0,     32767,  -32768, 32767,  8191};
    std::vector<double> doubles(floats.begin(), floats.end());
    doubles.push_back(1.0000001);
    doubles.push_back(-0.9999999);
    std::vector<int> doublesExpected = floatsExpected;
    doublesExpected.push_back(32767);
    doublesExpected.push_back(floatRule(-0.9999999));

    const std::vector<Case> cases = {
        {"8-bit stereo, unsigned bytes as stored",
         riffWave({pcmFmt(2, 8000, 8), chunk("data", {0, 255, 128, 1, 77, 200})}),
         2,
         8,
         {0, 255, 128, 1, 77, 200}},
        {"16-bit tag 1",
         riffWave({pcmFmt(1, 8000, 16), chunk("data", le16Samples({-32768, 32767, 1, -1}))}),
         1,
         16,
         {-32768, 32767, 1, -1}},
        {"24-bit tag 1, top two bytes",
         riffWave({pcmFmt(1, 8000, 24), chunk("data", s24)}),
         1,
         16,
         {0x3322, -1, -32768, 0x7FFF}},
        {"24-bit extensible, top two bytes",
         riffWave({extensibleFmt(2, 8000, 24, 1), chunk("data", s24)}),
         2,
         16,
         {0x3322, -1, -32768, 0x7FFF}},
        {"32-bit tag 1, shifted right by 16",
         riffWave({pcmFmt(2, 8000, 32), chunk("data", s32)}),
         2,
         16,
         {-32768, 32767, 0, -1}},
        {"32-bit extensible",
         riffWave({extensibleFmt(1, 8000, 32, 1), chunk("data", s32)}),
         1,
         16,
         {-32768, 32767, 0, -1}},
        {"float32 tag 3, clamped",
         riffWave({pcmFmt(1, 8000, 32, 3), chunk("data", le32Floats(floats))}), 1, 16,
         floatsExpected},
        {"float32 extensible, clamped",
         riffWave({extensibleFmt(1, 8000, 32, 3), chunk("data", le32Floats(floats))}), 1, 16,
         floatsExpected},
        {"float64 tag 3, clamped",
         riffWave({pcmFmt(2, 8000, 64, 3), chunk("data", le64Doubles(doubles))}), 2, 16,
         doublesExpected},
        {"float64 extensible",
         riffWave({extensibleFmt(2, 8000, 64, 3), chunk("data", le64Doubles(doubles))}), 2, 16,
         doublesExpected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decodeFile(write("case.wav", c.file));
        ASSERT_TRUE(decoded.opened);
        EXPECT_EQ(decoded.outChannels, c.outChannels);
        EXPECT_EQ(decoded.bitsPerSample, c.bits);
        EXPECT_EQ(decoded.samples, c.expected);
    }
}

TEST_F(WavSourceTest, FloatRuleOnFfmpegDataInAPlainTag3Header) {
    // FFmpeg writes float WAVs as extensible; wrap its raw float output in a tag-3 header.
    const auto raw = path("float.raw");
    ASSERT_EQ(runFfmpeg(lavfiSource(2, 44100, 0.5) + " -f f32le -c:a pcm_f32le " +
                        test::shellQuote(raw.string())),
              0);
    const Bytes data = test::readFileBytes(raw);
    const auto file = write("tag3.wav", riffWave({pcmFmt(2, 44100, 32, 3), chunk("data", data)}));
    std::vector<int> expected;
    for (std::size_t i = 0; i + 3 < data.size(); i += 4) {
        float value = 0;
        std::memcpy(&value, &data[i], 4);
        expected.push_back(floatRule(value));
    }
    EXPECT_EQ(decodeFile(file).samples, expected);
}

TEST_F(WavSourceTest, G711WithThreeChannelsDeliversChannelsZeroAndOne) {
    for (const std::uint16_t tag : {std::uint16_t{6}, std::uint16_t{7}}) {
        SCOPED_TRACE(tag);
        // Every code value in every channel position, plus a partial last frame of one sample.
        Bytes data;
        for (int i = 0; i < 3 * 256; ++i)
            data.push_back(static_cast<std::uint8_t>((i * 7) & 0xFF));
        const auto file =
            write("g711.wav",
                  riffWave({chunk("fmt ", fmtBody(tag, 3, 8000, 3, 8)), chunk("data", data)}));
        const std::vector<int> expected =
            referenceSamples(file, Reference::S16, 3, path("g711.raw"));
        ASSERT_EQ(expected.size(), 2u * 256u);
        WavSource source;
        ASSERT_TRUE(source.open(file.string(), 0));
        EXPECT_EQ(source.channels(), 3);
        EXPECT_EQ(source.outChannels(), 2);
        const Decoded decoded = decodeAll(source);
        EXPECT_EQ(decoded.samples, expected);
    }
}

TEST_F(WavSourceTest, SixChannel16BitDeliversChannelsZeroAndOne) {
    std::vector<int> interleaved;
    std::vector<int> expected;
    for (int frame = 0; frame < 3000; ++frame) {
        for (int c = 0; c < 6; ++c)
            interleaved.push_back(frame * 10 + c - 15000);
        expected.push_back(frame * 10 - 15000);
        expected.push_back(frame * 10 + 1 - 15000);
    }
    const auto file =
        write("six.wav", riffWave({pcmFmt(6, 44100, 16), chunk("data", le16Samples(interleaved))}));
    WavSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(source.channels(), 6);
    EXPECT_EQ(source.outChannels(), 2);
    EXPECT_EQ(source.bitsPerSample(), 16);
    const Decoded decoded = decodeAll(source);
    EXPECT_EQ(decoded.frames, 3000u);
    EXPECT_EQ(decoded.samples, expected);
}

TEST_F(WavSourceTest, PartialLastPcmFrameCountsAsStartedWithSilentRightChannel) {
    // Stereo 16-bit: two whole frames, then channel 0 of a third, then a stray byte.
    Bytes data = le16Samples({1, 2, 3, 4, 5});
    data.push_back(0x7F);
    const Decoded decoded =
        decodeFile(write("partial.wav", riffWave({pcmFmt(2, 8000, 16), chunk("data", data)})));
    EXPECT_EQ(decoded.frames, 3u);
    EXPECT_EQ(decoded.samples, (std::vector<int>{1, 2, 3, 4, 5, 0}));
}

// ---------------------------------------------------------------------------------------------
// The chunk walk

TEST_F(WavSourceTest, OddChunkPadByteAndNonLetterFillerArePassedOver) {
    const Bytes data = le16Samples({100, -100, 200, -200});
    Bytes filler = {0x00, 0x01, ' ', '9', '#', 0xFF};
    Bytes afterFmt = pcmFmt(1, 8000, 16);
    afterFmt.insert(afterFmt.end(), filler.begin(), filler.end());
    const Bytes file =
        riffWave({afterFmt, chunk("LIST", {'a', 'b', 'c'}), // pad byte follows
                  chunk("junk", {1, 2, 3, 4, 5}, /*pad=*/false), filler, chunk("data", data)});
    const Decoded decoded = decodeFile(write("walk.wav", file));
    ASSERT_TRUE(decoded.opened);
    EXPECT_EQ(decoded.samples, (std::vector<int>{100, -100, 200, -200}));
}

TEST_F(WavSourceTest, DataSizeZeroIsReadToTheEndOfTheFile) {
    std::vector<int> samples;
    for (int i = 0; i < 5000; ++i)
        samples.push_back((i * 37) % 30000 - 15000);
    const auto file =
        write("zero.wav",
              riffWave({pcmFmt(1, 8000, 16), chunkClaiming("data", 0, le16Samples(samples))}));
    WavSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(source.length(), 10000u);
    const Decoded decoded = decodeAll(source);
    EXPECT_EQ(decoded.samples, samples);
    EXPECT_EQ(source.position(), 10000u);
}

TEST_F(WavSourceTest, DataChunkClaimingMoreThanTheFileEndsAtTheEndOfTheFile) {
    std::vector<int> samples(1000, 1234);
    const auto file =
        write("long.wav",
              riffWave({pcmFmt(1, 8000, 16), chunkClaiming("data", 100000, le16Samples(samples))}));
    WavSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    // Duration and progress describe the 2000 bytes that are really there, not the claim.
    EXPECT_EQ(source.length(), 2000u);
    EXPECT_EQ(source.durationSeconds(), 0);
    EXPECT_EQ(source.bitrateKbps(), 128);
    const Decoded decoded = decodeAll(source);
    EXPECT_EQ(decoded.samples, samples);
    EXPECT_EQ(source.position(), 2000u);
}

TEST_F(WavSourceTest, HeaderStructureFailures) {
    const Bytes fmt = pcmFmt(1, 8000, 16);
    const Bytes data = chunk("data", le16Samples({1, 2}));
    Bytes notRiff = riffWave({fmt, data});
    notRiff[0] = 'X';
    Bytes notWave = riffWave({fmt, data});
    notWave[8] = 'A';
    Bytes lowerCaseId = riffWave({fmt, data});
    lowerCaseId[12] = 'F'; // "Fmt " is not "fmt "
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"data chunk before the fmt chunk", riffWave({data, fmt})},
        {"no data chunk", riffWave({fmt, chunk("LIST", {1, 2})})},
        {"no RIFF", notRiff},
        {"no WAVE", notWave},
        {"chunk ids are case-sensitive", lowerCaseId},
        {"no fmt chunk", riffWave({data})},
        {"empty file", {}},
        {"only filler after fmt", riffWave({fmt, Bytes(10, 0)})},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WavSource source;
        EXPECT_FALSE(source.open(write("bad.wav", bytes).string(), 0));
        EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
        EXPECT_EQ(source.sampleRate(), 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Stream description

TEST_F(WavSourceTest, FileShorterThanOneSecondReportsNominalBitRate) {
    const auto file =
        write("short.wav", riffWave({pcmFmt(2, 44100, 16), chunk("data", Bytes(44100 * 2, 0))}));
    WavSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(source.durationSeconds(), 0);
    EXPECT_EQ(source.bitrateKbps(), 16 * 2 * 44100 / 1000); // 1411
    EXPECT_EQ(source.length(), 44100u * 2u);
    EXPECT_EQ(source.position(), 0u);
}

TEST_F(WavSourceTest, DurationAndBitRateFormulas) {
    struct Case {
        const char* name;
        Bytes file;
        std::uint64_t length;
        int seconds;
        int kbps;
    };
    const std::vector<Case> cases = {
        // 20000 frames at 8000 Hz: 2 s (truncated); 20000 ÷ (2 × 125) = 80.
        {"8-bit mono", riffWave({pcmFmt(1, 8000, 8), chunk("data", Bytes(20000, 128))}), 20000, 2,
         80},
        // 163170 frames at 44100 Hz: 3 s; 652680 ÷ 375 = 1740.
        {"16-bit stereo", riffWave({pcmFmt(2, 44100, 16), chunk("data", Bytes(652680, 0))}), 652680,
         3, 1740},
        // 24-bit mono 48000 Hz, 300000 bytes: 100000 frames, 2 s; 300000 ÷ 250 = 1200.
        {"24-bit extensible",
         riffWave({extensibleFmt(1, 48000, 24, 1), chunk("data", Bytes(300000, 0))}), 300000, 2,
         1200},
        // MS ADPCM: 200 blocks of 256 bytes, 500 frames each: 100000 frames at 22050 Hz, 4 s;
        // 51200 ÷ 500 = 102.
        {"MS ADPCM", riffWave({msAdpcmFmt(1, 22050, 256, 500), chunk("data", Bytes(51200, 0))}),
         51200, 4, 102},
        // IMA ADPCM: 100 blocks of 1024 bytes, 2041 frames each: 204100 frames at 8000 Hz,
        // 25 s; 102400 ÷ 3125 = 32.
        {"IMA ADPCM", riffWave({imaAdpcmFmt(1, 8000, 1024, 2041), chunk("data", Bytes(102400, 0))}),
         102400, 25, 32},
        // GSM: 130 blocks of 65 bytes, 320 frames each: 41600 frames at 8000 Hz, 5 s;
        // 8450 ÷ 625 = 13.
        {"GSM", riffWave({gsmFmt(1, 8000), chunk("data", Bytes(8450, 0))}), 8450, 5, 13},
        // A-law, 3 channels: 24000 bytes = 8000 frames at 8000 Hz, 1 s; 24000 ÷ 125 = 192.
        {"A-law 3 channels",
         riffWave({chunk("fmt ", fmtBody(6, 3, 8000, 3, 8)), chunk("data", Bytes(24000, 0xD5))}),
         24000, 1, 192},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WavSource source;
        ASSERT_TRUE(source.open(write("formula.wav", c.file).string(), 0));
        EXPECT_EQ(source.length(), c.length);
        EXPECT_EQ(source.durationSeconds(), c.seconds);
        EXPECT_EQ(source.bitrateKbps(), c.kbps);
    }
}

TEST_F(WavSourceTest, CloseResetsEveryFieldAndOpenOnAnOpenObjectReopens) {
    const auto stereo = write(
        "stereo.wav", riffWave({pcmFmt(2, 44100, 16), chunk("data", le16Samples({1, 2, 3, 4}))}));
    const auto mono8 =
        write("mono8.wav", riffWave({pcmFmt(1, 8000, 8), chunk("data", {10, 20, 30})}));

    WavSource source;
    ASSERT_TRUE(source.open(stereo.string(), 0));
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> left{};
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> right{};
    EXPECT_EQ(source.read(left.data(), right.data()), 2);

    // Re-open without closing: the second file's description and samples, from its start.
    ASSERT_TRUE(source.open(mono8.string(), 0));
    EXPECT_EQ(source.channels(), 1);
    EXPECT_EQ(source.outChannels(), 1);
    EXPECT_EQ(source.bitsPerSample(), 8);
    EXPECT_EQ(source.bytesPerSample(), 1);
    EXPECT_EQ(source.sampleRate(), 8000);
    EXPECT_EQ(source.position(), 0u);
    EXPECT_EQ(decodeAll(source).samples, (std::vector<int>{10, 20, 30}));

    ASSERT_TRUE(source.open(stereo.string(), 0));
    source.close();
    EXPECT_EQ(source.length(), 0u);
    EXPECT_EQ(source.position(), 0u);
    EXPECT_EQ(source.durationSeconds(), 0);
    EXPECT_EQ(source.sampleRate(), 0);
    EXPECT_EQ(source.channels(), 0);
    EXPECT_EQ(source.outChannels(), 0);
    EXPECT_EQ(source.bitsPerSample(), 0);
    EXPECT_EQ(source.bytesPerSample(), 0);
    EXPECT_EQ(source.bitrateKbps(), 0);
    EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
    EXPECT_EQ(source.read(left.data(), right.data()), 0);

    // A failed open on an open object leaves it closed.
    ASSERT_TRUE(source.open(stereo.string(), 0));
    EXPECT_FALSE(source.open(path("missing.wav").string(), 0));
    EXPECT_EQ(source.sampleRate(), 0);
    EXPECT_EQ(source.read(left.data(), right.data()), 0);

    // And the object can still be opened again after all of that.
    ASSERT_TRUE(source.open(stereo.string(), 0));
    EXPECT_EQ(decodeAll(source).samples, (std::vector<int>{1, 2, 3, 4}));
}

// ---------------------------------------------------------------------------------------------
// Block formats: truncation and bad blocks

// Cuts the data chunk of a fixture `cut` bytes short (size field and file alike).
Bytes truncateData(const Bytes& file, std::size_t cut) {
    ByteReader in(file);
    const auto header = WavSource::parseHeader(in);
    EXPECT_TRUE(header.has_value());
    if (!header)
        return {};
    const auto sizeField = static_cast<std::size_t>(header->dataOffset - 4);
    const auto newSize = static_cast<std::uint32_t>(header->dataLength - cut);
    Bytes out(file.begin(),
              file.begin() + static_cast<std::ptrdiff_t>(header->dataOffset + newSize));
    for (int i = 0; i < 4; ++i)
        out[sizeField + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(newSize >> (8 * i));
    return out;
}

TEST_F(WavSourceTest, TruncatedLastBlockIsNotDelivered) {
    struct Case {
        const char* name;
        const char* codec;
        int channels;
        Reference reference;
    };
    for (const Case& c :
         {Case{"MS ADPCM", "-c:a adpcm_ms -block_size 256", 2, Reference::S16},
          Case{"IMA ADPCM", "-c:a adpcm_ima_wav -block_size 256", 1, Reference::SoxS16},
          Case{"GSM", "-c:a libgsm_ms", 1, Reference::S16}}) {
        SCOPED_TRACE(c.name);
        const auto full = encode("full.wav", c.codec, c.channels, 8000, 0.3);
        const Bytes fullBytes = test::readFileBytes(full);
        ByteReader in(fullBytes);
        const auto header = WavSource::parseHeader(in);
        ASSERT_TRUE(header.has_value());
        const std::size_t blockAlign = header->blockAlign;
        const std::size_t blocks = header->dataLength / blockAlign;
        ASSERT_GE(blocks, 3u);
        ASSERT_EQ(header->dataLength % blockAlign, 0u);

        const std::vector<int> reference =
            referenceSamples(full, c.reference, c.channels, path("full.raw"));
        const std::size_t samplesPerBlock = reference.size() / blocks;
        ASSERT_EQ(reference.size() % blocks, 0u);

        // One byte short of the whole: the last block is lost, the others are delivered.
        const auto cut = write("cut.wav", truncateData(fullBytes, 1));
        const std::vector<int> expected(
            reference.begin(), reference.end() - static_cast<std::ptrdiff_t>(samplesPerBlock));
        EXPECT_EQ(decodeFile(cut).samples, expected);

        // The data chunk intact but the file cut in the middle of its last block.
        Bytes shortFile = fullBytes;
        shortFile.resize(
            static_cast<std::size_t>(header->dataOffset + header->dataLength - blockAlign / 2));
        EXPECT_EQ(decodeFile(write("short.wav", shortFile)).samples, expected);
    }
}

// A two-block MS ADPCM stream (mono, 7 standard coefficients) whose blocks use the given
// predictor indices.
Bytes msAdpcmTwoBlocks(std::uint8_t firstPredictor, std::uint8_t secondPredictor) {
    constexpr std::uint16_t kBlockAlign = 32;
    constexpr std::uint16_t kSamplesPerBlock = 2 + 2 * (kBlockAlign - 7);
    Bytes data;
    for (const std::uint8_t predictor : {firstPredictor, secondPredictor}) {
        data.push_back(predictor);
        appendU16LE(data, 16);  // delta
        appendU16LE(data, 100); // sample 1
        appendU16LE(data, 50);  // sample 2
        for (int i = 7; i < kBlockAlign; ++i)
            data.push_back(static_cast<std::uint8_t>(0x17 * i));
    }
    return riffWave({msAdpcmFmt(1, 8000, kBlockAlign, kSamplesPerBlock), chunk("data", data)});
}

TEST_F(WavSourceTest, MsAdpcmPredictorBeyondTheCoefficientTableEndsTheStream) {
    constexpr std::uint64_t kSamplesPerBlock = 2 + 2 * (32 - 7);
    const Decoded good = decodeFile(write("good.wav", msAdpcmTwoBlocks(0, 6)));
    EXPECT_EQ(good.frames, 2 * kSamplesPerBlock);

    const Decoded secondBad = decodeFile(write("bad2.wav", msAdpcmTwoBlocks(0, 7)));
    ASSERT_TRUE(secondBad.opened);
    EXPECT_EQ(secondBad.frames, kSamplesPerBlock);
    EXPECT_TRUE(
        std::equal(secondBad.samples.begin(), secondBad.samples.end(), good.samples.begin()));

    const Decoded firstBad = decodeFile(write("bad1.wav", msAdpcmTwoBlocks(255, 0)));
    ASSERT_TRUE(firstBad.opened);
    EXPECT_EQ(firstBad.frames, 0u);
}

// ---------------------------------------------------------------------------------------------
// Rejections

TEST_F(WavSourceTest, RejectedFormats) {
    const Bytes data = chunk("data", Bytes(4096, 0));
    auto withData = [&](const Bytes& fmt) { return riffWave({fmt, data}); };
    Bytes badGuid = extensibleFmt(2, 44100, 16, 1);
    badGuid[8 + 16 + 2 + 2 + 4 + 4 + 11] ^= 0x01; // last byte of the GUID
    Bytes shortFmt = fmtBody(1, 1, 8000, 2, 16);
    shortFmt.pop_back();

    const std::vector<std::pair<std::string, Bytes>> cases = {
        // sample rate 0, any format
        {"PCM rate 0", withData(pcmFmt(1, 0, 16))},
        {"float rate 0", withData(pcmFmt(1, 0, 32, 3))},
        {"A-law rate 0", withData(chunk("fmt ", fmtBody(6, 1, 0, 1, 8)))},
        {"MS ADPCM rate 0", withData(msAdpcmFmt(1, 0, 256, 500))},
        {"IMA ADPCM rate 0", withData(imaAdpcmFmt(1, 0, 256, 505))},
        {"GSM rate 0", withData(gsmFmt(1, 0))},
        {"rate beyond int", withData(pcmFmt(1, 0x80000000u, 16))},
        // block align 0 for the block formats
        {"MS ADPCM block align 0", withData(msAdpcmFmt(1, 8000, 0, 500))},
        {"IMA ADPCM block align 0", withData(imaAdpcmFmt(1, 8000, 0, 505))},
        {"GSM block align 0", withData(gsmFmt(1, 8000, 0))},
        // channel counts
        {"PCM 0 channels", withData(pcmFmt(0, 8000, 16))},
        {"float 0 channels", withData(pcmFmt(0, 8000, 32, 3))},
        {"extensible 0 channels", withData(extensibleFmt(0, 8000, 24, 1))},
        {"A-law 0 channels", withData(chunk("fmt ", fmtBody(6, 0, 8000, 1, 8)))},
        {"mu-law 0 channels", withData(chunk("fmt ", fmtBody(7, 0, 8000, 1, 8)))},
        {"MS ADPCM 0 channels", withData(msAdpcmFmt(0, 8000, 256, 500))},
        {"IMA ADPCM 0 channels", withData(imaAdpcmFmt(0, 8000, 256, 505))},
        {"GSM 0 channels", withData(gsmFmt(0, 8000))},
        {"PCM 9 channels", withData(pcmFmt(9, 8000, 16))},
        {"PCM 65535 channels", withData(pcmFmt(0xFFFF, 8000, 8))},
        {"A-law 65535 channels", withData(chunk("fmt ", fmtBody(6, 0xFFFF, 8000, 1, 8)))},
        {"GSM 65535 channels", withData(gsmFmt(0xFFFF, 8000))},
        {"MS ADPCM 3 channels", withData(msAdpcmFmt(3, 8000, 256, 70))},
        {"IMA ADPCM 3 channels", withData(imaAdpcmFmt(3, 8000, 256, 17))},
        // samples per block that the block cannot hold
        {"MS ADPCM samples per block too many", withData(msAdpcmFmt(1, 8000, 256, 501))},
        {"MS ADPCM stereo samples per block too many", withData(msAdpcmFmt(2, 8000, 512, 501))},
        {"MS ADPCM samples per block below 2", withData(msAdpcmFmt(1, 8000, 256, 1))},
        {"MS ADPCM block smaller than its header", withData(msAdpcmFmt(2, 8000, 13, 2))},
        {"IMA ADPCM samples per block too many", withData(imaAdpcmFmt(1, 8000, 256, 506))},
        {"IMA ADPCM stereo samples per block too many", withData(imaAdpcmFmt(2, 8000, 256, 250))},
        {"IMA ADPCM samples per block 0", withData(imaAdpcmFmt(1, 8000, 256, 0))},
        {"IMA ADPCM 3-bit", withData(imaAdpcmFmt(1, 8000, 256, 505, 3))},
        {"IMA ADPCM cbSize below 2", withData(imaAdpcmFmt(1, 8000, 256, 505, 4, 1))},
        // MS ADPCM coefficient tables
        {"wNumCoef 0", withData(msAdpcmFmt(1, 8000, 256, 500, 0, 0))},
        {"wNumCoef 257", withData(msAdpcmFmt(1, 8000, 256, 500, 257, 257))},
        {"wNumCoef 65535 with 7 pairs", withData(msAdpcmFmt(1, 8000, 256, 500, 0xFFFF, 7))},
        {"wNumCoef beyond the chunk", withData(msAdpcmFmt(1, 8000, 256, 500, 8, 7))},
        // GSM
        {"GSM block align 64", withData(gsmFmt(1, 8000, 64))},
        {"GSM block align 130", withData(gsmFmt(1, 8000, 130))},
        {"GSM 321 samples per block", withData(gsmFmt(1, 8000, 65, 321))},
        {"GSM 160 samples per block", withData(gsmFmt(1, 8000, 65, 160))},
        {"GSM cbSize 0", withData(gsmFmt(1, 8000, 65, 320, 0))},
        {"GSM fmt chunk of 16 bytes", withData(chunk("fmt ", fmtBody(0x31, 1, 8000, 65, 0)))},
        // widths and tags
        {"PCM 12-bit", withData(pcmFmt(1, 8000, 12))},
        {"PCM 0-bit", withData(pcmFmt(1, 8000, 0))},
        {"PCM 64-bit", withData(pcmFmt(1, 8000, 64))},
        {"float 16-bit", withData(pcmFmt(1, 8000, 16, 3))},
        {"float 24-bit", withData(pcmFmt(1, 8000, 24, 3))},
        {"unknown tag (MPEG layer 3)", withData(chunk("fmt ", fmtBody(0x55, 2, 44100, 1, 0)))},
        {"fmt chunk shorter than 16 bytes", withData(chunk("fmt ", shortFmt))},
        // WAVE_FORMAT_EXTENSIBLE
        {"extensible A-law sub-format", withData(extensibleFmt(1, 8000, 8, 6))},
        {"extensible MS ADPCM sub-format", withData(extensibleFmt(1, 8000, 16, 2))},
        {"extensible float 24-bit", withData(extensibleFmt(1, 8000, 24, 3))},
        {"extensible PCM 20-bit container", withData(extensibleFmt(1, 8000, 20, 1))},
        {"extensible cbSize 21", withData(extensibleFmt(1, 8000, 16, 1, 21))},
        {"extensible GUID tail wrong", withData(badGuid)},
        {"extensible without its extension", withData(pcmFmt(1, 8000, 16, 0xFFFE))},
        // chunk sizes beyond the file
        {"fmt chunk size beyond the file",
         riffWave({chunkClaiming("fmt ", 0x7FFFFFF0, fmtBody(1, 1, 8000, 2, 16)), data})},
        {"other chunk size beyond the file",
         riffWave({pcmFmt(1, 8000, 16), chunkClaiming("LIST", 0xFFFFFFF0, {1, 2, 3, 4}), data})},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WavSource source;
        EXPECT_FALSE(source.open(write("rejected.wav", bytes).string(), 0));
        std::array<std::int16_t, AudioSource::kMaxFramesPerRead> left{};
        std::array<std::int16_t, AudioSource::kMaxFramesPerRead> right{};
        EXPECT_EQ(source.read(left.data(), right.data()), 0);
    }
}

TEST_F(WavSourceTest, AcceptedNearTheLimits) {
    // The counterparts of the rejections above that must still open.
    const Bytes data = chunk("data", Bytes(4096, 0));
    auto withData = [&](const Bytes& fmt) { return riffWave({fmt, data}); };
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"PCM 8 channels", withData(pcmFmt(8, 8000, 16))},
        {"A-law 8 channels", withData(chunk("fmt ", fmtBody(6, 8, 8000, 8, 8)))},
        {"MS ADPCM samples per block exactly filling the block",
         withData(msAdpcmFmt(1, 8000, 256, 500))},
        {"MS ADPCM stereo filling the block", withData(msAdpcmFmt(2, 8000, 512, 500))},
        {"MS ADPCM 256 coefficients", withData(msAdpcmFmt(1, 8000, 256, 500, 256, 256))},
        {"MS ADPCM fewer samples than the block holds", withData(msAdpcmFmt(1, 8000, 256, 100))},
        {"IMA ADPCM samples per block exactly filling the block",
         withData(imaAdpcmFmt(1, 8000, 256, 505))},
        {"IMA ADPCM samples per block not 1 + 8k", withData(imaAdpcmFmt(2, 8000, 256, 247))},
        {"GSM", withData(gsmFmt(1, 8000))},
        {"extensible PCM 16-bit", withData(extensibleFmt(2, 8000, 16, 1))},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        const Decoded decoded = decodeFile(write("accepted.wav", bytes));
        EXPECT_TRUE(decoded.opened);
    }
}

TEST_F(WavSourceTest, ImaAdpcmBlockWithSamplesPerBlockNotAWholeNumberOfGroups) {
    // 247 = 1 + 8 × 30 + 6: the last group of each block is only partly used. sox and
    // libsndfile refuse a wSamplesPerBlock below the block's capacity (249), so the reference
    // is sox's decoding of the unmodified file with the first 247 frames of each block kept:
    // decoding runs forward, so those frames do not depend on the count.
    const auto full = encode("ima.wav", "-c:a adpcm_ima_wav -block_size 256", 2, 8000, 0.2);
    Bytes bytes = test::readFileBytes(full);
    ByteReader in(bytes);
    const auto header = WavSource::parseHeader(in);
    ASSERT_TRUE(header.has_value());
    ASSERT_EQ(header->samplesPerBlock, 249);
    // wSamplesPerBlock sits after the 16-byte base record and cbSize: offset 20 + 16 + 2.
    bytes[38] = 247;
    bytes[39] = 0;
    const std::vector<int> reference =
        referenceSamples(full, Reference::SoxS16, 2, path("ima.raw"));
    ASSERT_EQ(reference.size(), header->dataLength / 256 * 249 * 2);
    std::vector<int> expected;
    for (std::size_t block = 0; block * 249 * 2 < reference.size(); ++block)
        for (std::size_t i = 0; i < 247 * 2; ++i)
            expected.push_back(reference[block * 249 * 2 + i]);
    EXPECT_EQ(decodeFile(write("ima247.wav", bytes)).samples, expected);
}

// ---------------------------------------------------------------------------------------------
// Malformed input: nothing may crash, hang or allocate without bound

TEST_F(WavSourceTest, EveryPrefixOfAValidFileIsContained) {
    const auto seeds = seedFiles(0.05);
    const auto file = path("prefix.wav");
    for (const Bytes& seed : seeds) {
        ASSERT_GT(seed.size(), 44u);
        const Decoded whole = decodeFile(write("whole.wav", seed));
        ASSERT_TRUE(whole.opened);
        // Longest first, each prefix cut from the last: shrinking a file is cheap where
        // rewriting one is not (ext4 flushes a file truncated on open).
        std::filesystem::remove(file);
        test::writeFileBytes(file, seed);
        for (std::size_t length = seed.size(); length-- > 0;) {
            SCOPED_TRACE(length);
            std::filesystem::resize_file(file, length);
            const Decoded decoded = decodeFile(file);
            // A prefix delivers at most what the whole file delivers, and the same samples (but
            // for a last partial frame, whose missing channel-1 sample is silence).
            ASSERT_LE(decoded.samples.size(), whole.samples.size());
            const std::size_t compared =
                decoded.samples.size() - std::min<std::size_t>(decoded.samples.size(), 2);
            EXPECT_TRUE(std::equal(decoded.samples.begin(),
                                   decoded.samples.begin() + static_cast<std::ptrdiff_t>(compared),
                                   whole.samples.begin()));
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

TEST_F(WavSourceTest, RandomlyDamagedFilesAreContained) {
    const auto seeds = seedFiles(0.1);
    std::mt19937 random(20240613);
    const auto file = path("damaged.wav");
    for (const Bytes& seed : seeds) {
        for (int round = 0; round < 300; ++round) {
            Bytes damaged = seed;
            // Mostly the header, where the sizes and counts live.
            const std::size_t window =
                std::min<std::size_t>(damaged.size(), round % 3 ? 96 : damaged.size());
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits; ++e) {
                const std::size_t at = random() % window;
                switch (random() % 3) {
                case 0:
                    damaged[at] = static_cast<std::uint8_t>(random());
                    break;
                case 1:
                    damaged[at] = (random() % 2) ? 0xFF : 0x00;
                    break;
                default:
                    damaged[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
                    break;
                }
            }
            if (round % 5 == 0)
                damaged.resize(random() % damaged.size());
            std::filesystem::remove(file); // a fresh file is cheaper than one truncated on open
            test::writeFileBytes(file, damaged);
            WavSource source;
            if (source.open(file.string(), 0)) {
                EXPECT_GE(source.channels(), 1);
                EXPECT_LE(source.channels(), WavSource::kMaxChannels);
                EXPECT_GT(source.sampleRate(), 0);
                const Decoded decoded = decodeAll(source);
                EXPECT_LE(source.position(), source.length());
                (void)decoded;
            }
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

} // namespace
} // namespace velmora
