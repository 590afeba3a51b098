#include "writers/id3_tag_renderer.h"

#include "platform/genre_list.h"
#include "platform/text_encoding.h"

#include <charconv>
#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

namespace velmora {
namespace {

TagLib::String taglibText(const std::string& utf8) {
    return TagLib::String(repairUtf8(utf8), TagLib::String::UTF8);
}

std::vector<std::uint8_t> bytesOf(const TagLib::ByteVector& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.data()),
            reinterpret_cast<const std::uint8_t*>(data.data()) + data.size()};
}

// The leading decimal number of a year text ("2004-05-01" gives 2004); 0 when there is none.
unsigned int yearNumber(const std::string& year) {
    unsigned int number = 0;
    const auto [end, error] = std::from_chars(year.data(), year.data() + year.size(), number);
    return error == std::errc() && end != year.data() ? number : 0;
}

unsigned int lowByte(int value) {
    return static_cast<unsigned int>(value) & 0xFFu;
}

// Room left after the frames so that a tag editor can grow the tag without moving the audio.
constexpr std::size_t kId3v2PaddingBytes = 1024;
constexpr std::size_t kId3v2HeaderBytes = 10;
constexpr unsigned int kId3v2MajorVersion = 3;
constexpr std::size_t kId3v2MaxBodyBytes = std::size_t{1} << 28;

// Appends one frame rendered for ID3v2.3. The frame is rendered inside a tag of its own and
// cut out of it, because the library renders the frames of a whole 2.3 tag in an order of its
// own (TCON last). Latin-1 is asked for; the library widens the frame to UTF-16 when its text
// needs it. The tag takes ownership of the frame.
void appendFrame(TagLib::ByteVector& frames, TagLib::ID3v2::Frame* frame) {
    TagLib::ID3v2::Tag single;
    single.addFrame(frame);
    const TagLib::ByteVector tag = single.render(TagLib::ID3v2::v3);
    const unsigned int kFrameHeaderBytes = 10;
    if (tag.size() < kId3v2HeaderBytes + kFrameHeaderBytes)
        return;
    // A 2.3 frame size is a plain big-endian number after the four-letter identifier.
    const unsigned int size = tag.toUInt(kId3v2HeaderBytes + 4, true);
    if (size > tag.size() - kId3v2HeaderBytes - kFrameHeaderBytes)
        return;
    frames.append(tag.mid(kId3v2HeaderBytes, kFrameHeaderBytes + size));
}

void appendTextFrame(TagLib::ByteVector& frames, const char* id, const std::string& text) {
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::Latin1);
    frame->setText(taglibText(text));
    appendFrame(frames, frame);
}

// A 28-bit size as four bytes of seven bits each, as the ID3v2 header stores it.
void appendSyncsafe(std::vector<std::uint8_t>& out, std::size_t size) {
    for (int shift = 21; shift >= 0; shift -= 7)
        out.push_back(static_cast<std::uint8_t>((size >> shift) & 0x7F));
}

} // namespace

std::string Id3TagRenderer::trackText(int track, int totalTracks) {
    const unsigned int number = lowByte(track);
    const unsigned int total = lowByte(totalTracks);
    if (number == 0)
        return {};
    if (total != 0)
        return std::to_string(number) + "/" + std::to_string(total);
    return std::to_string(number);
}

std::optional<std::vector<std::uint8_t>> Id3TagRenderer::render(int version, const Fields& fields) {
    std::vector<std::uint8_t> bytes = version == 1 ? renderId3v1(fields) : renderId3v2(fields);
    if (bytes.empty())
        return std::nullopt;
    return bytes;
}

std::vector<std::uint8_t> Id3TagRenderer::renderId3v1(const Fields& fields) {
    TagLib::ID3v1::Tag tag;
    tag.setTitle(taglibText(fields.text.title));
    tag.setArtist(taglibText(fields.text.artist));
    tag.setAlbum(taglibText(fields.text.album));
    tag.setYear(yearNumber(fields.text.year));
    tag.setComment(taglibText(fields.text.comment));
    tag.setTrack(lowByte(fields.track));
    tag.setGenreNumber(static_cast<unsigned int>(
        GenreList::indexOf(fields.text.genre).value_or(GenreList::kOther)));
    std::vector<std::uint8_t> block = bytesOf(tag.render());
    if (block.size() != kId3v1Bytes)
        return {};
    return block;
}

std::vector<std::uint8_t> Id3TagRenderer::renderId3v2(const Fields& fields) {
    TagLib::ByteVector frames;
    appendTextFrame(frames, "TIT2", fields.text.title);
    appendTextFrame(frames, "TPE1", fields.text.artist);
    appendTextFrame(frames, "TALB", fields.text.album);
    appendTextFrame(frames, "TYER", fields.text.year);
    appendTextFrame(frames, "TCON", fields.text.genre);
    if (!fields.text.composer.empty())
        appendTextFrame(frames, "TCOM", fields.text.composer);
    if (!fields.text.copyright.empty())
        appendTextFrame(frames, "TCOP", fields.text.copyright);

    auto* comment = new TagLib::ID3v2::CommentsFrame(TagLib::String::Latin1);
    comment->setLanguage("XXX");
    comment->setDescription("");
    comment->setText(taglibText(fields.text.comment));
    appendFrame(frames, comment);

    const std::string track = trackText(fields.track, fields.totalTracks);
    if (!track.empty())
        appendTextFrame(frames, "TRCK", track);

    // Version 2.3, where TYER is a frame of its own and every player reads the tag.
    std::vector<std::uint8_t> tag = {'I', 'D', '3', kId3v2MajorVersion, 0, 0};
    const std::size_t body = frames.size() + kId3v2PaddingBytes;
    // The header's size field holds 28 bits; a larger tag cannot be written at all.
    if (body >= kId3v2MaxBodyBytes)
        return {};
    appendSyncsafe(tag, body);
    tag.reserve(kId3v2HeaderBytes + body);
    const std::vector<std::uint8_t> frameBytes = bytesOf(frames);
    tag.insert(tag.end(), frameBytes.begin(), frameBytes.end());
    tag.resize(kId3v2HeaderBytes + body, 0);
    return tag;
}

} // namespace velmora
