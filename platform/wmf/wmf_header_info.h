#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// One header attribute of an ASF file as the runtime hands it out: text, or a number (WORD,
// DWORD, QWORD and BOOL attributes).
struct WmfAttribute {
    enum class Type { Text, Number, Other };
    Type type = Type::Other;
    std::string text;         // Type::Text: UTF-8, repaired
    std::uint64_t number = 0; // Type::Number
};

// The header attributes of an ASF file (WMA, WMV, ASF), read once: the content description
// ("Title", "Author", "Description", "Copyright"), the extended content and metadata attributes
// of stream 0 ("WM/AlbumTitle", "WM/TrackNumber", ...) and the file-level "Duration" (100-ns
// units, preroll excluded) and "Bitrate" (bits per second).
class WmfHeaderInfo {
public:
    static constexpr std::string_view kDuration = "Duration";
    static constexpr std::string_view kBitrate = "Bitrate";

    // False when the file is not an ASF file whose header can be read.
    bool read(const std::string& path);
    void clear() { m_attributes.clear(); }

    // None when the header does not hold the attribute (the runtime's "not found").
    std::optional<WmfAttribute> attribute(std::string_view name) const;

private:
    bool readFileProperties(const std::string& path);
    void readFilePropertiesBody(std::span<const std::uint8_t> body);

    std::map<std::string, WmfAttribute, std::less<>> m_attributes;
};

} // namespace velmora
