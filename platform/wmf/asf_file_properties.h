#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmora {

// The identity fields of a finished ASF file: the File Properties object's File ID, File Size
// and Creation Date, and the Data object's File ID, which must equal the first. The muxer writes
// a fixed File ID, a creation date of 0 and a size from before the attributes grew the header, so
// they are stamped once the file is complete.
class AsfFileProperties {
public:
    using Guid = std::array<std::uint8_t, 16>;

    // A random (version 4) GUID; false when the system has no randomness to give.
    static bool freshGuid(Guid& guid);
    // 100-ns units since 1 January 1601 (UTC), as ASF counts dates, for the present moment.
    static std::uint64_t fileTimeNow();

    // Writes the file's real size, `creationTime` and `fileId` into its header. False when the
    // file is not a well-formed ASF file (every object size is checked against the file) or
    // cannot be written.
    static bool stamp(const std::string& path, const Guid& fileId, std::uint64_t creationTime);
};

} // namespace velmora
