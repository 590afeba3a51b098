#include "platform/wmf/wmf_header_info.h"

#include "platform/byte_reader.h"
#include "platform/regular_file.h"
#include "platform/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <taglib/asfattribute.h>
#include <taglib/asffile.h>
#include <taglib/asftag.h>

namespace velmora {
namespace {

constexpr std::size_t kGuidBytes = 16;
using Guid = std::array<std::uint8_t, kGuidBytes>;

// GUIDs as stored in the file (first three fields little-endian).
constexpr Guid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kFilePropertiesObject = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

// Header object: GUID, size (8), object count (4), two reserved bytes.
constexpr std::uint64_t kHeaderObjectBytes = 30;
// Every object: GUID, size (8).
constexpr std::uint64_t kObjectHeaderBytes = 24;
// File properties body: file id (16), file size, creation date, data packets, play duration
// (100-ns units), send duration, preroll (milliseconds) (8 each), flags, minimum and maximum
// packet size, maximum bit rate (bits per second) (4 each).
constexpr std::size_t kFilePropertiesBytes = 80;
constexpr std::uint32_t kBroadcastFlag = 0x1;
constexpr std::uint64_t kHundredNsPerMs = 10'000;
// A header never holds this many objects; the walk stops there whatever the count says.
constexpr std::uint32_t kMaxObjects = 4096;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Consumes the next GUID when it is `guid`; otherwise fails without moving.
bool readGuid(ByteReader& in, const Guid& guid) {
    return in.matchBytes(guid);
}

// The library's text as program text: UTF-8, repaired, cut at a NUL as a C string would be.
std::string programText(const TagLib::String& text) {
    const std::string utf8 = text.to8Bit(true);
    return repairUtf8(std::string_view(utf8).substr(0, utf8.find('\0')));
}

WmfAttribute fromTagLib(const TagLib::ASF::Attribute& attribute) {
    WmfAttribute result;
    switch (attribute.type()) {
    case TagLib::ASF::Attribute::UnicodeType:
        result.type = WmfAttribute::Type::Text;
        result.text = programText(attribute.toString());
        break;
    case TagLib::ASF::Attribute::DWordType:
        result.type = WmfAttribute::Type::Number;
        result.number = attribute.toUInt();
        break;
    case TagLib::ASF::Attribute::QWordType:
        result.type = WmfAttribute::Type::Number;
        result.number = attribute.toULongLong();
        break;
    case TagLib::ASF::Attribute::WordType:
        result.type = WmfAttribute::Type::Number;
        result.number = attribute.toUShort();
        break;
    case TagLib::ASF::Attribute::BoolType:
        result.type = WmfAttribute::Type::Number;
        result.number = attribute.toBool() ? 1 : 0;
        break;
    default:
        break;
    }
    return result;
}

WmfAttribute textAttribute(const TagLib::String& text) {
    return {WmfAttribute::Type::Text, programText(text), 0};
}

WmfAttribute numberAttribute(std::uint64_t number) {
    return {WmfAttribute::Type::Number, {}, number};
}

} // namespace

bool WmfHeaderInfo::read(const std::string& path) {
    clear();
    if (!readFileProperties(path))
        return false;

    TagLib::ASF::File file(path.c_str(), false);
    const TagLib::ASF::Tag* tag = file.isValid() ? file.tag() : nullptr;
    if (tag == nullptr) {
        clear();
        return false;
    }
    // The content description object has no "absent" marker of its own: an empty text is
    // treated as a missing attribute, which gives the same empty field.
    const std::pair<const char*, TagLib::String> described[] = {
        {"Title", tag->title()},
        {"Author", tag->artist()},
        {"Description", tag->comment()},
        {"Copyright", tag->copyright()},
    };
    for (const auto& [name, text] : described)
        if (!text.isEmpty())
            m_attributes.insert_or_assign(name, textAttribute(text));

    for (const auto& [name, list] : tag->attributeListMap()) {
        // Only the file-level value counts: attributes of other streams are not the file's.
        for (const TagLib::ASF::Attribute& attribute : list) {
            if (attribute.stream() != 0)
                continue;
            m_attributes.insert_or_assign(programText(name), fromTagLib(attribute));
            break;
        }
    }
    return true;
}

std::optional<WmfAttribute> WmfHeaderInfo::attribute(std::string_view name) const {
    const auto found = m_attributes.find(name);
    if (found == m_attributes.end())
        return std::nullopt;
    return found->second;
}

bool WmfHeaderInfo::readFileProperties(const std::string& path) {
    const std::unique_ptr<std::FILE, FileCloser> file(openRegularFileStream(path));
    if (!file)
        return false;
    auto in = ByteReader::fromFile(file.get());
    std::uint64_t headerSize = 0;
    std::uint32_t objectCount = 0;
    if (!in || !in->seek(0) || !readGuid(*in, kHeaderObject) || !in->readU64LE(headerSize) ||
        !in->readU32LE(objectCount) || headerSize < kHeaderObjectBytes)
        return false;

    std::uint64_t offset = kHeaderObjectBytes;
    for (std::uint32_t index = 0; index < objectCount && index < kMaxObjects; ++index) {
        // offset <= headerSize holds here; the object must lie inside the header object.
        if (headerSize - offset < kObjectHeaderBytes || !in->seek(offset))
            break;
        const bool isFileProperties = readGuid(*in, kFilePropertiesObject);
        std::uint64_t objectSize = 0;
        if ((!isFileProperties && !in->skip(kGuidBytes)) || !in->readU64LE(objectSize))
            break;
        if (objectSize < kObjectHeaderBytes || objectSize > headerSize - offset)
            break;
        std::array<std::uint8_t, kFilePropertiesBytes> body{};
        if (isFileProperties && objectSize >= kObjectHeaderBytes + body.size() &&
            in->readBytes(body)) {
            readFilePropertiesBody(body);
            break;
        }
        offset += objectSize;
    }
    return true;
}

void WmfHeaderInfo::readFilePropertiesBody(std::span<const std::uint8_t> body) {
    ByteReader in(body);
    std::uint64_t play = 0;
    std::uint64_t prerollMs = 0;
    std::uint32_t flags = 0;
    std::uint32_t maxBitrate = 0;
    // File id (16), file size, creation date, data packets (8 each), then the play duration.
    if (!in.skip(40) || !in.readU64LE(play) || !in.skip(8) || !in.readU64LE(prerollMs) ||
        !in.readU32LE(flags) || !in.skip(8) || !in.readU32LE(maxBitrate))
        return;
    // A live broadcast has no duration; play duration includes the preroll.
    if ((flags & kBroadcastFlag) == 0 && prerollMs <= play / kHundredNsPerMs)
        m_attributes.insert_or_assign(std::string(kDuration),
                                      numberAttribute(play - prerollMs * kHundredNsPerMs));
    m_attributes.insert_or_assign(std::string(kBitrate), numberAttribute(maxBitrate));
}

} // namespace velmora
