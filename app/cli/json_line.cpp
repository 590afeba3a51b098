#include "app/cli/json_line.h"

#include "platform/text_encoding.h"

#include <cmath>
#include <cstdio>

namespace velmora::cli {

std::string JsonLine::quoted(std::string_view text) {
    const std::string valid = repairUtf8(text);
    std::string out = "\"";
    for (const char c : valid) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

JsonLine& JsonLine::addRaw(std::string_view key, std::string_view json) {
    if (!m_body.empty())
        m_body += ",";
    m_body += quoted(key);
    m_body += ":";
    m_body += json;
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, std::string_view value) {
    return addRaw(key, quoted(value));
}

JsonLine& JsonLine::add(std::string_view key, std::int64_t value) {
    return addRaw(key, std::to_string(value));
}

JsonLine& JsonLine::add(std::string_view key, std::uint64_t value) {
    return addRaw(key, std::to_string(value));
}

JsonLine& JsonLine::add(std::string_view key, const std::vector<std::string>& values) {
    std::string array = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            array += ",";
        array += quoted(values[i]);
    }
    return addRaw(key, array + "]");
}

JsonLine& JsonLine::add(std::string_view key, const JsonLine& object) {
    return addRaw(key, object.text());
}

JsonLine& JsonLine::addFlag(std::string_view key, bool value) {
    return addRaw(key, value ? "true" : "false");
}

JsonLine& JsonLine::addDecimal(std::string_view key, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", std::isfinite(value) ? value : 0.0);
    return addRaw(key, text);
}

} // namespace velmora::cli
