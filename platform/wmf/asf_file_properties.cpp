#include "platform/wmf/asf_file_properties.h"

#include "platform/file_descriptor.h"
#include "platform/write_all.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <limits>
#include <span>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

using Guid = AsfFileProperties::Guid;

// GUIDs as the file stores them (first three fields little-endian).
constexpr Guid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kFilePropertiesObject = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid kDataObject = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

constexpr std::uint64_t kObjectHeaderBytes = 24;    // GUID + 64-bit size
constexpr std::uint64_t kHeaderObjectBytes = 30;    // + object count + two reserved bytes
constexpr std::uint64_t kFilePropertiesBytes = 104; // the fixed size of that object
constexpr std::uint64_t kFileIdOffset = 24;         // in File Properties and Data alike
constexpr std::uint64_t kFileSizeOffset = 40;       // in File Properties
constexpr std::uint64_t kCreationDateOffset = 48;   // in File Properties
constexpr std::uint64_t kDataObjectMinimumBytes = 50;
// Seconds from 1 January 1601 to 1 January 1970.
constexpr std::uint64_t kEpochDifferenceSeconds = 11'644'473'600;

std::uint64_t littleEndian(std::span<const std::uint8_t> bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

std::array<std::uint8_t, 8> littleEndianBytes(std::uint64_t value) {
    std::array<std::uint8_t, 8> bytes{};
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
    return bytes;
}

struct ObjectStart {
    Guid guid{};
    std::uint64_t size = 0;
};

// The object at `offset`, whose size must fit between `offset` and `end`.
bool readObjectStart(int fd, std::uint64_t offset, std::uint64_t end, ObjectStart& object) {
    std::array<std::uint8_t, kObjectHeaderBytes> bytes{};
    if (offset > end || end - offset < kObjectHeaderBytes || !readAllAt(fd, bytes, offset))
        return false;
    std::copy_n(bytes.begin(), object.guid.size(), object.guid.begin());
    object.size = littleEndian(std::span(bytes).subspan(16, 8));
    return object.size >= kObjectHeaderBytes && object.size <= end - offset;
}

struct Layout {
    std::uint64_t fileProperties = 0; // offsets of the two objects
    std::uint64_t data = 0;
};

bool findObjects(int fd, std::uint64_t fileSize, Layout& layout) {
    ObjectStart header;
    std::array<std::uint8_t, 4> count{};
    if (!readObjectStart(fd, 0, fileSize, header) || header.guid != kHeaderObject ||
        header.size < kHeaderObjectBytes || !readAllAt(fd, count, 16 + 8))
        return false;
    const std::uint64_t objects = littleEndian(count);
    std::uint64_t at = kHeaderObjectBytes;
    bool found = false;
    // Every pass moves past one whole object inside the header, so the walk ends.
    for (std::uint64_t i = 0; i < objects && !found; ++i) {
        ObjectStart object;
        if (!readObjectStart(fd, at, header.size, object))
            return false;
        if (object.guid == kFilePropertiesObject && object.size >= kFilePropertiesBytes) {
            layout.fileProperties = at;
            found = true;
        }
        at += object.size;
    }
    ObjectStart data;
    if (!found || !readObjectStart(fd, header.size, fileSize, data) || data.guid != kDataObject ||
        data.size < kDataObjectMinimumBytes)
        return false;
    layout.data = header.size;
    return true;
}

bool writeAt(int fd, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    return offset <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) &&
           writeAllAt(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
}

} // namespace

bool AsfFileProperties::freshGuid(Guid& guid) {
    std::size_t done = 0;
    while (done < guid.size()) {
        const ssize_t got = ::getrandom(guid.data() + done, guid.size() - done, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    // Version 4, RFC 4122 variant; the version sits in the high bits of the little-endian
    // third field (byte 7).
    guid[7] = static_cast<std::uint8_t>((guid[7] & 0x0F) | 0x40);
    guid[8] = static_cast<std::uint8_t>((guid[8] & 0x3F) | 0x80);
    return true;
}

std::uint64_t AsfFileProperties::fileTimeNow() {
    const auto sinceUnixEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto units =
        std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>>(
            sinceUnixEpoch)
            .count();
    return kEpochDifferenceSeconds * 10'000'000 +
           static_cast<std::uint64_t>(std::max<std::int64_t>(units, 0));
}

bool AsfFileProperties::stamp(const std::string& path, const Guid& fileId,
                              std::uint64_t creationTime) {
    const FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size < 0)
        return false;
    const auto fileSize = static_cast<std::uint64_t>(status.st_size);
    Layout layout;
    if (!findObjects(fd.get(), fileSize, layout))
        return false;
    return writeAt(fd.get(), layout.fileProperties + kFileIdOffset, fileId) &&
           writeAt(fd.get(), layout.fileProperties + kFileSizeOffset,
                   littleEndianBytes(fileSize)) &&
           writeAt(fd.get(), layout.fileProperties + kCreationDateOffset,
                   littleEndianBytes(creationTime)) &&
           writeAt(fd.get(), layout.data + kFileIdOffset, fileId);
}

} // namespace velmora
