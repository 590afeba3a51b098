// Tests of the Ogg Vorbis source: decoding compared with FFmpeg's own Vorbis decoder, chained
// files, the channel pick of multichannel files, comments, refused codecs, holes and damaged
// files (run under the sanitizer build too).

#include "sources/ogg_source.h"
#include "sources/source_factory.h"
#include "tests/unit/source_decoding.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>
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

// A tone per channel, all at different frequencies, so that a channel mix-up shows.
std::string tones(int channels, int rate, double seconds) {
    static const char* const kLayouts[] = {"", "mono", "stereo", "", "", "", "5.1"};
    std::string expression;
    for (int c = 0; c < channels; ++c)
        expression +=
            (c ? "|" : "") + std::string("0.4*sin(2*PI*") + std::to_string(300 + 170 * c) + "*t)";
    return "-f lavfi -i " +
           shellQuote("aevalsrc=" + expression + ":s=" + std::to_string(rate) +
                      ":d=" + std::to_string(seconds) + ":c=" + kLayouts[channels]);
}

// FFmpeg's decode of a file: interleaved 16-bit samples of all channels.
std::vector<std::int16_t> ffmpegPcm(const std::filesystem::path& in,
                                    const std::filesystem::path& raw) {
    EXPECT_TRUE(ffmpeg("-i " + shellQuote(in.string()) + " -f s16le -c:a pcm_s16le", raw));
    return test::readS16LE(raw);
}

std::uint64_t fileSize(const std::filesystem::path& file) {
    return std::filesystem::file_size(file);
}

// The byte offset of the file's last Ogg page: the compressed total counts every link up to
// the start of that page.
std::uint64_t lastPageOffset(const std::filesystem::path& file) {
    const auto bytes = test::readFileBytes(file);
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t found = text.rfind("OggS");
    return found == std::string::npos ? 0 : found;
}

std::vector<std::string> fieldsOf(const TagSet& t) {
    return {t.title,   t.artist, t.album,    t.year,     t.genre,
            t.comment, t.track,  t.composer, t.copyright};
}

class OggSourceTest : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ASSERT_TRUE(test::haveTool("ffmpeg")) << "ffmpeg is installed by scripts/install-deps";
    }
};

// ---------------------------------------------------------------------------------------------
// Decoding

struct DecodeCase {
    const char* name;
    int channels;
    int rate;
    int seconds;
    int outChannels;
    int largestRead;    // frames of one full read
    int referenceRight; // FFmpeg's channel that holds Vorbis channel 1 (FFmpeg reorders 5.1)
};

const DecodeCase kDecodeCases[] = {
    {"mono", 1, 44100, 2, 1, 1152, 0},
    {"stereo", 2, 48000, 3, 2, 1024, 1},
    // Vorbis 5.1 order is FL FC FR BL BR LFE: channel 1 is the centre, FFmpeg's channel 2.
    {"surround", 6, 44100, 2, 2, 341, 2},
};

class OggDecodeTest : public OggSourceTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(OggDecodeTest, MatchesFfmpegsVorbisDecoder) {
    const DecodeCase& c = GetParam();
    const auto file = path(std::string(c.name) + ".ogg");
    ASSERT_TRUE(ffmpeg(tones(c.channels, c.rate, c.seconds) + " -c:a libvorbis", file));

    OggSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_EQ(source.sampleRate(), c.rate);
    EXPECT_EQ(source.channels(), c.channels);
    EXPECT_EQ(source.outChannels(), c.outChannels);
    EXPECT_EQ(source.bitsPerSample(), 16);
    EXPECT_EQ(source.bytesPerSample(), 2);
    EXPECT_EQ(source.durationSeconds(), c.seconds);
    EXPECT_EQ(source.length(), lastPageOffset(file));
    EXPECT_GT(source.bitrateKbps(), 0);
    EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
    EXPECT_LE(source.position(), source.length());

    const Decoded got = decodeAll(source);
    ASSERT_TRUE(got.ended);
    EXPECT_GT(got.largestRead, 0);
    EXPECT_LE(got.largestRead, c.largestRead);
    EXPECT_EQ(source.position(), source.length());

    const auto reference = ffmpegPcm(file, path("reference.raw"));
    ASSERT_EQ(reference.size() % static_cast<std::size_t>(c.channels), 0u);
    const std::size_t frames = reference.size() / static_cast<std::size_t>(c.channels);
    ASSERT_EQ(got.left.size(), frames);
    ASSERT_EQ(got.right.size(), c.outChannels == 2 ? frames : 0u);
    // Two float decoders rounding to 16 bits: a few steps apart at most.
    int worst = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::size_t at = i * static_cast<std::size_t>(c.channels);
        worst = std::max(worst, std::abs(got.left[i] - reference[at]));
        if (c.outChannels == 2)
            worst = std::max(worst,
                             std::abs(got.right[i] -
                                      reference[at + static_cast<std::size_t>(c.referenceRight)]));
    }
    EXPECT_LE(worst, 2);

    source.close();
    EXPECT_EQ(source.length(), 0u);
    EXPECT_EQ(source.position(), 0u);
    EXPECT_EQ(source.sampleRate(), 0);
    EXPECT_EQ(source.channels(), 0);
    EXPECT_EQ(source.outChannels(), 0);
    EXPECT_EQ(source.durationSeconds(), 0);
    EXPECT_EQ(source.bitrateKbps(), 0);
    EXPECT_EQ(source.channelMode(), AudioSource::kUnknownChannelMode);
    EXPECT_TRUE(source.comments().empty());
    std::array<std::int16_t, AudioSource::kMaxFramesPerRead> buffer{};
    EXPECT_EQ(source.read(buffer.data(), buffer.data()), 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, OggDecodeTest, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Chained files

struct ChainCase {
    const char* name;
    int firstChannels;
    int secondChannels;
};

const ChainCase kChainCases[] = {
    {"sameLayout", 2, 2},
    // A mono link after a stereo one is delivered on both channels.
    {"monoAfterStereo", 2, 1},
};

class OggChainTest : public OggSourceTest, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(OggChainTest, ReportsAndDeliversAllLinks) {
    const ChainCase& c = GetParam();
    const auto first = path("first.ogg");
    const auto second = path("second.ogg");
    const auto chained = path("chained.ogg");
    ASSERT_TRUE(ffmpeg(tones(c.firstChannels, 44100, 2) + " -c:a libvorbis", first));
    ASSERT_TRUE(ffmpeg(tones(c.secondChannels, 44100, 3) + " -c:a libvorbis", second));
    auto bytes = test::readFileBytes(first);
    const auto tail = test::readFileBytes(second);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    test::writeFileBytes(chained, bytes);

    struct Part {
        Decoded decoded;
        std::uint64_t length = 0;
    } parts[2];
    for (int i = 0; i < 2; ++i) {
        OggSource link;
        ASSERT_TRUE(link.open((i == 0 ? first : second).string(), 0));
        parts[i].length = link.length();
        parts[i].decoded = decodeAll(link);
    }

    OggSource source;
    ASSERT_TRUE(source.open(chained.string(), 0));
    EXPECT_EQ(source.length(), lastPageOffset(chained));
    EXPECT_EQ(source.length(), fileSize(first) + parts[1].length);
    EXPECT_EQ(source.durationSeconds(), 5);
    EXPECT_EQ(source.channels(), c.firstChannels);
    const Decoded got = decodeAll(source);
    ASSERT_TRUE(got.ended);
    EXPECT_LE(got.largestRead, AudioSource::kMaxFramesPerRead);
    EXPECT_EQ(source.position(), source.length());

    std::vector<int> left = parts[0].decoded.left;
    left.insert(left.end(), parts[1].decoded.left.begin(), parts[1].decoded.left.end());
    std::vector<int> right = parts[0].decoded.right;
    const auto& secondRight =
        c.secondChannels == 2 ? parts[1].decoded.right : parts[1].decoded.left;
    right.insert(right.end(), secondRight.begin(), secondRight.end());
    EXPECT_EQ(got.left, left);
    EXPECT_EQ(got.right, right);
}

INSTANTIATE_TEST_SUITE_P(Links, OggChainTest, ::testing::ValuesIn(kChainCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Comments

TEST_F(OggSourceTest, ReadsCommentsCaseInsensitivelyWithTheLastDuplicateWinning) {
    const auto file = path("tags.ogg");
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=d=1 -c:a libvorbis -metadata title=Caf\xC3\xA9 "
                       "-metadata ARTIST=First -metadata Album=Album -metadata date=2001 "
                       "-metadata GENRE=Jazz -metadata tracknumber=7 "
                       "-metadata COMPOSER=Writer -metadata copyright=Owner",
                       file));
    {
        TagLib::Ogg::Vorbis::File edit(file.c_str());
        ASSERT_TRUE(edit.isValid());
        edit.tag()->addField("ARTIST", "Second", false);
        // FFmpeg writes a comment as DESCRIPTION; the field read is COMMENT.
        edit.tag()->addField("COMMENT", "Note");
        ASSERT_TRUE(edit.save());
    }
    OggSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    EXPECT_FALSE(source.vendor().empty());
    TagSet tags;
    EXPECT_TRUE(source.readTags(tags));
    const TagSet expected{"Caf\xC3\xA9", "Second", "Album",  "2001", "Jazz",
                          "Note",        "7",      "Writer", "Owner"};
    EXPECT_EQ(fieldsOf(tags), fieldsOf(expected));
}

TEST_F(OggSourceTest, ReadTagsIsTrueWithoutComments) {
    const auto file = path("bare.ogg");
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i sine=d=1 -c:a libvorbis -map_metadata -1 -fflags +bitexact", file));
    OggSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    TagSet tags;
    tags.title = "stale";
    EXPECT_TRUE(source.readTags(tags));
    EXPECT_EQ(fieldsOf(tags), fieldsOf(TagSet{}));
}

struct LongCommentCase {
    const char* name;
    std::string title;
    std::string expectedTitle; // after the cut to 1023 bytes of "TITLE=..."
};

class OggLongCommentTest : public OggSourceTest,
                           public ::testing::WithParamInterface<LongCommentCase> {};

TEST_P(OggLongCommentTest, IsCutAtTheCopyLimit) {
    const auto file = path("long.ogg");
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=d=1 -c:a libvorbis -metadata TITLE=" +
                           shellQuote(GetParam().title),
                       file));
    OggSource source;
    ASSERT_TRUE(source.open(file.string(), 0));
    TagSet tags;
    ASSERT_TRUE(source.readTags(tags));
    EXPECT_EQ(tags.title, GetParam().expectedTitle);
    for (const std::string& comment : source.comments())
        EXPECT_LE(comment.size(), OggSource::kMaxCommentBytes);
}

std::vector<LongCommentCase> longCommentCases() {
    std::string accented;
    for (int i = 0; i < 10; ++i)
        accented += "\xC3\xA9";
    return {
        {"fitsExactly", std::string(1017, 'a'), std::string(1017, 'a')},
        {"ascii", std::string(3000, 'b'), std::string(1017, 'b')},
        // "TITLE=" and 1016 letters fill 1022 bytes: the two-byte letter after them is dropped
        // whole rather than split.
        {"splitCharacter", std::string(1016, 'c') + accented, std::string(1016, 'c')},
    };
}

INSTANTIATE_TEST_SUITE_P(Limits, OggLongCommentTest, ::testing::ValuesIn(longCommentCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Other codecs in Ogg

struct RefusedCase {
    const char* name;
    const char* encoder;
};

const RefusedCase kRefusedCases[] = {
    {"flac", "-c:a flac"},
    {"opus", "-c:a libopus"},
};

class OggRefusedTest : public OggSourceTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(OggRefusedTest, IsRefusedSoTheChainGoesOn) {
    const auto file = path(std::string(GetParam().name) + ".ogg");
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=r=48000:d=1 " + std::string(GetParam().encoder), file));
    OggSource source;
    EXPECT_FALSE(source.open(file.string(), 0));
    EXPECT_EQ(source.sampleRate(), 0);

    SourceFactory factory;
    const auto opened = factory.open(file.string(), SourceKind::Ogg, 44100, true);
    ASSERT_NE(opened, nullptr);
    ASSERT_TRUE(factory.lastDecoder().has_value());
    EXPECT_NE(*factory.lastDecoder(), DecoderId::Ogg);
}

INSTANTIATE_TEST_SUITE_P(Codecs, OggRefusedTest, ::testing::ValuesIn(kRefusedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OggSourceTest, FactoryOpensVorbisWithThisSource) {
    const auto file = path("plain.ogg");
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=d=1 -c:a libvorbis", file));
    SourceFactory factory;
    ASSERT_NE(factory.open(file.string(), SourceKind::Ogg, 44100, true), nullptr);
    EXPECT_EQ(factory.lastDecoder(), DecoderId::Ogg);
}

// ---------------------------------------------------------------------------------------------
// Holes and damage

struct DamageCase {
    const char* name;
    int channels;
    enum class Kind { Hole, GarbageTail, Truncated } kind;
};

const DamageCase kDamageCases[] = {
    {"monoHole", 1, DamageCase::Kind::Hole},
    {"stereoHole", 2, DamageCase::Kind::Hole},
    {"surroundHole", 6, DamageCase::Kind::Hole},
    {"garbageTail", 2, DamageCase::Kind::GarbageTail},
    {"truncated", 2, DamageCase::Kind::Truncated},
};

class OggDamageTest : public OggSourceTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(OggDamageTest, DecodingGoesOnOrEndsCleanly) {
    const DamageCase& c = GetParam();
    const auto intact = path("intact.ogg");
    const auto damaged = path("damaged.ogg");
    ASSERT_TRUE(ffmpeg(tones(c.channels, 44100, 12) + " -c:a libvorbis", intact));
    OggSource reference;
    ASSERT_TRUE(reference.open(intact.string(), 0));
    const std::size_t fullFrames = decodeAll(reference).left.size();

    auto bytes = test::readFileBytes(intact);
    const std::size_t at = bytes.size() * 2 / 5;
    std::mt19937 random(7);
    switch (c.kind) {
    case DamageCase::Kind::Hole:
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    bytes.begin() + static_cast<std::ptrdiff_t>(at + 2000));
        break;
    case DamageCase::Kind::GarbageTail:
        for (std::size_t i = at; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(random());
        break;
    case DamageCase::Kind::Truncated:
        bytes.resize(at);
        break;
    }
    test::writeFileBytes(damaged, bytes);

    OggSource source;
    if (!source.open(damaged.string(), 0)) {
        EXPECT_NE(c.kind, DamageCase::Kind::Hole) << "a hole must not make the file unreadable";
        return;
    }
    const Decoded got = decodeAll(source);
    ASSERT_TRUE(got.ended) << "reading did not end";
    EXPECT_LT(got.left.size(), fullFrames);
    if (c.kind == DamageCase::Kind::Hole) {
        // The data after the hole is delivered too: more than the part before it.
        EXPECT_GT(got.left.size(), fullFrames / 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Damage, OggDamageTest, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OggSourceTest, RefusesFilesThatAreNotOgg) {
    std::mt19937 random(11);
    std::vector<std::uint8_t> garbage(20000);
    for (auto& b : garbage)
        b = static_cast<std::uint8_t>(random());
    const std::vector<std::vector<std::uint8_t>> files = {
        {}, garbage, {'O', 'g', 'g', 'S', 0, 2, 0, 0}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto file = path("bad" + std::to_string(i) + ".ogg");
        test::writeFileBytes(file, files[i]);
        OggSource source;
        EXPECT_FALSE(source.open(file.string(), 0)) << i;
    }
    OggSource source;
    EXPECT_FALSE(source.open(path("missing.ogg").string(), 0));
}

} // namespace
} // namespace velmora
