// Tests of the Windows Media source and the reading side of the Windows Media runtime: WMA, WMV
// and multichannel ASF decoded sample for sample against FFmpeg's decode, the header
// attributes (WM/TrackNumber as text and as a number), and damaged files (run under the
// sanitizer build too).

#include "platform/wmf/wmf_runtime.h"
#include "platform/wmf/wmf_sync_reader.h"
#include "sources/source_factory.h"
#include "sources/wma_source.h"
#include "tests/unit/source_decoding.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <taglib/asfattribute.h>
#include <taglib/asffile.h>
#include <taglib/asftag.h>
#include <vector>

namespace velmora {
namespace {

using test::shellQuote;

using Decoded = test::DecodedPcm;

Decoded decodeAll(AudioSource& source, int maxReads = 100'000) {
    return test::decodeSource(source, maxReads);
}

bool ffmpeg(const std::string& arguments, const std::filesystem::path& out) {
    return test::runCommand("ffmpeg -nostdin -v error -y " + arguments + " " +
                            shellQuote(out.string())) == 0;
}

// A tone per channel at different frequencies, so that a channel mix-up shows.
std::string tones(int channels, int rate, int seconds) {
    static const char* const kLayouts[] = {"", "mono", "stereo", "", "", "", "5.1"};
    std::string expression;
    for (int c = 0; c < channels; ++c)
        expression +=
            (c ? "|" : "") + std::string("0.4*sin(2*PI*") + std::to_string(300 + 170 * c) + "*t)";
    return "-f lavfi -i " +
           shellQuote("aevalsrc=" + expression + ":s=" + std::to_string(rate) +
                      ":d=" + std::to_string(seconds) + ":c=" + kLayouts[channels]);
}

// FFmpeg's decode of the first audio stream as 32-bit floats, all channels interleaved.
std::vector<float> ffmpegFloats(const std::filesystem::path& in, const std::filesystem::path& raw) {
    EXPECT_TRUE(
        ffmpeg("-i " + shellQuote(in.string()) + " -map 0:a:0 -f f32le -c:a pcm_f32le", raw));
    const auto bytes = test::readFileBytes(raw);
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

// The 16-bit rule written out independently: clamp, scale by 2^31 - 1, truncate, keep the top
// 16 bits.
int expected16(float sample) {
    const double clamped = std::clamp(static_cast<double>(sample), -1.0, 1.0);
    return static_cast<std::int32_t>(clamped * 2147483647.0) >> 16;
}

std::vector<std::string> fieldsOf(const TagSet& t) {
    return {t.title,   t.artist, t.album,    t.year,     t.genre,
            t.comment, t.track,  t.composer, t.copyright};
}

class WmaSourceTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ASSERT_TRUE(test::haveTool("ffmpeg")) << "ffmpeg is installed by scripts/install-deps";
    }
};

TEST(WmfRuntimeTest, IsAvailableWithDebiansFfmpeg) {
    EXPECT_TRUE(WmfRuntime::available());
}

// ---------------------------------------------------------------------------------------------
// Decoding

struct DecodeCase {
    const char* name;
    std::string arguments; // ffmpeg input and encoding arguments
    const char* extension;
    int rate;
    int channels;
    int seconds;
    int audioKbps; // bit rate of the audio stream; the file's is at least this
};

std::vector<DecodeCase> decodeCases() {
    return {
        {"monoWma", tones(1, 22050, 2) + " -c:a wmav2 -b:a 64k", ".wma", 22050, 1, 2, 64},
        {"stereoWma", tones(2, 44100, 3) + " -c:a wmav2 -b:a 128k", ".wma", 44100, 2, 3, 128},
        {"wmav1", tones(2, 32000, 2) + " -c:a wmav1 -b:a 96k", ".wma", 32000, 2, 2, 96},
        // The video stream comes first; only the audio is decoded.
        {"wmv",
         "-f lavfi -i testsrc=d=2:s=64x48:r=10 " + tones(2, 44100, 2) +
             " -c:v wmv2 -c:a wmav2 -b:a 128k -shortest",
         ".wmv", 44100, 2, 2, 128},
        // Six channels deliver channels 0 and 1.
        {"surroundAsf", tones(6, 48000, 2) + " -c:a ac3 -b:a 384k", ".asf", 48000, 6, 2, 384},
    };
}

class WmaDecodeTest : public WmaSourceTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(WmaDecodeTest, MatchesFfmpegSampleForSample) {
    const DecodeCase& c = GetParam();
    const auto file = path(std::string(c.name) + c.extension);
    ASSERT_TRUE(ffmpeg(c.arguments, file));

    WmaSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(source.sampleRate(), c.rate);
    EXPECT_EQ(source.channels(), c.channels);
    EXPECT_EQ(source.outChannels(), c.channels < 2 ? 1 : 2);
    EXPECT_EQ(source.bitsPerSample(), 16);
    EXPECT_EQ(source.bytesPerSample(), 2);
    EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
    EXPECT_EQ(source.durationSeconds(), c.seconds);
    EXPECT_EQ(source.length() / WmaSource::kHundredNsPerSecond,
              static_cast<std::uint64_t>(c.seconds));
    EXPECT_GE(source.bitrateKbps(), c.audioKbps);
    EXPECT_EQ(source.position(), 0u);

    const Decoded got = decodeAll(source);
    ASSERT_TRUE(got.ended);
    EXPECT_EQ(got.largestRead, AudioSource::kMaxFramesPerRead);
    // The last sample starts before the end of the material.
    EXPECT_GT(source.position(), 0u);
    EXPECT_LT(source.position(), source.length());

    const auto reference = ffmpegFloats(file, path("reference.raw"));
    const auto channels = static_cast<std::size_t>(c.channels);
    ASSERT_EQ(reference.size() % channels, 0u);
    const std::size_t frames = reference.size() / channels;
    // The WMA encoder leaves out up to one block at the end.
    EXPECT_GE(frames + 2048, static_cast<std::size_t>(c.rate * c.seconds));
    std::vector<int> left;
    std::vector<int> right;
    for (std::size_t i = 0; i < frames; ++i) {
        left.push_back(expected16(reference[i * channels]));
        if (channels >= 2)
            right.push_back(expected16(reference[i * channels + 1]));
    }
    EXPECT_EQ(got.left, left);
    EXPECT_EQ(got.right, right);

    source.close();
    EXPECT_EQ(source.length(), 0u);
    EXPECT_EQ(source.position(), 0u);
    EXPECT_EQ(source.sampleRate(), 0);
    EXPECT_EQ(source.channels(), 0);
    EXPECT_EQ(source.durationSeconds(), 0);
    EXPECT_EQ(source.bitrateKbps(), 0);
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> buffer{};
    EXPECT_EQ(source.read(buffer.data(), buffer.data()), 0);
}

INSTANTIATE_TEST_SUITE_P(Files, WmaDecodeTest, ::testing::ValuesIn(decodeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WmaSourceTest, FactoryOpensWindowsMediaWithThisSource) {
    const auto file = path("plain.wma");
    ASSERT_TRUE(ffmpeg(tones(2, 44100, 1) + " -c:a wmav2", file));
    SourceFactory factory;
    const auto source = factory.open(file.string(), SourceKind::WindowsMedia, 44100, true);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(factory.lastDecoder(), DecoderId::WindowsMedia);
    EXPECT_NE(dynamic_cast<WmaSource*>(source.get()), nullptr);
}

TEST_F(WmaSourceTest, NonAsfFileIsLeftToTheNextDecoder) {
    const auto file = path("really.wav.wma");
    ASSERT_TRUE(ffmpeg(tones(1, 8000, 1) + " -c:a pcm_s16le -f wav", file));
    WmaSource source;
    EXPECT_FALSE(source.open(file.string(), 0));
    SourceFactory factory;
    ASSERT_NE(factory.open(file.string(), SourceKind::WindowsMedia, 44100, true), nullptr);
    EXPECT_NE(factory.lastDecoder(), DecoderId::WindowsMedia);
}

// ---------------------------------------------------------------------------------------------
// Header attributes

struct TrackCase {
    const char* name;
    enum class Stored { Missing, Text, DWord } stored;
    const char* text; // Text: the stored string
    unsigned number;  // DWord: the stored number
    const char* expectedTrack;
};

const TrackCase kTrackCases[] = {
    {"missing", TrackCase::Stored::Missing, "", 0, "0"},
    {"text", TrackCase::Stored::Text, "7", 0, "7"},
    {"textWithTotal", TrackCase::Stored::Text, " 12/15", 0, "12"},
    {"textNotANumber", TrackCase::Stored::Text, "seven", 0, "0"},
    {"dword", TrackCase::Stored::DWord, "", 7, "7"},
    {"dwordLarge", TrackCase::Stored::DWord, "", 4000000000u, "2147483647"},
};

class WmaTagTest : public WmaSourceTest, public ::testing::WithParamInterface<TrackCase> {};

TEST_P(WmaTagTest, ReadsTheHeaderAttributes) {
    const TrackCase& c = GetParam();
    const auto file = path("tags.wma");
    ASSERT_TRUE(ffmpeg(tones(2, 44100, 1) + " -c:a wmav2 -metadata title=Draft", file));
    {
        TagLib::ASF::File edit(file.c_str());
        ASSERT_TRUE(edit.isValid());
        TagLib::ASF::Tag* tag = edit.tag();
        tag->setTitle(TagLib::String("Caf\xC3\xA9 \xE2\x98\x95", TagLib::String::UTF8));
        tag->setArtist("Artist");
        tag->setComment("Note");
        tag->setCopyright("Owner");
        tag->setAttribute("WM/AlbumTitle", TagLib::ASF::Attribute(TagLib::String("Album")));
        tag->setAttribute("WM/Genre", TagLib::ASF::Attribute(TagLib::String("Jazz")));
        tag->setAttribute("WM/Year", TagLib::ASF::Attribute(TagLib::String("2001")));
        tag->setAttribute("WM/Composer", TagLib::ASF::Attribute(TagLib::String("Writer")));
        tag->removeItem("WM/TrackNumber");
        if (c.stored == TrackCase::Stored::Text)
            tag->setAttribute("WM/TrackNumber", TagLib::ASF::Attribute(TagLib::String(c.text)));
        if (c.stored == TrackCase::Stored::DWord)
            tag->setAttribute("WM/TrackNumber", TagLib::ASF::Attribute(c.number));
        ASSERT_TRUE(edit.save());
    }
    WmaSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    TagSet tags;
    EXPECT_TRUE(source.readTags(tags));
    const TagSet expected{"Caf\xC3\xA9 \xE2\x98\x95",
                          "Artist",
                          "Album",
                          "2001",
                          "Jazz",
                          "Note",
                          c.expectedTrack,
                          "Writer",
                          "Owner"};
    EXPECT_EQ(fieldsOf(tags), fieldsOf(expected));
}

INSTANTIATE_TEST_SUITE_P(TrackNumber, WmaTagTest, ::testing::ValuesIn(kTrackCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WmaSourceTest, ReadTagsIsTrueWithoutAttributes) {
    const auto file = path("bare.wma");
    ASSERT_TRUE(
        ffmpeg(tones(1, 22050, 1) + " -c:a wmav2 -map_metadata -1 -fflags +bitexact", file));
    WmaSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    TagSet tags;
    tags.title = "stale";
    EXPECT_TRUE(source.readTags(tags));
    TagSet expected;
    expected.track = "0";
    EXPECT_EQ(fieldsOf(tags), fieldsOf(expected));
}

// ---------------------------------------------------------------------------------------------
// Conversions

TEST(WmaTrackNumberTest, NumberFromEveryAttributeType) {
    using Type = WmfAttribute::Type;
    const std::pair<WmfAttribute, int> cases[] = {
        {{Type::Number, "", 7}, 7},  {{Type::Number, "", 5'000'000'000ull}, INT_MAX},
        {{Type::Text, "7", 0}, 7},   {{Type::Text, "  +3/10", 0}, 3},
        {{Type::Text, "-2", 0}, -2}, {{Type::Text, "99999999999999999999", 0}, INT_MAX},
        {{Type::Text, "", 0}, 0},    {{Type::Text, "x1", 0}, 0},
        {{Type::Other, "", 9}, 0},
    };
    for (const auto& [attribute, expected] : cases)
        EXPECT_EQ(WmaSource::trackNumberOf(attribute), expected) << attribute.text;
}

// ---------------------------------------------------------------------------------------------
// Damaged files

struct DamageCase {
    const char* name;
    enum class Kind { Empty, Garbage, HeaderOnly, Truncated, ScrambledData } kind;
};

const DamageCase kDamageCases[] = {
    {"empty", DamageCase::Kind::Empty},
    {"garbage", DamageCase::Kind::Garbage},
    {"headerOnly", DamageCase::Kind::HeaderOnly},
    {"truncated", DamageCase::Kind::Truncated},
    {"scrambledData", DamageCase::Kind::ScrambledData},
};

class WmaDamageTest : public WmaSourceTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(WmaDamageTest, IsRefusedOrEndsCleanly) {
    const DamageCase& c = GetParam();
    const auto intact = path("intact.wma");
    ASSERT_TRUE(ffmpeg(tones(2, 44100, 3) + " -c:a wmav2", intact));
    WmaSource reference;
    ASSERT_TRUE(reference.open(intact.string(), 0));
    const std::size_t fullFrames = decodeAll(reference).left.size();

    auto bytes = test::readFileBytes(intact);
    std::mt19937 random(5);
    switch (c.kind) {
    case DamageCase::Kind::Empty:
        bytes.clear();
        break;
    case DamageCase::Kind::Garbage:
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        break;
    case DamageCase::Kind::HeaderOnly:
        bytes.resize(std::min<std::size_t>(bytes.size(), 600));
        break;
    case DamageCase::Kind::Truncated:
        bytes.resize(bytes.size() / 2);
        break;
    case DamageCase::Kind::ScrambledData:
        for (std::size_t i = bytes.size() / 3; i < bytes.size(); i += 7)
            bytes[i] = static_cast<std::uint8_t>(random());
        break;
    }
    const auto damaged = path("damaged.wma");
    test::writeFileBytes(damaged, bytes);

    WmaSource source;
    const bool opened = source.open(damaged.string(), 0);
    if (c.kind == DamageCase::Kind::Empty || c.kind == DamageCase::Kind::Garbage) {
        EXPECT_FALSE(opened);
    }
    if (!opened)
        return;
    const Decoded got = decodeAll(source);
    ASSERT_TRUE(got.ended) << "reading did not end";
    EXPECT_LE(got.left.size(), fullFrames + 2048);
    if (c.kind == DamageCase::Kind::Truncated) {
        EXPECT_LT(got.left.size(), fullFrames);
    }
}

INSTANTIATE_TEST_SUITE_P(Damage, WmaDamageTest, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
