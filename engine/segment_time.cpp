#include "engine/segment_time.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace velmora {
namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kSecondsPerMinute = 60;

// Digits only; none for an empty or overlong field.
std::optional<std::int64_t> wholeNumber(std::string_view text) {
    std::int64_t value = 0;
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

// "45" or "45.25" as milliseconds.
std::optional<std::int64_t> secondsField(std::string_view text) {
    const std::size_t dot = text.find('.');
    const auto whole = wholeNumber(text.substr(0, dot));
    if (!whole)
        return std::nullopt;
    std::int64_t fraction = 0;
    if (dot != std::string_view::npos) {
        const std::string_view digits = text.substr(dot + 1);
        if (digits.empty() || digits.size() > 3 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            return std::nullopt;
        fraction = *wholeNumber(digits);
        for (std::size_t i = digits.size(); i < 3; ++i)
            fraction *= 10;
    }
    return *whole * kMsPerSecond + fraction;
}

} // namespace

std::optional<std::int64_t> SegmentTime::parse(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon - start));
        if (colon == std::string_view::npos)
            break;
        start = colon + 1;
    }
    if (fields.size() > 3)
        return std::nullopt;
    std::optional<std::int64_t> ms = secondsField(fields.back());
    if (!ms || (fields.size() > 1 && *ms >= kSecondsPerMinute * kMsPerSecond))
        return std::nullopt;
    std::int64_t unitMs = kSecondsPerMinute * kMsPerSecond;
    for (std::size_t i = fields.size() - 1; i-- > 0;) {
        const auto value = wholeNumber(fields[i]);
        // Minutes below hours stay under 60, like seconds.
        if (!value || (i > 0 && *value >= kSecondsPerMinute))
            return std::nullopt;
        *ms += *value * unitMs;
        unitMs *= kSecondsPerMinute;
    }
    if (*ms > kLongestMs)
        return std::nullopt;
    return ms;
}

std::string SegmentTime::format(std::int64_t ms) {
    if (ms < 0)
        ms = 0;
    const std::int64_t hours = ms / (3600 * kMsPerSecond);
    const std::int64_t minutes = ms / (kSecondsPerMinute * kMsPerSecond) % kSecondsPerMinute;
    const std::int64_t seconds = ms / kMsPerSecond % kSecondsPerMinute;
    const std::int64_t millis = ms % kMsPerSecond;
    char text[48];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(seconds));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                      static_cast<long long>(seconds));
    std::string result = text;
    if (millis != 0) {
        std::snprintf(text, sizeof text, ".%03lld", static_cast<long long>(millis));
        result += text;
    }
    return result;
}

} // namespace velmora
