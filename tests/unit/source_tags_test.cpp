// Source tags: the genre reference rule, the in-memory ID3v2 reader (tags rendered by TagLib and
// bytes laid out by hand, cut short and mangled), and the file readers on fixtures that ffmpeg
// and lame make at test time.

#include "platform/text_encoding.h"
#include "sources/source_tags.h"
#include "tests/unit/test_support.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tstring.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>
#include <utility>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "Čaj – 茶 ♪": Latin Extended, punctuation, CJK and a symbol.
const std::string kUnicodeTitle = "\xC4\x8C"
                                  "aj \xE2\x80\x93 \xE8\x8C\xB6 \xE2\x99\xAA";

bool allFieldsValidUtf8(const TagSet& tags) {
    for (const std::string* field :
         {&tags.title, &tags.artist, &tags.album, &tags.year, &tags.genre, &tags.comment,
          &tags.track, &tags.composer, &tags.copyright})
        if (!isValidUtf8(*field))
            return false;
    return true;
}

bool contains(const Bytes& bytes, std::string_view text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// ---- ID3v2 tags rendered by TagLib ----

struct TextFrame {
    const char* id;
    std::string text;
};

struct Comment {
    std::string description;
    std::string text;
};

Bytes renderId3(TagLib::ID3v2::Version version, const std::vector<TextFrame>& frames,
                const std::vector<Comment>& comments = {}) {
    TagLib::ID3v2::Tag tag;
    for (const TextFrame& f : frames) {
        auto* frame = new TagLib::ID3v2::TextIdentificationFrame(f.id, TagLib::String::UTF8);
        frame->setText(TagLib::String(f.text, TagLib::String::UTF8));
        tag.addFrame(frame);
    }
    for (const Comment& c : comments) {
        auto* frame = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
        frame->setLanguage("XXX");
        frame->setDescription(TagLib::String(c.description, TagLib::String::UTF8));
        frame->setText(TagLib::String(c.text, TagLib::String::UTF8));
        tag.addFrame(frame);
    }
    const TagLib::ByteVector rendered = tag.render(version);
    return Bytes(rendered.begin(), rendered.end());
}

// ---- ID3v2 tags laid out by hand, for bytes TagLib would not render ----

void appendSyncSafe(Bytes& out, std::uint32_t value) {
    for (int shift = 21; shift >= 0; shift -= 7)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0x7F));
}

// A text frame with the given encoding byte; frames stay below 128 bytes, where the sizes of
// versions 2.3 and 2.4 are written alike.
Bytes rawFrame(const char* id, std::uint8_t encoding, const std::string& text) {
    Bytes frame;
    test::appendText(frame, id);
    test::appendU32BE(frame, static_cast<std::uint32_t>(text.size() + 1));
    frame.push_back(0);
    frame.push_back(0);
    frame.push_back(encoding);
    test::appendText(frame, text);
    return frame;
}

Bytes rawTag(std::uint8_t version, const std::vector<Bytes>& frames) {
    Bytes body;
    for (const Bytes& frame : frames)
        body.insert(body.end(), frame.begin(), frame.end());
    Bytes tag = {'I', 'D', '3', version, 0, 0};
    appendSyncSafe(tag, static_cast<std::uint32_t>(body.size()));
    tag.insert(tag.end(), body.begin(), body.end());
    return tag;
}

constexpr std::uint8_t kLatin1 = 0;
constexpr std::uint8_t kUtf8 = 3;

// ---- resolveGenre ----

TEST(SourceTagsResolveGenre, ResolvesNumericReferences) {
    struct Case {
        std::string tcon;
        std::string genre;
    };
    const Case cases[] = {
        {"(17)", "Rock"},
        {"(17)Indie Rock", "Indie Rock"},
        {"(200)", ""},
        {"Trance", "Trance"},
        {"(0)", "Blues"},
        {"(12)", "Other"},
        {"(40)", "Alt. Rock"},
        {"(147)", "Synthpop"},
        {"(148)", ""},
        {"(017)", "Rock"},
        {"(17", "Rock"},      // no closing parenthesis: the number alone counts
        {"(17)(18)", "(18)"}, // the text after the first reference is taken as it is
        {"(", "("},           // "(" not followed by a digit stays
        {"()", "()"},
        {"(RX)", "(RX)"},
        {"(CR)Cover", "(CR)Cover"},
        {" (17)", " (17)"},
        {"Rock (17)", "Rock (17)"},
        {"", ""},
        {"(99999999999999999999999999)", ""}, // must not overflow into a valid index
        {"(4294967313)", ""},                 // 2^32 + 17
        {"(18446744073709551633)", ""},       // 2^64 + 17
        {"(99999999999999999999)Indie", "Indie"},
        {"(17)\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SourceTags::resolveGenre(c.tcon), c.genre) << c.tcon;
}

// ---- readId3Tags ----

class SourceTagsId3Versions : public ::testing::TestWithParam<TagLib::ID3v2::Version> {};

TEST_P(SourceTagsId3Versions, ReadsTheNineFieldsWithTheBandAsArtistFallback) {
    const Bytes bytes = renderId3(GetParam(),
                                  {{"TIT2", kUnicodeTitle},
                                   {"TPE2", "The Band"},
                                   {"TALB", "Album"},
                                   {"TDRC", "2003"},
                                   {"TCON", "(17)"},
                                   {"TRCK", "4/10"},
                                   {"TCOM", "Composer"},
                                   {"TCOP", "2003 Label"}},
                                  {{"", "A comment"}});
    // The year frame is the one of the tag's version.
    EXPECT_EQ(contains(bytes, "TYER"), GetParam() == TagLib::ID3v2::v3);
    EXPECT_EQ(contains(bytes, "TDRC"), GetParam() == TagLib::ID3v2::v4);
    EXPECT_TRUE(contains(bytes, "(17)"));

    TagSet tags;
    ASSERT_TRUE(SourceTags::readId3Tags(bytes, tags));
    const TagSet expected{kUnicodeTitle, "The Band", "Album",    "2003",      "Rock",
                          "A comment",   "4/10",     "Composer", "2003 Label"};
    EXPECT_EQ(tags, expected);
}

TEST_P(SourceTagsId3Versions, ArtistIsTheLeadArtistElseTheBandElseTheConductor) {
    struct Case {
        std::vector<TextFrame> frames;
        const char* artist;
    };
    const Case cases[] = {
        {{{"TPE1", "Lead"}, {"TPE2", "Band"}, {"TPE3", "Conductor"}}, "Lead"},
        {{{"TPE3", "Conductor"}, {"TPE2", "Band"}}, "Band"},
        {{{"TPE3", "Conductor"}}, "Conductor"},
        {{{"TIT2", "Only a title"}}, ""},
    };
    for (const Case& c : cases) {
        TagSet tags;
        EXPECT_TRUE(SourceTags::readId3Tags(renderId3(GetParam(), c.frames), tags));
        EXPECT_EQ(tags.artist, c.artist);
    }
}

TEST_P(SourceTagsId3Versions, CommentIsTheOneWithoutDescription) {
    struct Case {
        std::vector<Comment> comments;
        const char* comment;
    };
    const Case cases[] = {
        {{{"iTunNORM", " 00000123 00000456"}, {"", "The user's words"}}, "The user's words"},
        {{{"", "First"}, {"Other", "Second"}}, "First"},
        {{{"iTunNORM", " 00000123"}}, " 00000123"},
    };
    for (const Case& c : cases) {
        TagSet tags;
        EXPECT_TRUE(SourceTags::readId3Tags(renderId3(GetParam(), {}, c.comments), tags));
        EXPECT_EQ(tags.comment, c.comment);
    }
}

INSTANTIATE_TEST_SUITE_P(Both, SourceTagsId3Versions,
                         ::testing::Values(TagLib::ID3v2::v3, TagLib::ID3v2::v4),
                         [](const auto& info) {
                             return info.param == TagLib::ID3v2::v3 ? "v23" : "v24";
                         });

TEST(SourceTagsId3, ResolvesGenreReferencesAsWritten) {
    struct Case {
        std::uint8_t version;
        std::string tcon;
        std::string genre;
    };
    const Case cases[] = {
        {3, "(17)", "Rock"},
        {3, "(17)Indie Rock", "Indie Rock"},
        {3, "(200)", ""},
        {3, "Trance", "Trance"},
        {3, "(40)", "Alt. Rock"},
        {3, "(146)", "Jpop"},
        {3, "(99999999999999)", ""},
        {4, "(17)", "Rock"},
        {4, "(17)Indie Rock", "Indie Rock"},
        {4, "17", "Rock"}, // the plain number form of version 2.4
        {4, "200", ""},
        {4, "Trance", "Trance"},
        {4, "(", "("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tcon);
        TagSet tags;
        // The frame exists, so the tag counts even when the genre resolves to nothing.
        EXPECT_TRUE(
            SourceTags::readId3Tags(rawTag(c.version, {rawFrame("TCON", kLatin1, c.tcon)}), tags));
        EXPECT_EQ(tags.genre, c.genre);
    }
}

TEST(SourceTagsId3, ReadsVersion23YearAndLatin1Text) {
    const Bytes bytes =
        rawTag(3, {rawFrame("TIT2", kLatin1, "Caf\xE9"), rawFrame("TYER", kLatin1, "1987")});
    TagSet tags;
    ASSERT_TRUE(SourceTags::readId3Tags(bytes, tags));
    EXPECT_EQ(tags.title, "Caf\xC3\xA9");
    EXPECT_EQ(tags.year, "1987");
}

// TagLib drops a UTF-8 text that does not decode; what comes out is valid either way, and the
// frames around it are still read.
TEST(SourceTagsId3, NeverPassesInvalidUtf8On) {
    const Bytes bytes =
        rawTag(4, {rawFrame("TIT2", kUtf8, "a\xE9z"), rawFrame("TALB", kUtf8, "\xFF\xFE\xC0\xAF"),
                   rawFrame("TCOM", kUtf8, "Composer")});
    TagSet tags;
    ASSERT_TRUE(SourceTags::readId3Tags(bytes, tags));
    EXPECT_TRUE(allFieldsValidUtf8(tags));
    EXPECT_EQ(tags.title.find('\xE9'), std::string::npos);
    EXPECT_EQ(tags.composer, "Composer");
}

TEST(SourceTagsId3, EachFrameAloneMakesTheTagCount) {
    for (const char* id :
         {"TIT2", "TPE1", "TPE2", "TPE3", "TALB", "TYER", "TDRC", "TCON", "TRCK", "TCOM", "TCOP"}) {
        TagSet tags;
        EXPECT_TRUE(SourceTags::readId3Tags(rawTag(3, {rawFrame(id, kLatin1, "x")}), tags)) << id;
        EXPECT_NE(tags, TagSet{}) << id;
    }
    TagSet tags;
    EXPECT_TRUE(SourceTags::readId3Tags(renderId3(TagLib::ID3v2::v4, {}, {{"", "x"}}), tags));
    EXPECT_EQ(tags.comment, "x");
}

TEST(SourceTagsId3, OtherFramesDoNotCount) {
    TagSet tags;
    EXPECT_FALSE(SourceTags::readId3Tags(
        rawTag(3, {rawFrame("TBPM", kLatin1, "120"), rawFrame("TENC", kLatin1, "enc")}), tags));
    EXPECT_EQ(tags, TagSet{});
}

TEST(SourceTagsId3, RejectsBuffersWithoutAUsableHeader) {
    Bytes oversizedByte = rawTag(3, {rawFrame("TIT2", kLatin1, "Title")});
    oversizedByte[8] = 0x80; // not a sync-safe size
    Bytes notId3 = rawTag(3, {rawFrame("TIT2", kLatin1, "Title")});
    notId3[0] = 'X';
    const Bytes cases[] = {
        {},
        {'I', 'D', '3'},
        {'I', 'D', '3', 3, 0, 0, 0, 0, 0}, // one byte short of a header
        {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0},
        oversizedByte,
        notId3,
    };
    for (const Bytes& bytes : cases) {
        TagSet tags;
        tags.title = "left over";
        EXPECT_FALSE(SourceTags::readId3Tags(bytes, tags)) << bytes.size();
        EXPECT_EQ(tags, TagSet{});
    }
}

TEST(SourceTagsId3, ReadsNothingPastTheDeclaredTag) {
    Bytes bytes = rawTag(3, {rawFrame("TIT2", kLatin1, "Title")});
    const Bytes album = rawFrame("TALB", kLatin1, "Beyond the tag");
    bytes.insert(bytes.end(), album.begin(), album.end());
    TagSet tags;
    ASSERT_TRUE(SourceTags::readId3Tags(bytes, tags));
    EXPECT_EQ(tags.title, "Title");
    EXPECT_EQ(tags.album, "");
}

TEST(SourceTagsId3, RefusesATagCutShort) {
    const Bytes full =
        renderId3(TagLib::ID3v2::v4, {{"TIT2", "Title"}, {"TALB", "Album"}, {"TCOP", "Copyright"}});
    TagSet whole;
    ASSERT_TRUE(SourceTags::readId3Tags(full, whole));
    EXPECT_EQ(whole, (TagSet{"Title", "", "Album", "", "", "", "", "", "Copyright"}));

    // Each prefix sits in a buffer of its own size, so a read past it is caught under ASan.
    for (std::size_t size = 0; size < full.size(); ++size) {
        const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        TagSet tags;
        EXPECT_FALSE(SourceTags::readId3Tags(prefix, tags)) << size;
        EXPECT_EQ(tags, TagSet{}) << size;
    }
}

TEST(SourceTagsId3, SurvivesMangledTags) {
    Bytes seed = rawTag(3, {rawFrame("TIT2", kLatin1, "Title"), rawFrame("TCON", kLatin1, "(17)"),
                            rawFrame("TPE1", kLatin1, "Artist")});
    const Bytes padding(64, 0);
    seed.insert(seed.end(), padding.begin(), padding.end());
    seed[9] = static_cast<std::uint8_t>(seed[9] + padding.size());
    for (std::uint8_t version : {2, 3, 4}) {
        for (std::size_t at = 3; at < seed.size(); ++at) {
            for (std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
                Bytes mangled = seed;
                mangled[3] = version;
                mangled[at] = value;
                TagSet tags;
                SourceTags::readId3Tags(mangled, tags);
                ASSERT_TRUE(allFieldsValidUtf8(tags)) << at << " " << int(value);
            }
        }
    }
    // Random bodies behind a valid-looking header.
    std::uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(state >> 16);
    };
    for (int round = 0; round < 300; ++round) {
        Bytes bytes = {'I', 'D', '3', static_cast<std::uint8_t>(2 + round % 3), next(), next()};
        for (int i = 0; i < 4; ++i)
            bytes.push_back(next() & 0x7F);
        const std::size_t bodySize = next() + 2u * next();
        for (std::size_t i = 0; i < bodySize; ++i)
            bytes.push_back(round % 2 == 0 ? next() : static_cast<std::uint8_t>('A' + next() % 26));
        TagSet tags;
        SourceTags::readId3Tags(bytes, tags);
        ASSERT_TRUE(allFieldsValidUtf8(tags)) << round;
    }
}

// ---- The file readers ----

class SourceTagsFiles : public test::SandboxTest {
protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ASSERT_TRUE(test::haveTool("ffmpeg")) << "ffmpeg is installed by scripts/install-deps";
    }

    // One second of sine made by ffmpeg, with the given options before the output name.
    std::string makeFixture(const std::string& name, const std::string& options) {
        const std::string file = path(name).string();
        const std::string command =
            "ffmpeg -v error -y -f lavfi -i sine=d=1 " + options + " " + test::shellQuote(file);
        EXPECT_EQ(test::runCommand(command), 0) << command;
        return file;
    }

    static std::string metadata(const TagSet& tags) {
        std::string options;
        const std::pair<const char*, const std::string*> keys[] = {
            {"title", &tags.title}, {"artist", &tags.artist},     {"album", &tags.album},
            {"date", &tags.year},   {"genre", &tags.genre},       {"comment", &tags.comment},
            {"track", &tags.track}, {"composer", &tags.composer}, {"copyright", &tags.copyright},
        };
        for (const auto& [key, value] : keys)
            if (!value->empty())
                options += " -metadata " + test::shellQuote(std::string(key) + "=" + *value);
        return options;
    }
};

const TagSet kWritten{kUnicodeTitle, "Artist", "Album",    "2001",     "(40)",
                      "Comment",     "3/9",    "Composer", "Copyright"};

TEST_F(SourceTagsFiles, ReadsTheTagsOfEveryFormat) {
    TagSet full = kWritten;
    full.genre = "Alt. Rock";
    // The ASF muxer keeps neither the year nor the comment where readers look for them.
    TagSet asf = full;
    asf.year.clear();
    asf.comment.clear();
    struct Case {
        const char* file;
        const char* options;
        TagSet expected;
    };
    const Case cases[] = {
        {"id3v23.mp3", "-id3v2_version 3", full},
        {"id3v24.mp3", "-id3v2_version 4 -write_id3v1 1", full},
        {"tags.flac", "", full},
        {"tags.ogg", "-c:a libvorbis", full},
        {"tags.m4a", "-c:a aac", full},
        {"tags.aiff", "-write_id3v2 1", full},
        {"tags.wv", "", full},
        {"tags.wma", "-c:a wmav2", asf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string file = makeFixture(c.file, c.options + metadata(kWritten));
        TagSet tags;
        EXPECT_TRUE(SourceTags::readFileTags(file, tags));
        EXPECT_EQ(tags, c.expected);
    }
}

TEST_F(SourceTagsFiles, ReadsAnId3v1OnlyMp3) {
    ASSERT_TRUE(test::haveTool("lame"));
    const std::string wav = makeFixture("in.wav", "-bitexact");
    const std::string mp3 = path("v1.mp3").string();
    ASSERT_EQ(test::runCommand("lame --quiet --id3v1-only --tt Title --ta Artist --tl Album "
                               "--ty 1999 --tc Comment --tg 40 --tn 7 " +
                               test::shellQuote(wav) + " " + test::shellQuote(mp3)),
              0);
    Bytes bytes = test::readFileBytes(mp3);
    ASSERT_GT(bytes.size(), 128u);
    ASSERT_FALSE(contains(Bytes(bytes.begin(), bytes.begin() + 3), "ID3"));
    const std::size_t v1 = bytes.size() - 128;
    ASSERT_EQ(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(v1),
                          bytes.begin() + static_cast<std::ptrdiff_t>(v1) + 3),
              "TAG");

    TagSet tags;
    ASSERT_TRUE(SourceTags::readFileTags(mp3, tags));
    EXPECT_EQ(tags,
              (TagSet{"Title", "Artist", "Album", "1999", "Alt. Rock", "Comment", "7", "", ""}));

    // The genre byte goes through the program's list; the text is Latin-1.
    const struct {
        std::uint8_t genreByte;
        const char* genre;
    } genres[] = {{0, "Blues"}, {17, "Rock"}, {146, "Jpop"}, {147, "Synthpop"},
                  {148, ""},    {191, ""},    {255, ""}};
    const std::string latin1Title = std::string("Caf\xE9") + std::string(26, '\0');
    std::copy(latin1Title.begin(), latin1Title.end(), bytes.begin() + static_cast<long>(v1) + 3);
    for (const auto& g : genres) {
        bytes.back() = g.genreByte;
        test::writeFileBytes(mp3, bytes);
        ASSERT_TRUE(SourceTags::readFileTags(mp3, tags));
        EXPECT_EQ(tags.genre, g.genre) << int(g.genreByte);
        EXPECT_EQ(tags.title, "Caf\xC3\xA9");
    }
}

TEST_F(SourceTagsFiles, VorbisCommentsPreferCommentAndTheLastOfARepeatedName) {
    const std::string file = makeFixture("tags.ogg", "-c:a libvorbis" + metadata(kWritten));
    {
        TagLib::Ogg::Vorbis::File ogg(file.c_str(), false);
        ASSERT_TRUE(ogg.isValid());
        ogg.tag()->addField("ARTIST", "Second Artist", false);
        ogg.tag()->addField("COMMENT", "Plain comment", true);
        ASSERT_TRUE(ogg.save());
    }
    TagSet tags;
    ASSERT_TRUE(SourceTags::readFileTags(file, tags));
    EXPECT_EQ(tags.title, kUnicodeTitle);
    EXPECT_EQ(tags.artist, "Second Artist");
    EXPECT_EQ(tags.comment, "Plain comment");
}

TEST_F(SourceTagsFiles, FilesWithoutTagsGiveFalse) {
    const std::string text = path("notes.mp3").string();
    test::writeFileBytes(text, Bytes(4096, 'x'));
    const std::string cases[] = {
        path("missing.flac").string(),
        text,
        makeFixture("plain.wav", "-bitexact"),
        makeFixture("plain.flac", "-bitexact"),
        makeFixture("plain.mp3", "-bitexact -write_xing 0 -id3v2_version 0"),
    };
    for (const std::string& file : cases) {
        TagSet tags;
        tags.title = "left over";
        EXPECT_FALSE(SourceTags::readFileTags(file, tags)) << file;
        EXPECT_EQ(tags, TagSet{}) << file;
    }
}

TEST_F(SourceTagsFiles, Mp4ItemsWithTextCount) {
    TagSet written = kWritten;
    written.genre = "Pop";
    const std::string file = makeFixture("tags.m4a", "-c:a aac" + metadata(written));
    TagSet tags;
    ASSERT_TRUE(SourceTags::readMp4Tags(file, tags));
    // The track is the number alone; the copyright is not taken from MP4 items.
    const TagSet expected{kUnicodeTitle, "Artist", "Album",    "2001", "Pop",
                          "Comment",     "3",      "Composer", ""};
    EXPECT_EQ(tags, expected);
}

TEST_F(SourceTagsFiles, Mp4ComposerAloneCounts) {
    const std::string file = makeFixture("composer.m4a", "-c:a aac -metadata composer=Someone");
    TagSet tags;
    EXPECT_TRUE(SourceTags::readMp4Tags(file, tags));
    EXPECT_EQ(tags.composer, "Someone");
}

TEST_F(SourceTagsFiles, Mp4TrackNumberAloneDoesNotCount) {
    const std::string file = makeFixture("track.m4a", "-c:a aac -metadata track=5");
    TagSet tags;
    EXPECT_FALSE(SourceTags::readMp4Tags(file, tags));
    EXPECT_EQ(tags, (TagSet{"", "", "", "", "", "", "5", "", ""}));
}

TEST_F(SourceTagsFiles, Mp4ReaderRefusesOtherFiles) {
    const std::string cases[] = {
        path("missing.m4a").string(),
        makeFixture("tags.flac", metadata(kWritten)),
    };
    for (const std::string& file : cases) {
        TagSet tags;
        EXPECT_FALSE(SourceTags::readMp4Tags(file, tags)) << file;
        EXPECT_EQ(tags, TagSet{});
    }
}

} // namespace
} // namespace velmora
