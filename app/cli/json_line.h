#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::cli {

// Builds one JSON object on one line, keys in the order they are added. Strings are repaired to
// valid UTF-8 before they are escaped.
class JsonLine {
public:
    JsonLine& add(std::string_view key, std::string_view value);
    JsonLine& add(std::string_view key, const char* value) {
        return add(key, std::string_view(value));
    }
    JsonLine& add(std::string_view key, std::int64_t value);
    JsonLine& add(std::string_view key, std::uint64_t value);
    JsonLine& add(std::string_view key, int value) { return add(key, std::int64_t{value}); }
    JsonLine& add(std::string_view key, const std::vector<std::string>& values);
    JsonLine& add(std::string_view key, const JsonLine& object);
    JsonLine& addFlag(std::string_view key, bool value);
    // Fixed-point with three decimals ("1.250"): enough for seconds of a conversion.
    JsonLine& addDecimal(std::string_view key, double value);

    std::string text() const { return "{" + m_body + "}"; }

    static std::string quoted(std::string_view text);

private:
    JsonLine& addRaw(std::string_view key, std::string_view json);
    std::string m_body;
};

} // namespace velmora::cli
