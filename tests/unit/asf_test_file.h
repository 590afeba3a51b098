#pragma once

// A walk over the header of an ASF file, independent of the code under test: the content
// description strings, the extended content descriptors (name, type, value) in file order, the
// File Properties object's identity fields and the Data object's File ID.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::test {

struct AsfDescriptor {
    std::string name;
    int type = -1;            // 0 text, 1 bytes, 2 BOOL, 3 DWORD, 4 QWORD, 5 WORD
    std::string text;         // type 0, converted to UTF-8, without its terminator
    std::uint64_t number = 0; // types 2 to 5
    std::size_t valueBytes = 0;
};

struct AsfHeader {
    bool hasFileProperties = false;
    std::size_t filePropertiesAt = 0; // offsets of the two objects in the file
    std::size_t dataAt = 0;
    std::vector<std::uint8_t> fileId;     // File Properties
    std::uint64_t fileSize = 0;           // bytes
    std::uint64_t creationDate = 0;       // 100-ns units since 1601
    std::vector<std::uint8_t> dataFileId; // Data object, which follows the header object
    bool hasContentDescription = false;
    std::string title, author, copyright, description, rating;
    std::vector<AsfDescriptor> descriptors;
};

namespace asf_detail {

inline std::uint64_t readLE(const std::vector<std::uint8_t>& d, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | d[at + static_cast<std::size_t>(i)];
    return v;
}

// UTF-16LE (basic plane and surrogate pairs) to UTF-8, stopping at a NUL.
inline std::string utf16ToUtf8(const std::vector<std::uint8_t>& d, std::size_t at,
                               std::size_t bytes) {
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        std::uint32_t c = static_cast<std::uint32_t>(readLE(d, at + i, 2));
        if (c == 0)
            break;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes) {
            const auto low = static_cast<std::uint32_t>(readLE(d, at + i + 2, 2));
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The GUID as the file stores it (first three fields little-endian).
inline std::vector<std::uint8_t> guidBytes(std::uint32_t a, std::uint16_t b, std::uint16_t c,
                                           std::uint64_t d) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(a >> (8 * i)));
    for (int i = 0; i < 2; ++i)
        out.push_back(static_cast<std::uint8_t>(b >> (8 * i)));
    for (int i = 0; i < 2; ++i)
        out.push_back(static_cast<std::uint8_t>(c >> (8 * i)));
    for (int i = 7; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(d >> (8 * i)));
    return out;
}

inline bool guidAt(const std::vector<std::uint8_t>& d, std::size_t at,
                   const std::vector<std::uint8_t>& guid) {
    return at + 16 <= d.size() && std::equal(guid.begin(), guid.end(), d.begin() + at);
}

} // namespace asf_detail

// None when the file does not start with a well-formed ASF header object.
inline std::optional<AsfHeader> walkAsfHeader(const std::vector<std::uint8_t>& d) {
    using namespace asf_detail;
    const auto header = guidBytes(0x75B22630, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
    const auto content = guidBytes(0x75B22633, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
    const auto extended = guidBytes(0xD2D0A440, 0xE307, 0x11D2, 0x97F000A0C95EA850ull);
    const auto properties = guidBytes(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE400C00C205365ull);
    const auto data = guidBytes(0x75B22636, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
    if (!guidAt(d, 0, header) || d.size() < 30)
        return std::nullopt;
    const std::uint64_t headerSize = readLE(d, 16, 8);
    const std::uint64_t objects = readLE(d, 24, 4);
    if (headerSize > d.size())
        return std::nullopt;
    AsfHeader out;
    std::size_t at = 30;
    for (std::uint64_t i = 0; i < objects; ++i) {
        if (at + 24 > headerSize)
            return std::nullopt;
        const std::uint64_t size = readLE(d, at + 16, 8);
        if (size < 24 || at + size > headerSize)
            return std::nullopt;
        std::size_t p = at + 24;
        if (guidAt(d, at, properties) && size >= 104) {
            out.hasFileProperties = true;
            out.filePropertiesAt = at;
            out.fileId.assign(d.begin() + static_cast<std::ptrdiff_t>(p),
                              d.begin() + static_cast<std::ptrdiff_t>(p + 16));
            out.fileSize = readLE(d, p + 16, 8);
            out.creationDate = readLE(d, p + 24, 8);
        } else if (guidAt(d, at, content)) {
            out.hasContentDescription = true;
            std::uint64_t lengths[5];
            for (auto& length : lengths) {
                length = readLE(d, p, 2);
                p += 2;
            }
            std::string* fields[5] = {&out.title, &out.author, &out.copyright, &out.description,
                                      &out.rating};
            for (int f = 0; f < 5; ++f) {
                if (p + lengths[f] > at + size)
                    return std::nullopt;
                *fields[f] = utf16ToUtf8(d, p, lengths[f]);
                p += lengths[f];
            }
        } else if (guidAt(d, at, extended)) {
            const std::uint64_t count = readLE(d, p, 2);
            p += 2;
            for (std::uint64_t k = 0; k < count; ++k) {
                AsfDescriptor descriptor;
                const std::size_t nameBytes = readLE(d, p, 2);
                if (p + 2 + nameBytes + 4 > at + size)
                    return std::nullopt;
                descriptor.name = utf16ToUtf8(d, p + 2, nameBytes);
                p += 2 + nameBytes;
                descriptor.type = static_cast<int>(readLE(d, p, 2));
                descriptor.valueBytes = readLE(d, p + 2, 2);
                p += 4;
                if (p + descriptor.valueBytes > at + size)
                    return std::nullopt;
                if (descriptor.type == 0)
                    descriptor.text = utf16ToUtf8(d, p, descriptor.valueBytes);
                else if (descriptor.type >= 2 && descriptor.valueBytes <= 8)
                    descriptor.number = readLE(d, p, static_cast<int>(descriptor.valueBytes));
                p += descriptor.valueBytes;
                out.descriptors.push_back(descriptor);
            }
        }
        at += size;
    }
    if (guidAt(d, headerSize, data) && headerSize + 40 <= d.size()) {
        out.dataAt = headerSize;
        out.dataFileId.assign(d.begin() + static_cast<std::ptrdiff_t>(headerSize + 24),
                              d.begin() + static_cast<std::ptrdiff_t>(headerSize + 40));
    }
    return out;
}

// The file with the fields that differ between two writings of the same audio (File IDs and
// Creation Date) zeroed, so that such files compare equal.
inline std::vector<std::uint8_t> withoutAsfIdentity(std::vector<std::uint8_t> d) {
    const auto header = walkAsfHeader(d);
    if (!header || !header->hasFileProperties || header->dataAt == 0)
        return d;
    const auto zero = [&](std::size_t at, std::size_t bytes) {
        std::fill(d.begin() + static_cast<std::ptrdiff_t>(at),
                  d.begin() + static_cast<std::ptrdiff_t>(at + bytes), 0);
    };
    zero(header->filePropertiesAt + 24, 16);
    zero(header->filePropertiesAt + 48, 8);
    zero(header->dataAt + 24, 16);
    return d;
}

} // namespace velmora::test
