// Tests of the program's own AIFF / AIFF-C reader: every compression compared sample by sample
// with an independent decoder (FFmpeg or libsndfile's sndfile-convert), the channel pick, the
// chunk walk, the stream description, tags, rejections and damaged files (run under the
// sanitizer build too).

#include "sources/aiff_source.h"
#include "sources/source_factory.h"
#include "tests/unit/source_decoding.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::appendText;
using test::appendU16BE;
using test::appendU32BE;

// ---------------------------------------------------------------------------------------------
// Decoding to the end

struct Decoded {
    int outChannels = 0;
    int bitsPerSample = 0;
    std::vector<int> samples; // interleaved left, right (left only when mono)
    int largestRead = 0;
};

Decoded decodeAll(AudioSource& source) {
    const test::DecodedPcm pcm = test::decodeSource(source);
    if (!pcm.ended)
        ADD_FAILURE() << "read() did not end or delivered more than 1152 frames";
    return {pcm.outChannels, pcm.bitsPerSample, pcm.interleaved(), pcm.largestRead};
}

std::optional<Decoded> decodeFile(const std::filesystem::path& file) {
    AiffSource source;
    if (!source.open(file.string(), 0))
        return std::nullopt;
    return decodeAll(source);
}

// ---------------------------------------------------------------------------------------------
// Synthetic files

// The 80-bit IEEE 754 extended form of a positive rate.
Bytes extended(double rate) {
    if (std::isinf(rate))
        return {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};
    int exponent = 0;
    const double fraction = std::frexp(rate, &exponent); // rate = fraction × 2^exponent
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    Bytes out;
    appendU16BE(out, static_cast<std::uint32_t>(16383 + exponent - 1));
    appendU32BE(out, static_cast<std::uint32_t>(mantissa >> 32));
    appendU32BE(out, static_cast<std::uint32_t>(mantissa));
    return out;
}

Bytes chunk(const std::string& id, const Bytes& body, std::uint32_t claimedSize = 0) {
    Bytes out;
    appendText(out, id);
    appendU32BE(out, claimedSize ? claimedSize : static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2)
        out.push_back(0);
    return out;
}

// A COMM chunk; with a compression type it is the AIFF-C form (type and an empty name).
Bytes comm(std::uint32_t channels, std::uint32_t frames, std::uint32_t bits, double rate,
           const std::string& compression = {}) {
    Bytes body;
    appendU16BE(body, channels);
    appendU32BE(body, frames);
    appendU16BE(body, bits);
    const Bytes r = extended(rate);
    body.insert(body.end(), r.begin(), r.end());
    if (!compression.empty()) {
        appendText(body, compression);
        body.insert(body.end(), {0, 0}); // empty Pascal string and its pad
    }
    return chunk("COMM", body);
}

Bytes ssnd(const Bytes& data, std::uint32_t offset = 0) {
    Bytes body;
    appendU32BE(body, offset);
    appendU32BE(body, 0);
    body.insert(body.end(), offset, 0xEE);
    body.insert(body.end(), data.begin(), data.end());
    return chunk("SSND", body);
}

Bytes form(const std::string& type, const std::vector<Bytes>& chunks) {
    Bytes body;
    appendText(body, type);
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    Bytes out;
    appendText(out, "FORM");
    appendU32BE(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes be16(const std::vector<int>& samples) {
    Bytes out;
    for (const int s : samples)
        appendU16BE(out, static_cast<std::uint16_t>(s));
    return out;
}

// ---------------------------------------------------------------------------------------------
// Fixtures from independent tools

// How the independent decoder's output becomes the expected delivered sample.
enum class Reference {
    FfmpegU8,      // unsigned 8-bit as stored
    FfmpegS16,     // 16-bit
    FfmpegS32Top,  // 32-bit (narrower data left-justified), arithmetic shift right by 16
    FfmpegF32Rule, // float: clamp to −1..1, × 2147483647, truncate, shift right by 16
    FfmpegF64Rule,
    SndfileS16,
    SndfileS32Top,
};

int floatRule(double value) {
    if (std::isnan(value))
        return 0;
    value = std::clamp(value, -1.0, 1.0);
    const auto scaled = static_cast<long long>(std::trunc(value * 2147483647.0));
    return static_cast<int>(std::floor(static_cast<double>(scaled) / 65536.0));
}

template <typename T> std::vector<T> readRaw(const std::filesystem::path& file) {
    const Bytes raw = test::readFileBytes(file);
    std::vector<T> out(raw.size() / sizeof(T));
    std::memcpy(out.data(), raw.data(), out.size() * sizeof(T));
    return out;
}

// The independent decoder's samples of channel 0 and `rightChannel` (channel 0 only for mono).
std::vector<int> referenceSamples(const std::filesystem::path& file, Reference reference,
                                  int channels, int rightChannel,
                                  const std::filesystem::path& raw) {
    static const std::array<const char*, 7> kArguments = {"-f u8 -c:a pcm_u8",
                                                          "-f s16le -c:a pcm_s16le",
                                                          "-f s32le -c:a pcm_s32le",
                                                          "-f f32le -c:a pcm_f32le",
                                                          "-f f64le -c:a pcm_f64le",
                                                          "-pcm16",
                                                          "-pcm32"};
    const std::string arguments = kArguments[static_cast<std::size_t>(reference)];
    const std::string in = test::shellQuote(file.string());
    const std::string out = test::shellQuote(raw.string());
    const bool sndfile =
        reference == Reference::SndfileS16 || reference == Reference::SndfileS32Top;
    EXPECT_EQ(test::runCommand(sndfile ? "sndfile-convert " + arguments + " " + in + " " + out
                                       : "ffmpeg -nostdin -v error -y -i " + in + " " + arguments +
                                             " " + out),
              0);
    std::vector<int> all;
    switch (reference) {
    case Reference::FfmpegU8:
        for (const std::uint8_t v : readRaw<std::uint8_t>(raw))
            all.push_back(v);
        break;
    case Reference::FfmpegS16:
    case Reference::SndfileS16:
        for (const std::int16_t v : readRaw<std::int16_t>(raw))
            all.push_back(v);
        break;
    case Reference::FfmpegS32Top:
    case Reference::SndfileS32Top:
        for (const std::int32_t v : readRaw<std::int32_t>(raw))
            all.push_back(v >> 16);
        break;
    case Reference::FfmpegF32Rule:
        for (const float v : readRaw<float>(raw))
            all.push_back(floatRule(v));
        break;
    case Reference::FfmpegF64Rule:
        for (const double v : readRaw<double>(raw))
            all.push_back(floatRule(v));
        break;
    }
    std::vector<int> picked;
    const auto step = static_cast<std::size_t>(channels);
    for (std::size_t frame = 0; frame + step <= all.size(); frame += step) {
        picked.push_back(all[frame]);
        if (channels > 1)
            picked.push_back(all[frame + static_cast<std::size_t>(rightChannel)]);
    }
    return picked;
}

class AiffSourceTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ASSERT_TRUE(test::haveTool("ffmpeg") && test::haveTool("sndfile-convert"));
    }

    std::filesystem::path write(const std::string& name, const Bytes& bytes) {
        test::writeFileBytes(path(name), bytes);
        return path(name);
    }

    // A WAV of distinct signals per channel (channel 0 goes beyond full scale, which exercises
    // the clipping of integer encoders and the clamp of the float rule).
    std::filesystem::path signal(int channels, double seconds) {
        static const std::array<std::string, 6> kChannels = {
            "0.95*sin(2*PI*440*t)+0.3*sin(2*PI*3100*t)",
            "0.6*sin(2*PI*660*t)*cos(2*PI*3*t)",
            "0.2*sin(2*PI*150*t)",
            "0.25*sin(2*PI*220*t)",
            "0.3*sin(2*PI*330*t)",
            "0.35*sin(2*PI*2500*t)"};
        std::string expressions;
        for (int c = 0; c < channels; ++c)
            expressions += (c ? "|" : "") + kChannels[static_cast<std::size_t>(c)];
        const auto file = path("signal.wav");
        EXPECT_EQ(test::runCommand("ffmpeg -nostdin -v error -y -f lavfi -i " +
                                   test::shellQuote("aevalsrc=exprs=" + expressions +
                                                    ":s=8000:d=" + std::to_string(seconds)) +
                                   " -c:a pcm_f32le " + test::shellQuote(file.string())),
                  0);
        return file;
    }

    // "ffmpeg:ARGS" encodes with FFmpeg, "sndfile:ARGS" with sndfile-convert.
    std::filesystem::path encode(const std::string& tool, const std::string& name, int channels,
                                 double seconds) {
        const auto in = test::shellQuote(signal(channels, seconds).string());
        const auto out = path(name);
        const std::string arguments = tool.substr(tool.find(':') + 1);
        const std::string command =
            tool.starts_with("ffmpeg")
                ? "ffmpeg -nostdin -v error -y -i " + in + " " + arguments + " "
                : "sndfile-convert " + arguments + " " + in + " ";
        EXPECT_EQ(test::runCommand(command + test::shellQuote(out.string())), 0);
        return out;
    }
};

// ---------------------------------------------------------------------------------------------
// Every compression, compared with an independent decoder

struct CompressionCase {
    const char* name;
    const char* tool;
    const char* fileName;
    int channels;
    Reference reference;
    const char* compressionType; // the COMM type the tool writes ("" for plain AIFF)
    int bitsPerSample;
};

const CompressionCase kCompressionCases[] = {
    {"Pcm8", "ffmpeg:-c:a pcm_s8", "a.aiff", 2, Reference::FfmpegU8, "", 8},
    {"Pcm16", "ffmpeg:-c:a pcm_s16be", "a.aiff", 2, Reference::FfmpegS16, "", 16},
    {"Pcm24", "ffmpeg:-c:a pcm_s24be", "a.aiff", 2, Reference::FfmpegS32Top, "", 16},
    {"Pcm32", "ffmpeg:-c:a pcm_s32be", "a.aiff", 1, Reference::FfmpegS32Top, "", 16},
    {"Pcm16ThreeChannels", "ffmpeg:-c:a pcm_s16be", "a.aiff", 3, Reference::FfmpegS16, "", 16},
    {"Pcm16FourChannels", "ffmpeg:-c:a pcm_s16be", "a.aiff", 4, Reference::FfmpegS16, "", 16},
    {"Pcm16SixChannels", "ffmpeg:-c:a pcm_s16be", "a.aiff", 6, Reference::FfmpegS16, "", 16},
    {"Sowt", "ffmpeg:-c:a pcm_s16le", "a.aiff", 2, Reference::FfmpegS16, "sowt", 16},
    {"Sowt32", "sndfile:-endian=little -pcm32", "a.aifc", 2, Reference::SndfileS32Top, "23ni", 16},
    {"Float32", "ffmpeg:-c:a pcm_f32be", "a.aiff", 2, Reference::FfmpegF32Rule, "fl32", 16},
    {"Float64SixChannels", "ffmpeg:-c:a pcm_f64be", "a.aiff", 6, Reference::FfmpegF64Rule, "fl64",
     16},
    {"Mulaw", "ffmpeg:-c:a pcm_mulaw", "a.aiff", 2, Reference::FfmpegS16, "ulaw", 16},
    {"Alaw", "ffmpeg:-c:a pcm_alaw", "a.aiff", 1, Reference::FfmpegS16, "alaw", 16},
    {"Raw", "ffmpeg:-c:a pcm_u8", "a.aiff", 2, Reference::FfmpegU8, "raw ", 8},
    // FFmpeg's QuickTime IMA decoder departs from the second packet on (it keeps state across
    // packets); libsndfile, like this reader, starts every packet from its header.
    {"Ima4", "ffmpeg:-c:a adpcm_ima_qt", "a.aiff", 2, Reference::SndfileS16, "ima4", 16},
    {"Gsm", "sndfile:-gsm610", "a.aifc", 1, Reference::SndfileS16, "GSM ", 16},
    {"Dwvw16", "sndfile:-dwvw16", "a.aif", 1, Reference::SndfileS16, "DWVW", 16},
    {"Dwvw24", "sndfile:-dwvw24", "a.aif", 1, Reference::SndfileS32Top, "DWVW", 16},
};

class AiffCompressionTest : public AiffSourceTest,
                            public ::testing::WithParamInterface<CompressionCase> {};

TEST_P(AiffCompressionTest, DecodesExactlyAsTheIndependentDecoder) {
    const CompressionCase& c = GetParam();
    // 0.5 s at 8000 Hz: a whole number of GSM frames, so both decoders end at the same sample.
    const auto file = encode(c.tool, c.fileName, c.channels, 0.5);
    const Bytes bytes = test::readFileBytes(file);
    const std::string type = *c.compressionType ? "AIFC" : "AIFF";
    ASSERT_TRUE(bytes.size() > 12 && std::equal(type.begin(), type.end(), bytes.begin() + 8));
    const auto commAt =
        std::search(bytes.begin(), bytes.end(), std::begin("COMM"), std::begin("COMM") + 4);
    ASSERT_TRUE(!*c.compressionType ||
                std::equal(c.compressionType, c.compressionType + 4, commAt + 26));

    AiffSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(source.channels(), c.channels);
    EXPECT_EQ(source.sampleRate(), 8000);
    const Decoded decoded = decodeAll(source);
    EXPECT_EQ(decoded.bitsPerSample, c.bitsPerSample);
    EXPECT_EQ(decoded.outChannels, c.channels == 1 ? 1 : 2);
    EXPECT_EQ(source.length(), bytes.size());
    const std::vector<int> expected =
        referenceSamples(file, c.reference, c.channels, c.channels == 6 ? 3 : 1, path("ref.raw"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(decoded.samples.size(), expected.size());
    EXPECT_TRUE(decoded.samples == expected);
}

INSTANTIATE_TEST_SUITE_P(Compressions, AiffCompressionTest, ::testing::ValuesIn(kCompressionCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Channels, byte order, chunk walk

TEST_F(AiffSourceTest, PicksChannelsZeroAndOneOrZeroAndThreeOfSix) {
    for (const int channels : {2, 3, 4, 6}) {
        SCOPED_TRACE(channels);
        std::vector<int> samples;
        for (int frame = 0; frame < 1500; ++frame)
            for (int c = 0; c < channels; ++c)
                samples.push_back(c * 1000 + frame % 1000);
        AiffSource source;
        ASSERT_TRUE(source.open(
            write("pick.aiff", form("AIFF", {comm(channels, 1500, 16, 8000), ssnd(be16(samples))}))
                .string(),
            0));
        EXPECT_EQ(source.channels(), channels);
        EXPECT_EQ(source.outChannels(), 2);
        const Decoded decoded = decodeAll(source);
        ASSERT_EQ(decoded.samples.size(), 3000u);
        const int right = channels == 6 ? 3 : 1;
        for (std::size_t frame = 0; frame < 1500; ++frame) {
            ASSERT_EQ(decoded.samples[2 * frame], static_cast<int>(frame % 1000));
            ASSERT_EQ(decoded.samples[2 * frame + 1],
                      right * 1000 + static_cast<int>(frame % 1000));
        }
    }
}

TEST_F(AiffSourceTest, SowtReadsLikeItsBigEndianTwin) {
    std::vector<int> samples;
    for (int i = 0; i < 3000; ++i)
        samples.push_back((i * 7919) % 65536 - 32768);
    Bytes little;
    for (const int s : samples)
        test::appendU16LE(little, static_cast<std::uint16_t>(s));
    const auto big =
        decodeFile(write("be.aiff", form("AIFF", {comm(2, 1500, 16, 8000), ssnd(be16(samples))})));
    const auto sowt =
        decodeFile(write("le.aifc", form("AIFC", {comm(2, 1500, 16, 8000, "sowt"), ssnd(little)})));
    ASSERT_TRUE(big && sowt);
    EXPECT_EQ(big->samples, samples);
    EXPECT_EQ(sowt->samples, samples);
}

TEST_F(AiffSourceTest, OddChunkPadSsndOffsetAndTruncatedSoundData) {
    const Bytes data = be16({1, -2, 3, -4, 5, -6});
    // An odd-sized chunk with its pad byte ahead of COMM; 4 bytes of SSND offset before the data.
    const Bytes file = form("AIFF", {chunk("ANNO", {'o', 'd', 'd'}), comm(1, 6, 16, 8000),
                                     ssnd(data, 4), chunk("ANNO", {'x'})});
    AiffSource source;
    ASSERT_TRUE(source.open(write("odd.aiff", file).string(), 0));
    const std::uint64_t dataStart = 12 + 12 + 26 + 16 + 4; // FORM, ANNO, COMM, SSND header
    EXPECT_EQ(source.position(), dataStart);
    EXPECT_EQ(source.length(), file.size());
    EXPECT_EQ(decodeAll(source).samples, (std::vector<int>{1, -2, 3, -4, 5, -6}));
    EXPECT_EQ(source.position(), dataStart + data.size());

    // The same file cut inside the sound data: what is there is delivered.
    const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(dataStart + 5));
    const auto decoded = decodeFile(write("cut.aiff", cut));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->samples, (std::vector<int>{1, -2}));
}

TEST_F(AiffSourceTest, DurationAndBitRateFormulas) {
    struct Case {
        std::uint32_t frames;
        double rate;
        int duration;
        int bitrate; // file size ÷ (duration × 125), or bits × channels × rate ÷ 1000
    };
    const Bytes data = be16(std::vector<int>(10000, 0));
    const Bytes body = form("AIFF", {comm(1, 10000, 16, 4000), ssnd(data)});
    for (const Case& c : {Case{10000, 4000.0, 2, static_cast<int>(body.size() / 250)},
                          Case{10000, 22050.9, 0, 16 * 22050 / 1000}, Case{0, 4000.0, 0, 64},
                          Case{0xFFFFFFFF, 4000.0, 0, 64}}) {
        SCOPED_TRACE(c.frames);
        AiffSource source;
        ASSERT_TRUE(source.open(
            write("d.aiff", form("AIFF", {comm(1, c.frames, 16, c.rate), ssnd(data)})).string(),
            0));
        EXPECT_EQ(source.sampleRate(), static_cast<int>(c.rate));
        EXPECT_EQ(source.durationSeconds(), c.duration);
        EXPECT_EQ(source.bitrateKbps(), c.bitrate);
        // An unknown frame count does not stop the sound.
        EXPECT_EQ(decodeAll(source).samples.size(), 10000u);
    }
}

TEST_F(AiffSourceTest, Ima4AndGsmDurationsComeFromTheSoundData) {
    // The COMM of these files counts packets (IMA4) or is not trusted (GSM).
    const auto ima4 = encode("ffmpeg:-c:a adpcm_ima_qt", "d.aiff", 2, 2.1);
    const auto gsm = encode("sndfile:-gsm610", "d.aifc", 1, 2.1);
    for (const auto& file : {ima4, gsm}) {
        AiffSource source;
        ASSERT_TRUE(source.open(file.string(), 0));
        EXPECT_EQ(source.durationSeconds(), 2);
        EXPECT_EQ(source.bitrateKbps(), static_cast<int>(std::filesystem::file_size(file) / 250));
    }
}

TEST_F(AiffSourceTest, DwvwStopsAtTheFrameCountUnlessItIsUnknown) {
    const auto file = encode("sndfile:-dwvw16", "w.aif", 1, 0.5);
    const auto known = decodeFile(file);
    ASSERT_TRUE(known);
    EXPECT_EQ(known->samples.size(), 4000u); // not the samples the encoder's padding spells
    Bytes bytes = test::readFileBytes(file);
    const auto commAt =
        std::search(bytes.begin(), bytes.end(), std::begin("COMM"), std::begin("COMM") + 4);
    std::fill(commAt + 10, commAt + 14, 0); // numSampleFrames 0: decoded to the last bit
    const auto unknown = decodeFile(write("u.aif", bytes));
    ASSERT_TRUE(unknown);
    ASSERT_GT(unknown->samples.size(), 4000u);
    EXPECT_TRUE(std::equal(known->samples.begin(), known->samples.end(), unknown->samples.begin()));
}

TEST_F(AiffSourceTest, Id3ChunkGivesTheTags) {
    const auto in = test::shellQuote(signal(1, 0.2).string());
    const auto tagged = path("tagged.aiff");
    ASSERT_EQ(test::runCommand("ffmpeg -nostdin -v error -y -i " + in +
                               " -c:a pcm_s16be -write_id3v2 1 -metadata title=Tïtle"
                               " -metadata artist=Someone " +
                               test::shellQuote(tagged.string())),
              0);
    AiffSource source;
    ASSERT_TRUE(source.open(tagged.string(), 0));
    TagSet tags;
    ASSERT_TRUE(source.readTags(tags));
    EXPECT_EQ(tags.title, "Tïtle");
    EXPECT_EQ(tags.artist, "Someone");
    EXPECT_EQ(decodeAll(source).samples.size(), 1600u);

    ASSERT_TRUE(source.open(encode("ffmpeg:-c:a pcm_s16be", "plain.aiff", 1, 0.2).string(), 0));
    TagSet none;
    EXPECT_FALSE(source.readTags(none));
    EXPECT_EQ(none, TagSet{});
}

TEST_F(AiffSourceTest, TheFactoryOpensAiffWithThisReader) {
    const auto file = write("f.aiff", form("AIFF", {comm(1, 2, 16, 8000), ssnd(be16({1, 2}))}));
    const auto source = SourceFactory::openWith(DecoderId::Aiff, file.string(), 0, false);
    ASSERT_TRUE(source);
    EXPECT_NE(dynamic_cast<AiffSource*>(source.get()), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Rejections

TEST_F(AiffSourceTest, RejectsWhatItCannotDecode) {
    const Bytes data = be16(std::vector<int>(64, 0));
    Bytes hugeComm = comm(1, 8, 16, 8000, "NONE");
    // A well-formed COMM padded to one byte beyond the limit, all of it present in the file.
    hugeComm.resize(8 + AiffSource::kMaxCommBytes + 1, 0);
    const std::uint32_t hugeSize = AiffSource::kMaxCommBytes + 1;
    for (int i = 0; i < 4; ++i)
        hugeComm[4 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(hugeSize >> (24 - 8 * i));
    hugeComm.push_back(0);
    Bytes notForm = form("AIFF", {comm(1, 8, 16, 8000), ssnd(data)});
    notForm[0] = 'X';
    Bytes shortAiffComm = comm(1, 8, 16, 8000, "NONE"); // 24 bytes in a plain AIFF
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"not FORM", notForm},
        {"form type", form("AIFX", {comm(1, 8, 16, 8000), ssnd(data)})},
        {"no COMM", form("AIFF", {ssnd(data)})},
        {"no SSND", form("AIFF", {comm(1, 8, 16, 8000)})},
        {"AIFF COMM not 18 bytes", form("AIFF", {shortAiffComm, ssnd(data)})},
        {"COMM beyond the limit", form("AIFC", {hugeComm, ssnd(data)})},
        {"zero channels", form("AIFF", {comm(0, 8, 16, 8000), ssnd(data)})},
        {"five channels", form("AIFF", {comm(5, 8, 16, 8000), ssnd(data)})},
        {"seven channels", form("AIFF", {comm(7, 8, 16, 8000), ssnd(data)})},
        {"zero bits", form("AIFF", {comm(1, 8, 0, 8000), ssnd(data)})},
        {"33 bits", form("AIFF", {comm(1, 8, 33, 8000), ssnd(data)})},
        {"rate 0", form("AIFF", {comm(1, 8, 16, 0.4), ssnd(data)})},
        {"rate infinite", form("AIFF", {comm(1, 8, 16, INFINITY), ssnd(data)})},
        {"unknown compression", form("AIFC", {comm(1, 8, 16, 8000, "ABCD"), ssnd(data)})},
        {"IMA4 mono", form("AIFC", {comm(1, 8, 16, 8000, "ima4"), ssnd(data)})},
        {"DWVW 7 bits", form("AIFC", {comm(1, 8, 7, 8000, "DWVW"), ssnd(data)})},
        {"DWVW 25 bits", form("AIFC", {comm(1, 8, 25, 8000, "DWVW"), ssnd(data)})},
        {"SSND offset beyond its size",
         form("AIFF", {comm(1, 8, 16, 8000), chunk("SSND", {0, 0, 0, 9, 0, 0, 0, 0})})},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        AiffSource source;
        EXPECT_FALSE(source.open(write("bad.aiff", bytes).string(), 0));
        EXPECT_EQ(source.channels(), 0);
    }
    // The limit is what is rejected: the same COMM at its ordinary size opens.
    EXPECT_TRUE(
        decodeFile(write("ok.aifc", form("AIFC", {comm(1, 8, 16, 8000, "NONE"), ssnd(data)}))));
}

// ---------------------------------------------------------------------------------------------
// Damaged files: nothing may crash, hang or allocate without bound

TEST_F(AiffSourceTest, TruncatedAndDamagedFilesAreContained) {
    const std::vector<std::pair<std::string, int>> seeds = {
        {"ffmpeg:-c:a pcm_s16be", 3}, {"ffmpeg:-c:a pcm_f64be", 1}, {"ffmpeg:-c:a adpcm_ima_qt", 2},
        {"sndfile:-gsm610", 1},       {"sndfile:-dwvw24", 1},       {"ffmpeg:-c:a pcm_mulaw", 2}};
    std::mt19937 random(5100);
    const auto file = path("damaged.aifc");
    for (const auto& [tool, channels] : seeds) {
        SCOPED_TRACE(tool);
        const Bytes seed = test::readFileBytes(encode(tool, "seed.aifc", channels, 0.05));
        ASSERT_GT(seed.size(), 64u);
        for (std::size_t length = 0; length < seed.size(); ++length) {
            std::filesystem::remove(file);
            test::writeFileBytes(
                file, Bytes(seed.begin(), seed.begin() + static_cast<std::ptrdiff_t>(length)));
            if (const auto decoded = decodeFile(file)) {
                ASSERT_LE(decoded->largestRead, AudioSource::kMaxFramesPerRead);
            }
        }
        for (int round = 0; round < 200; ++round) {
            Bytes damaged = seed;
            for (int edit = 0; edit < 4; ++edit)
                damaged[random() % std::min<std::size_t>(damaged.size(), 80)] =
                    static_cast<std::uint8_t>(random() % 3 ? random() : 0xFF);
            std::filesystem::remove(file);
            test::writeFileBytes(file, damaged);
            if (const auto decoded = decodeFile(file)) {
                ASSERT_LE(decoded->largestRead, AudioSource::kMaxFramesPerRead);
            }
        }
    }
}

} // namespace
} // namespace velmora
