#include "sources/source_tags.h"

#include "platform/genre_list.h"
#include "platform/regular_file.h"
#include "platform/text_encoding.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

namespace velmora {
namespace {

constexpr std::size_t kId3HeaderBytes = 10;
constexpr std::size_t kId3FooterBytes = 10;
// Any genre number above the list's last index resolves to nothing, so the parse may stop
// growing the number there instead of overflowing.
constexpr unsigned kGenreNumberCap = 1000;

// TagLib text as program text: UTF-8, repaired, and cut at a NUL as the C strings of the
// writers downstream would cut it anyway.
std::string programText(const TagLib::String& text) {
    const std::string utf8 = text.to8Bit(true);
    return repairUtf8(std::string_view(utf8).substr(0, utf8.find('\0')));
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isAllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isAsciiDigit);
}

// TagLib splits a TCON text such as "(17)Indie Rock" into the fields "17" and "Indie Rock"
// while it parses, so the reference is put together again from those fields: a field of text
// wins over a bare number, as the text after the reference does in the unsplit form.
std::string genreFromTconFields(const TagLib::StringList& fields) {
    std::string number;
    for (const TagLib::String& field : fields) {
        std::string text = programText(field);
        if (!isAllDigits(text))
            return SourceTags::resolveGenre(text);
        if (number.empty())
            number = std::move(text);
    }
    return number.empty() ? std::string() : SourceTags::resolveGenre("(" + number + ")");
}

// An ID3v1 genre byte through the program's list: 255 (no genre) and numbers past the list
// give no genre.
std::string genreFromId3v1(const TagLib::ID3v1::Tag& tag) {
    const auto name = GenreList::name(static_cast<int>(std::min(tag.genreNumber(), 255u)));
    return name ? std::string(*name) : std::string();
}

// The frames with this ID in tag order; none when the tag has no such frame.
const TagLib::ID3v2::FrameList* framesWithId(const TagLib::ID3v2::Tag& tag, const char* id) {
    const TagLib::ID3v2::FrameListMap& frames = tag.frameListMap();
    const auto found = frames.find(TagLib::ByteVector(id));
    return found == frames.end() || found->second.isEmpty() ? nullptr : &found->second;
}

// The first text field of the first frame with this ID, empty when the frame is missing.
std::string firstFrameText(const TagLib::ID3v2::Tag& tag, const char* id) {
    const TagLib::ID3v2::FrameList* frames = framesWithId(tag, id);
    if (!frames)
        return {};
    const TagLib::ID3v2::Frame* frame = frames->front();
    if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
        const TagLib::StringList fields = text->fieldList();
        return fields.isEmpty() ? std::string() : programText(fields.front());
    }
    return programText(frame->toString());
}

std::string genreFromTcon(const TagLib::ID3v2::Tag& tag) {
    const TagLib::ID3v2::FrameList* frames = framesWithId(tag, "TCON");
    const auto* text =
        frames ? dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frames->front())
               : nullptr;
    return text ? genreFromTconFields(text->fieldList()) : std::string();
}

// Players write several COMM frames (the ones with a description carry machine data such as
// loudness values); the one without a description is the user's comment.
std::string commentFromId3v2(const TagLib::ID3v2::Tag& tag) {
    const TagLib::ID3v2::FrameList* frames = framesWithId(tag, "COMM");
    if (!frames)
        return {};
    const TagLib::ID3v2::CommentsFrame* chosen = nullptr;
    for (const TagLib::ID3v2::Frame* frame : *frames) {
        const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame);
        if (comment && (!chosen || comment->description().isEmpty()))
            chosen = comment;
        if (chosen && chosen->description().isEmpty())
            break;
    }
    return chosen ? programText(chosen->text()) : std::string();
}

// The tag whose fields TagLib's property map reports for a file that can carry several: the
// first non-empty one in TagLib's own order. Needed because the map spells ID3 genre numbers
// with TagLib's names, which are not the program's.
const TagLib::Tag* reportedTag(std::initializer_list<const TagLib::Tag*> inOrder) {
    for (const TagLib::Tag* tag : inOrder)
        if (tag && !tag->isEmpty())
            return tag;
    return nullptr;
}

const TagLib::Tag* reportedTagOf(TagLib::File* file) {
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file))
        return reportedTag({mpeg->ID3v2Tag(), mpeg->APETag(), mpeg->ID3v1Tag()});
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file))
        return reportedTag({flac->xiphComment(), flac->ID3v2Tag(), flac->ID3v1Tag()});
    if (auto* tta = dynamic_cast<TagLib::TrueAudio::File*>(file))
        return reportedTag({tta->ID3v2Tag(), tta->ID3v1Tag()});
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file))
        return reportedTag({wav->ID3v2Tag(), wav->InfoTag()});
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file))
        return reportedTag({aiff->tag()});
    if (auto* wavPack = dynamic_cast<TagLib::WavPack::File*>(file))
        return reportedTag({wavPack->APETag(), wavPack->ID3v1Tag()});
    if (auto* ape = dynamic_cast<TagLib::APE::File*>(file))
        return reportedTag({ape->APETag(), ape->ID3v1Tag()});
    if (auto* mpc = dynamic_cast<TagLib::MPC::File*>(file))
        return reportedTag({mpc->APETag(), mpc->ID3v1Tag()});
    return nullptr;
}

// A repeated name (two ARTIST comments) reports its last value, as the Vorbis comment reader
// does.
std::string propertyText(const TagLib::PropertyMap& properties, const char* name) {
    const auto found = properties.find(name);
    if (found == properties.end() || found->second.isEmpty())
        return {};
    return programText(found->second.back());
}

std::string genreOfFile(TagLib::File* file, const TagLib::PropertyMap& properties) {
    const TagLib::Tag* reported = reportedTagOf(file);
    if (const auto* id3v2 = dynamic_cast<const TagLib::ID3v2::Tag*>(reported))
        return genreFromTcon(*id3v2);
    if (const auto* id3v1 = dynamic_cast<const TagLib::ID3v1::Tag*>(reported))
        return genreFromId3v1(*id3v1);
    return SourceTags::resolveGenre(propertyText(properties, "GENRE"));
}

bool anyField(const TagSet& tags) {
    return !(tags == TagSet{});
}

bool readFileTagsUnguarded(const std::string& path, TagSet& tags) {
    TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull())
        return false;
    TagLib::File* file = ref.file();
    const TagLib::PropertyMap properties = file->properties();
    tags.title = propertyText(properties, "TITLE");
    tags.artist = propertyText(properties, "ARTIST");
    tags.album = propertyText(properties, "ALBUM");
    tags.year = propertyText(properties, "DATE");
    tags.genre = genreOfFile(file, properties);
    tags.comment = propertyText(properties, "COMMENT");
    // Vorbis comments as many encoders write them carry the comment as DESCRIPTION.
    if (tags.comment.empty())
        tags.comment = propertyText(properties, "DESCRIPTION");
    tags.track = propertyText(properties, "TRACKNUMBER");
    tags.composer = propertyText(properties, "COMPOSER");
    tags.copyright = propertyText(properties, "COPYRIGHT");
    return anyField(tags);
}

std::string mp4Text(const TagLib::MP4::Tag& tag, const char* key, bool& found) {
    if (!tag.contains(key))
        return {};
    const TagLib::StringList values = tag.item(key).toStringList();
    if (values.isEmpty())
        return {};
    std::string text = programText(values.front());
    found = found || !text.empty();
    return text;
}

bool readMp4TagsUnguarded(const std::string& path, TagSet& tags) {
    TagLib::MP4::File file(path.c_str(), false);
    if (!file.isValid() || !file.tag())
        return false;
    const TagLib::MP4::Tag& tag = *file.tag();
    bool found = false;
    tags.title = mp4Text(tag, "\251nam", found);
    tags.artist = mp4Text(tag, "\251ART", found);
    tags.album = mp4Text(tag, "\251alb", found);
    tags.year = mp4Text(tag, "\251day", found);
    tags.genre = mp4Text(tag, "\251gen", found);
    tags.comment = mp4Text(tag, "\251cmt", found);
    if (tag.contains("trkn"))
        tags.track = std::to_string(tag.item("trkn").toIntPair().first);
    tags.composer = mp4Text(tag, "\251wrt", found);
    return found;
}

// A TagLib file over bytes held in memory, only so that an ID3v2 tag can be parsed from them.
class MemoryFile : public TagLib::File {
public:
    explicit MemoryFile(TagLib::IOStream* stream) : TagLib::File(stream) {}
    TagLib::Tag* tag() const override { return nullptr; }
    TagLib::AudioProperties* audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

// The bytes of the tag that the header announces; zero when the buffer holds no ID3v2 header or
// less than the whole tag. TagLib would parse a tag cut short, but it also takes the cut-off last
// frame as whole, so a cut title would pass for the real one.
std::size_t id3v2Extent(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kId3HeaderBytes || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3')
        return 0;
    std::size_t declared = 0;
    for (std::size_t i = 6; i < kId3HeaderBytes; ++i) {
        if (bytes[i] >= 0x80) // the size is a sync-safe integer
            return 0;
        declared = (declared << 7) | bytes[i];
    }
    declared += kId3HeaderBytes;
    const bool footer = bytes[3] >= 4 && (bytes[5] & 0x10) != 0;
    if (footer)
        declared += kId3FooterBytes;
    return declared <= bytes.size() ? declared : 0;
}

bool readId3TagsUnguarded(std::span<const std::uint8_t> bytes, TagSet& tags) {
    const std::size_t extent = id3v2Extent(bytes);
    if (extent == 0)
        return false;
    // TagLib reads through this copy only, so nothing past the tag is ever reached.
    TagLib::ByteVectorStream stream(TagLib::ByteVector(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<unsigned int>(extent)));
    MemoryFile file(&stream);
    const TagLib::ID3v2::Tag tag(&file, 0);

    tags.title = firstFrameText(tag, "TIT2");
    for (const char* id : {"TPE1", "TPE2", "TPE3"}) {
        tags.artist = firstFrameText(tag, id);
        if (!tags.artist.empty())
            break;
    }
    tags.album = firstFrameText(tag, "TALB");
    // TagLib turns a version 2.3 TYER into TDRC while it parses; both are read in case.
    tags.year = firstFrameText(tag, "TDRC");
    if (tags.year.empty())
        tags.year = firstFrameText(tag, "TYER");
    tags.genre = genreFromTcon(tag);
    tags.comment = commentFromId3v2(tag);
    tags.track = firstFrameText(tag, "TRCK");
    tags.composer = firstFrameText(tag, "TCOM");
    tags.copyright = firstFrameText(tag, "TCOP");

    for (const char* id : {"TIT2", "TPE1", "TPE2", "TPE3", "TALB", "TYER", "TDRC", "TCON", "COMM",
                           "TRCK", "TCOM", "TCOP"})
        if (framesWithId(tag, id))
            return true;
    return false;
}

} // namespace

bool SourceTags::readFileTags(const std::string& path, TagSet& tags) {
    tags = TagSet{};
    // TagLib opens the path itself: a FIFO or device must be refused before it does.
    if (checkRegularFile(path) != OpenFailure::None)
        return false;
    try {
        return readFileTagsUnguarded(path, tags);
    } catch (...) {
        return false;
    }
}

bool SourceTags::readMp4Tags(const std::string& path, TagSet& tags) {
    tags = TagSet{};
    if (checkRegularFile(path) != OpenFailure::None)
        return false;
    try {
        return readMp4TagsUnguarded(path, tags);
    } catch (...) {
        return false;
    }
}

bool SourceTags::readId3Tags(std::span<const std::uint8_t> id3v2, TagSet& tags) {
    tags = TagSet{};
    try {
        return readId3TagsUnguarded(id3v2, tags);
    } catch (...) {
        return false;
    }
}

std::string SourceTags::resolveGenre(std::string_view tcon) {
    if (tcon.size() < 2 || tcon[0] != '(' || !isAsciiDigit(tcon[1]))
        return std::string(tcon);
    std::size_t at = 1;
    unsigned number = 0;
    for (; at < tcon.size() && isAsciiDigit(tcon[at]); ++at)
        number = std::min(number * 10 + static_cast<unsigned>(tcon[at] - '0'), kGenreNumberCap);
    if (at + 1 < tcon.size() && tcon[at] == ')')
        return std::string(tcon.substr(at + 1));
    const auto name = GenreList::name(static_cast<int>(number));
    return name ? std::string(*name) : std::string();
}

} // namespace velmora
