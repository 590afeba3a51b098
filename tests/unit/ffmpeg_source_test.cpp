// Tests of the FFmpeg-backed sources: every container and decoder family decoded to the end and
// compared sample by sample with an independent decode by the ffmpeg command-line tool (its raw
// output in the decoder's own sample format, put through the delivery rule), the stream
// description against ffprobe, the probe variant, tags, and damaged files.

#include "platform/text_encoding.h"
#include "sources/ffmpeg_probe_source.h"
#include "sources/ffmpeg_source.h"
#include "sources/source_factory.h"
#include "tests/unit/source_decoding.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <opencore-amrnb/interf_enc.h>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------------------------
// Decoding to the end

struct Decoded {
    std::vector<int> samples; // interleaved left, right (left only when mono)
    std::vector<int> reads;   // frames of every read() that delivered some
    std::vector<std::uint64_t> positions;
};

Decoded decodeAll(AudioSource& source) {
    test::DecodedPcm pcm = test::decodeSource(source);
    if (!pcm.ended)
        ADD_FAILURE() << "read() did not end or delivered more than 1152 frames";
    return {pcm.interleaved(), std::move(pcm.reads), std::move(pcm.positions)};
}

// ---------------------------------------------------------------------------------------------
// The independent side: ffmpeg and ffprobe

bool make(const std::string& arguments, const std::filesystem::path& file) {
    return test::runCommand("ffmpeg -y -v error " + arguments + " " +
                            test::shellQuote(file.string())) == 0 &&
           std::filesystem::exists(file);
}

bool haveEncoder(const std::string& name) {
    std::string out;
    test::runCommand("ffmpeg -hide_banner -encoders 2>/dev/null", &out);
    return out.find(" " + name + " ") != std::string::npos;
}

// key=value lines of ffprobe for the first audio stream and the container.
std::map<std::string, std::string> probe(const std::filesystem::path& file) {
    return test::ffprobeFields(file,
                               "stream=sample_rate,channels,bit_rate,sample_fmt:format=duration");
}

int probedInt(const std::map<std::string, std::string>& values, const std::string& key) {
    const auto it = values.find(key);
    if (it == values.end() || it->second.empty() || it->second == "N/A")
        return 0;
    return static_cast<int>(std::stoll(it->second));
}

int probedWholeSeconds(const std::map<std::string, std::string>& values) {
    const auto it = values.find("duration");
    if (it == values.end() || it->second == "N/A")
        return 0;
    return static_cast<int>(std::floor(std::stod(it->second)));
}

// The delivery rule for decoded floats: clamp, NaN as silence, × 2147483647 truncated, >> 16.
int expectedFromFloat(double value) {
    if (std::isnan(value))
        return 0;
    value = std::clamp(value, -1.0, 1.0);
    return static_cast<std::int32_t>(static_cast<std::int64_t>(value * 2147483647.0)) >> 16;
}

// ffmpeg's decode of the first audio stream, in the decoder's own sample format (so nothing is
// rounded on the way), turned into the values the source must deliver: channels 0 and 1 of
// `referenceChannels`.
std::optional<std::vector<int>> referenceDecode(const std::filesystem::path& file,
                                                const std::string& inputOptions,
                                                const std::string& sampleFormat,
                                                int referenceChannels,
                                                const std::filesystem::path& raw) {
    std::string rawFormat;
    // Planar formats ("fltp") are named after their interleaved form plus "p".
    constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kRawFormats = {
        {{"u8", "u8"}, {"s16", "s16le"}, {"s32", "s32le"}, {"flt", "f32le"}, {"dbl", "f64le"}}};
    for (const auto& [decoded, raw] : kRawFormats)
        if (sampleFormat.starts_with(decoded))
            rawFormat = raw;
    const std::map<std::string, std::size_t> kBytes = {
        {"u8", 1}, {"s16le", 2}, {"s32le", 4}, {"f32le", 4}, {"f64le", 8}};
    if (rawFormat.empty()) {
        ADD_FAILURE() << "no reference for sample format " << sampleFormat;
        return std::nullopt;
    }
    const std::size_t bytes = kBytes.at(rawFormat);
    if (test::runCommand("ffmpeg -y -v error " + inputOptions + " -i " +
                         test::shellQuote(file.string()) + " -map 0:a:0 -f " + rawFormat +
                         " -c:a pcm_" + rawFormat + " " + test::shellQuote(raw.string())) != 0)
        return std::nullopt;
    const Bytes data = test::readFileBytes(raw);
    const std::size_t frameBytes = bytes * static_cast<std::size_t>(referenceChannels);
    std::vector<int> values;
    for (std::size_t frame = 0; frame + frameBytes <= data.size(); frame += frameBytes) {
        for (int channel = 0; channel < std::min(referenceChannels, 2); ++channel) {
            const std::uint8_t* p = data.data() + frame + static_cast<std::size_t>(channel) * bytes;
            if (rawFormat == "u8") {
                values.push_back(p[0]);
            } else if (rawFormat == "s16le") {
                values.push_back(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
            } else if (rawFormat == "s32le") {
                std::int32_t v = 0;
                std::memcpy(&v, p, 4);
                values.push_back(v >> 16);
            } else if (rawFormat == "f32le") {
                float v = 0;
                std::memcpy(&v, p, 4);
                values.push_back(expectedFromFloat(v));
            } else {
                double v = 0;
                std::memcpy(&v, p, 8);
                values.push_back(expectedFromFloat(v));
            }
        }
    }
    return values;
}

// ---------------------------------------------------------------------------------------------
// Every container and decoder family

constexpr const char* kStereo441 =
    "-f lavfi -i \"aevalsrc=0.5*sin(440*2*PI*t)|0.3*sin(660*2*PI*t):s=44100:d=2.5\"";
constexpr const char* kStereo48 =
    "-f lavfi -i \"aevalsrc=0.5*sin(440*2*PI*t)|0.3*sin(660*2*PI*t):s=48000:d=2.5\"";
constexpr const char* kMono8k = "-f lavfi -i \"aevalsrc=0.5*sin(440*2*PI*t):s=8000:d=2.5\"";
constexpr const char* kSurround =
    "-f lavfi -i \"aevalsrc=0.5*sin(440*2*PI*t)|0.3*sin(660*2*PI*t)|0.2*sin(220*2*PI*t)|"
    "0.1*sin(100*2*PI*t)|0.2*sin(880*2*PI*t)|0.1*sin(330*2*PI*t):c=5.1:s=48000:d=2.5\"";
constexpr const char* kVideo = "-f lavfi -i testsrc=d=2.5:s=64x48:r=10";

// Debian's ffmpeg has no AMR encoder: the fixture comes from the AMR-NB reference encoder
// library itself, 12.2 kbit/s frames of 160 samples after the "#!AMR\n" magic.
Bytes amrNarrowBandFile() {
    Bytes out;
    test::appendText(out, "#!AMR\n");
    void* encoder = Encoder_Interface_init(0);
    if (!encoder)
        return {};
    constexpr int kFrames = 125; // 2.5 s at 8000 Hz
    std::array<short, 160> pcm{};
    std::array<unsigned char, 64> frame{};
    for (int i = 0; i < kFrames; ++i) {
        for (std::size_t n = 0; n < pcm.size(); ++n) {
            const double t = static_cast<double>(i * 160 + static_cast<int>(n)) / 8000.0;
            pcm[n] = static_cast<short>(12000.0 * std::sin(2.0 * M_PI * 440.0 * t));
        }
        const int bytes = Encoder_Interface_Encode(encoder, MR122, pcm.data(), frame.data(), 0);
        if (bytes > 0)
            out.insert(out.end(), frame.begin(), frame.begin() + bytes);
    }
    Encoder_Interface_exit(encoder);
    return out;
}

struct DecodeCase {
    const char* name;
    const char* file;           // the extension chooses nothing: FFmpeg probes the content
    std::string makeArguments;  // inputs and codec options of the fixture
    const char* encoder;        // the ffmpeg encoder the fixture needs
    Bytes (*synthesize)();      // when set, makes the fixture instead of ffmpeg
    std::string referenceInput; // decoder options of the reference decode
    int sampleRate;
    int channels;          // of the material
    int referenceChannels; // of the reference decode
    int outChannels;
    int bitsPerSample;
};

std::string args(const char* input, const char* codec) {
    return std::string(input) + " " + codec;
}
std::string withVideo(const char* input, const char* codec) {
    return std::string(kVideo) + " " + input + " " + codec;
}

const DecodeCase kDecodeCases[] = {
    {"AacAdts", "x.aac", args(kStereo441, "-c:a aac -b:a 128k"), "aac", nullptr, "", 44100, 2, 2, 2,
     16},
    {"M4aAac", "x.m4a", args(kStereo441, "-c:a aac -b:a 128k"), "aac", nullptr, "", 44100, 2, 2, 2,
     16},
    {"M4aAlac", "x.m4a", args(kStereo441, "-c:a alac -sample_fmt s16p"), "alac", nullptr, "", 44100,
     2, 2, 2, 16},
    {"Ac3Surround", "x.ac3", args(kSurround, "-c:a ac3"), "ac3", nullptr, "-downmix stereo", 48000,
     6, 2, 2, 16},
    {"Opus", "x.opus", args(kStereo48, "-c:a libopus -b:a 96k"), "libopus", nullptr, "", 48000, 2,
     2, 2, 16},
    {"FlacInMka", "x.mka", args(kStereo441, "-c:a flac -sample_fmt s16"), "flac", nullptr, "",
     44100, 2, 2, 2, 16},
    {"Flac24InMkv", "x.mkv", args(kStereo48, "-c:a flac -sample_fmt s32"), "flac", nullptr, "",
     48000, 2, 2, 2, 16},
    {"Mp4VideoWithAac", "x.mp4", withVideo(kStereo441, "-c:v mpeg4 -c:a aac"), "aac", nullptr, "",
     44100, 2, 2, 2, 16},
    {"AviVideoWithMp2", "x.avi", withVideo(kStereo441, "-c:v mpeg4 -c:a mp2"), "mp2", nullptr, "",
     44100, 2, 2, 2, 16},
    {"FlvVideoWithMp3", "x.flv", withVideo(kStereo441, "-c:v flv1 -c:a libmp3lame"), "libmp3lame",
     nullptr, "", 44100, 2, 2, 2, 16},
    {"AmrNarrowBand", "x.amr", "", "", amrNarrowBandFile, "", 8000, 1, 1, 1, 16},
    {"WavUnderUnknownExtension", "x.xyz", args(kStereo441, "-c:a pcm_s16le -f wav"), "pcm_s16le",
     nullptr, "", 44100, 2, 2, 2, 16},
    {"FlacUnderUnknownExtension", "x.xyz", args(kMono8k, "-c:a flac -f flac"), "flac", nullptr, "",
     8000, 1, 1, 1, 16},
    {"Unsigned8BitWav", "x.xyz", args(kStereo441, "-c:a pcm_u8 -f wav"), "pcm_u8", nullptr, "",
     44100, 2, 2, 2, 8},
    {"FloatWav", "x.xyz", args(kMono8k, "-c:a pcm_f32le -f wav"), "pcm_f32le", nullptr, "", 8000, 1,
     1, 1, 16},
    {"DoubleWav", "x.wav", args(kStereo441, "-c:a pcm_f64le -f wav"), "pcm_f64le", nullptr, "",
     44100, 2, 2, 2, 16},
    {"Signed32Wav", "x.wav", args(kStereo441, "-c:a pcm_s32le -f wav"), "pcm_s32le", nullptr, "",
     44100, 2, 2, 2, 16},
};

// Makes the fixture of a case; false (with the reason in `skip`) when this machine cannot.
bool makeFixture(const DecodeCase& c, const std::filesystem::path& file, std::string& skip) {
    if (c.synthesize) {
        const Bytes bytes = c.synthesize();
        test::writeFileBytes(file, bytes);
        return !bytes.empty();
    }
    if (!haveEncoder(c.encoder)) {
        skip = std::string("this ffmpeg has no ") + c.encoder + " encoder to make the fixture";
        return false;
    }
    return make(c.makeArguments, file);
}

class FfmpegSourceDecode : public test::SandboxTest,
                           public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(FfmpegSourceDecode, MatchesAnIndependentDecode) {
    const DecodeCase& c = GetParam();
    const auto file = path(c.file);
    std::string skip;
    if (!makeFixture(c, file, skip)) {
        if (!skip.empty())
            GTEST_SKIP() << skip;
        FAIL() << "the fixture could not be made";
    }
    const auto probed = probe(file);

    FfmpegSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(source.sampleRate(), c.sampleRate);
    EXPECT_EQ(source.sampleRate(), probedInt(probed, "sample_rate"));
    EXPECT_EQ(source.channels(), c.channels);
    EXPECT_EQ(source.channels(), probedInt(probed, "channels"));
    EXPECT_EQ(source.outChannels(), c.outChannels);
    EXPECT_EQ(source.channelMode(), c.channels < 2 ? 3 : 0);
    EXPECT_EQ(source.bitsPerSample(), c.bitsPerSample);
    EXPECT_EQ(source.bytesPerSample(), c.bitsPerSample / 8);
    EXPECT_EQ(source.bitrateKbps(), probedInt(probed, "bit_rate") / 1000);
    EXPECT_EQ(source.durationSeconds(), probedWholeSeconds(probed));
    EXPECT_EQ(source.durationSeconds(), 2);
    EXPECT_EQ(source.length(), std::filesystem::file_size(file));

    const Decoded decoded = decodeAll(source);
    const auto expected = referenceDecode(file, c.referenceInput, probed.at("sample_fmt"),
                                          c.referenceChannels, path("reference.raw"));
    ASSERT_TRUE(expected);
    ASSERT_FALSE(expected->empty());
    EXPECT_EQ(decoded.samples.size(), expected->size());
    EXPECT_TRUE(decoded.samples == *expected) << "samples differ from the independent decode";

    // Full blocks until the last one; the frame count fits the duration.
    ASSERT_FALSE(decoded.reads.empty());
    for (std::size_t i = 0; i + 1 < decoded.reads.size(); ++i)
        ASSERT_EQ(decoded.reads[i], AudioSource::kMaxFramesPerRead) << "read " << i;
    const double seconds = static_cast<double>(decoded.samples.size() / c.outChannels) /
                           static_cast<double>(c.sampleRate);
    EXPECT_NEAR(seconds, 2.5, 0.1);

    // Progress: the demuxer's byte offset, never backwards, within the file.
    EXPECT_TRUE(std::is_sorted(decoded.positions.begin(), decoded.positions.end()));
    EXPECT_GT(decoded.positions.back(), source.length() / 2);
    EXPECT_LE(decoded.positions.back(), source.length());
    EXPECT_EQ(source.read(nullptr, nullptr), 0);
}

TEST_P(FfmpegSourceDecode, ProbeDescribesTheSameStreamWithoutDecoding) {
    const DecodeCase& c = GetParam();
    const auto file = path(c.file);
    std::string skip;
    if (!makeFixture(c, file, skip)) {
        if (!skip.empty())
            GTEST_SKIP() << skip;
        FAIL() << "the fixture could not be made";
    }

    FfmpegSource full;
    FfmpegProbeSource light;
    ASSERT_TRUE(full.open(file.string(), 0));
    ASSERT_TRUE(light.open(file.string(), 0));
    EXPECT_EQ(light.sampleRate(), full.sampleRate());
    EXPECT_EQ(light.channels(), full.channels());
    EXPECT_EQ(light.outChannels(), full.outChannels());
    EXPECT_EQ(light.channelMode(), full.channelMode());
    EXPECT_EQ(light.bitsPerSample(), full.bitsPerSample());
    EXPECT_EQ(light.bitrateKbps(), full.bitrateKbps());
    EXPECT_EQ(light.durationSeconds(), full.durationSeconds());
    EXPECT_EQ(light.length(), full.length());
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> left{};
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> right{};
    EXPECT_EQ(light.read(left.data(), right.data()), 0);
    TagSet tags;
    EXPECT_FALSE(light.readTags(tags));
}

INSTANTIATE_TEST_SUITE_P(Formats, FfmpegSourceDecode, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Floats outside -1..1 and NaN

Bytes floatWav(const std::vector<double>& values, int bits) {
    Bytes data;
    for (const double value : values) {
        if (bits == 32) {
            test::appendU32LE(data, std::bit_cast<std::uint32_t>(static_cast<float>(value)));
        } else {
            const auto word = std::bit_cast<std::uint64_t>(value);
            test::appendU32LE(data, static_cast<std::uint32_t>(word));
            test::appendU32LE(data, static_cast<std::uint32_t>(word >> 32));
        }
    }
    Bytes out;
    test::appendText(out, "RIFF");
    test::appendU32LE(out, static_cast<std::uint32_t>(36 + data.size()));
    test::appendText(out, "WAVEfmt ");
    test::appendU32LE(out, 16);
    test::appendU16LE(out, 3); // IEEE float
    test::appendU16LE(out, 1);
    test::appendU32LE(out, 8000);
    test::appendU32LE(out, 8000u * static_cast<std::uint32_t>(bits / 8));
    test::appendU16LE(out, static_cast<std::uint32_t>(bits / 8));
    test::appendU16LE(out, static_cast<std::uint32_t>(bits));
    test::appendText(out, "data");
    test::appendU32LE(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

class FfmpegSourceFloat : public test::SandboxTest, public ::testing::WithParamInterface<int> {};

TEST_P(FfmpegSourceFloat, LoudSamplesSaturateAndNanIsSilence) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> values = {1.5, -2.0, nan, 0.5, -0.5, 1.0, -1.0, 0.0, 1e30, -1e30};
    const std::vector<int> expected = {32767, -32768, 0, 16383, -16384,
                                       32767, -32768, 0, 32767, -32768};
    const auto file = path("loud.xyz");
    test::writeFileBytes(file, floatWav(values, GetParam()));
    FfmpegSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(source.outChannels(), 1);
    EXPECT_EQ(decodeAll(source).samples, expected);
}

INSTANTIATE_TEST_SUITE_P(Widths, FfmpegSourceFloat, ::testing::Values(32, 64));

// ---------------------------------------------------------------------------------------------
// Video only, the factory, life cycle

class FfmpegSourceTest : public test::SandboxTest {};

TEST_F(FfmpegSourceTest, VideoOnlyFileIsListedButNotConverted) {
    const auto file = path("video.mp4");
    ASSERT_TRUE(make(std::string(kVideo) + " -c:v mpeg4", file));
    FfmpegProbeSource light;
    ASSERT_TRUE(light.open(file.string(), 0));
    EXPECT_EQ(light.sampleRate(), 0);
    EXPECT_EQ(light.bitrateKbps(), 0);
    EXPECT_EQ(light.channels(), 0);
    EXPECT_EQ(light.durationSeconds(), 2);
    EXPECT_EQ(light.length(), std::filesystem::file_size(file));
    FfmpegSource full;
    EXPECT_FALSE(full.open(file.string(), 0));
    EXPECT_EQ(full.length(), 0u);

    SourceFactory factory;
    EXPECT_NE(factory.open(file.string(), SourceKind::Other, 0, false), nullptr);
    EXPECT_EQ(factory.open(file.string(), SourceKind::Other, 44100, true), nullptr);
    EXPECT_EQ(factory.failureNote(), SourceFactory::kFailureNote);
}

TEST_F(FfmpegSourceTest, FactoryPicksTheFullSourceOnlyForConversion) {
    const auto full = SourceFactory::create(DecoderId::Ffmpeg, true);
    const auto light = SourceFactory::create(DecoderId::Ffmpeg, false);
    EXPECT_NE(dynamic_cast<FfmpegSource*>(full.get()), nullptr);
    EXPECT_NE(dynamic_cast<FfmpegProbeSource*>(light.get()), nullptr);

    const auto file = path("tone");
    ASSERT_TRUE(make(args(kStereo441, "-c:a flac -f flac"), file));
    SourceFactory factory;
    const auto opened = factory.open(file.string(), SourceKind::Other, 44100, true);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(factory.lastDecoder(), DecoderId::Ffmpeg);
    EXPECT_GT(decodeAll(*opened).samples.size(), 0u);
}

TEST_F(FfmpegSourceTest, ContainerWithoutDurationReportsZero) {
    const auto file = path("streamed.mka");
    // Written to a pipe, the muxer cannot go back to store the duration.
    ASSERT_EQ(test::runCommand("ffmpeg -v error " + args(kStereo441, "-c:a flac") +
                               " -f matroska - | tee " + test::shellQuote(file.string())),
              0);
    ASSERT_EQ(probedWholeSeconds(probe(file)), 0);
    FfmpegSource full;
    ASSERT_TRUE(full.open(file.string(), 0));
    EXPECT_EQ(full.durationSeconds(), 0);
    EXPECT_EQ(decodeAll(full).samples.size(), 2u * 110250u);
    FfmpegProbeSource light;
    ASSERT_TRUE(light.open(file.string(), 0));
    EXPECT_EQ(light.durationSeconds(), 0);
}

TEST_F(FfmpegSourceTest, CloseResetsAndTheSourceOpensAgain) {
    const auto file = path("x.mka");
    ASSERT_TRUE(make(args(kStereo441, "-c:a flac"), file));
    FfmpegSource source;
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> left{};
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> right{};
    EXPECT_EQ(source.read(left.data(), right.data()), 0);
    ASSERT_TRUE(source.open(file.string(), 0));
    ASSERT_EQ(source.read(left.data(), right.data()), AudioSource::kMaxFramesPerRead);
    const auto firstBlock = left;
    const std::size_t total = decodeAll(source).samples.size() + 2 * 1152;

    source.close();
    EXPECT_EQ(source.length(), 0u);
    EXPECT_EQ(source.position(), 0u);
    EXPECT_EQ(source.sampleRate(), 0);
    EXPECT_EQ(source.channels(), 0);
    EXPECT_EQ(source.outChannels(), 0);
    EXPECT_EQ(source.bitsPerSample(), 0);
    EXPECT_EQ(source.bitrateKbps(), 0);
    EXPECT_EQ(source.durationSeconds(), 0);
    EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
    EXPECT_EQ(source.read(left.data(), right.data()), 0);

    ASSERT_TRUE(source.open(file.string(), 0));
    ASSERT_EQ(source.read(left.data(), right.data()), AudioSource::kMaxFramesPerRead);
    EXPECT_EQ(left, firstBlock);
    EXPECT_EQ(decodeAll(source).samples.size() + 2 * 1152, total);
}

TEST_F(FfmpegSourceTest, MissingFileFails) {
    FfmpegSource full;
    FfmpegProbeSource light;
    EXPECT_FALSE(full.open(path("absent.mka").string(), 0));
    EXPECT_FALSE(light.open(path("absent.mka").string(), 0));
}

TEST_F(FfmpegSourceTest, NameThatLooksLikeAProtocolIsALocalFile) {
    const auto file = path("concat:x.mka");
    ASSERT_TRUE(make(args(kStereo441, "-c:a flac -f matroska"), path("plain.mka")));
    std::filesystem::copy_file(path("plain.mka"), file);
    FfmpegSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(decodeAll(source).samples.size(), 2u * 110250u);
}

// ---------------------------------------------------------------------------------------------
// Tags

struct TagCase {
    const char* name;
    const char* metadata; // ffmpeg -metadata options
    bool found;
    TagSet expected;
};

const TagCase kTagCases[] = {
    {"AllFields",
     "-metadata title=Song -metadata artist=Band -metadata album=Record "
     "-metadata date=2021-05-03 -metadata genre=Rock -metadata comment=Fine "
     "-metadata track=7/12 -metadata copyright=Owner -metadata composer=Writer",
     true,
     {"Song", "Band", "Record", "2021", "Rock", "Fine", "7", "", "Owner"}},
    {"AuthorStandsForArtist",
     "-metadata author=Someone",
     true,
     {"", "Someone", "", "", "", "", "", "", ""}},
    {"ArtistBeforeAuthor",
     "-metadata author=Someone -metadata artist=Band",
     true,
     {"", "Band", "", "", "", "", "", "", ""}},
    {"YearKey", "-metadata year=1999", true, {"", "", "", "1999", "", "", "", "", ""}},
    {"TrackZeroAndTextYearAreEmpty", "-metadata track=0 -metadata date=unknown", false, {}},
    {"ComposerAloneIsNothing", "-metadata composer=Writer", false, {}},
    {"None", "", false, {}},
};

class FfmpegSourceTags : public test::SandboxTest, public ::testing::WithParamInterface<TagCase> {};

TEST_P(FfmpegSourceTags, MapsContainerMetadata) {
    const TagCase& c = GetParam();
    const auto file = path("tagged.mka");
    ASSERT_TRUE(
        make(args(kMono8k, "-c:a flac -map_metadata -1 -fflags +bitexact ") + c.metadata, file));
    FfmpegSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    TagSet tags;
    EXPECT_EQ(source.readTags(tags), c.found);
    EXPECT_EQ(tags, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, FfmpegSourceTags, ::testing::ValuesIn(kTagCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FfmpegSourceTest, TagsInTheAudioStreamAreFound) {
    const auto file = path("tagged.opus");
    ASSERT_TRUE(
        make(args(kStereo48, "-c:a libopus -metadata title=Song -metadata artist=Band"), file));
    FfmpegSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    TagSet tags;
    EXPECT_TRUE(source.readTags(tags));
    EXPECT_EQ(tags.title, "Song");
    EXPECT_EQ(tags.artist, "Band");
}

TEST_F(FfmpegSourceTest, InvalidUtf8IsRepaired) {
    const auto file = path("latin1.mka");
    // "Caf\xE9" is Latin-1, not UTF-8.
    ASSERT_TRUE(make(args(kMono8k, "-c:a flac -metadata title=$(printf 'Caf\\351')"), file));
    FfmpegSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    TagSet tags;
    ASSERT_TRUE(source.readTags(tags));
    EXPECT_TRUE(isValidUtf8(tags.title));
    EXPECT_EQ(tags.title, "Caf\xEF\xBF\xBD");
}

// ---------------------------------------------------------------------------------------------
// Damaged files

// Opening either fails, or reading ends by itself with no more than the intact file holds.
void expectRejectedOrEndsCleanly(const std::filesystem::path& file, std::size_t intactSamples) {
    FfmpegSource full;
    if (full.open(file.string(), 0)) {
        EXPECT_LE(decodeAll(full).samples.size(), intactSamples) << file;
        EXPECT_LE(full.position(), full.length());
    }
    FfmpegProbeSource light;
    if (light.open(file.string(), 0)) {
        EXPECT_EQ(light.read(nullptr, nullptr), 0);
    }
}

TEST_F(FfmpegSourceTest, GarbageIsRejectedOrEndsCleanly) {
    std::mt19937 random(20240611);
    for (const std::size_t size : {0u, 1u, 100u, 4096u, 200000u}) {
        Bytes garbage(size);
        for (auto& byte : garbage)
            byte = static_cast<std::uint8_t>(random());
        const auto file = path("garbage" + std::to_string(size) + ".xyz");
        test::writeFileBytes(file, garbage);
        expectRejectedOrEndsCleanly(file, 200000);
    }
}

class FfmpegSourceDamage : public test::SandboxTest,
                           public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(FfmpegSourceDamage, TruncatedOrOverwrittenFilesEndCleanly) {
    const DecodeCase& c = GetParam();
    const auto file = path(c.file);
    std::string skip;
    if (!makeFixture(c, file, skip)) {
        if (!skip.empty())
            GTEST_SKIP() << skip;
        FAIL() << "the fixture could not be made";
    }
    const Bytes intact = test::readFileBytes(file);
    FfmpegSource reference;
    ASSERT_TRUE(reference.open(file.string(), 0));
    const std::size_t intactSamples = decodeAll(reference).samples.size();

    std::mt19937 random(7);
    for (const double fraction : {0.02, 0.3, 0.5, 0.9, 0.999}) {
        const auto cut = static_cast<std::size_t>(static_cast<double>(intact.size()) * fraction);
        const auto truncated = path("cut" + std::to_string(cut) + "_" + c.file);
        test::writeFileBytes(truncated, Bytes(intact.begin(), intact.begin() + cut));
        expectRejectedOrEndsCleanly(truncated, intactSamples);

        Bytes overwritten = intact;
        for (std::size_t i = cut; i < std::min(cut + 512, overwritten.size()); ++i)
            overwritten[i] = static_cast<std::uint8_t>(random());
        const auto noisy = path("noise" + std::to_string(cut) + "_" + c.file);
        test::writeFileBytes(noisy, overwritten);
        // Overwriting can turn a length field into a larger one: no upper bound then, only an end.
        expectRejectedOrEndsCleanly(noisy, std::numeric_limits<std::size_t>::max());
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FfmpegSourceDamage, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FfmpegSourceTest, PacketThatFailsToDecodeIsSkipped) {
    // FLAC frames carry a CRC-8 over their header: spoiling the header of one frame in the
    // middle of the file makes the decoder refuse that packet only.
    const auto file = path("x.mka");
    ASSERT_TRUE(make(args(kMono8k, "-c:a flac -frame_size 1000"), file));
    FfmpegSource reference;
    ASSERT_TRUE(reference.open(file.string(), 0));
    const std::vector<int> intact = decodeAll(reference).samples;
    ASSERT_EQ(intact.size(), 20000u);

    Bytes bytes = test::readFileBytes(file);
    const std::array<std::uint8_t, 2> sync = {0xFF, 0xF8};
    const auto middle = bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2);
    const auto frame = std::search(middle, bytes.end(), sync.begin(), sync.end());
    ASSERT_NE(frame, bytes.end());
    frame[4] ^= 0x5A; // inside the header, guarded by its CRC-8
    const auto damaged = path("damaged.mka");
    test::writeFileBytes(damaged, bytes);

    FfmpegSource source;
    ASSERT_TRUE(source.open(damaged.string(), 0));
    const std::vector<int> samples = decodeAll(source).samples;
    ASSERT_EQ(samples.size(), intact.size() - 1000);
    // Everything after the lost packet is still there, unchanged.
    EXPECT_TRUE(std::equal(samples.end() - 5000, samples.end(), intact.end() - 5000));
    EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + 5000, intact.begin()));
}

} // namespace
} // namespace velmora
