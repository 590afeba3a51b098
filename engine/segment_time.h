#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Times of a segment as people type and read them: seconds ("45", "1.5"), minutes and seconds
// ("0:45", "2:03.250") or hours too ("1:02:03"). Whole milliseconds, never negative.
class SegmentTime {
public:
    // Ten thousand hours: far beyond any file, small enough that no sum of two overflows.
    static constexpr std::int64_t kLongestMs = std::int64_t{10000} * 3600 * 1000;

    // None for anything else, including a negative time, more than three decimals, seconds of
    // 60 or more after a colon, and times beyond kLongestMs.
    static std::optional<std::int64_t> parse(std::string_view text);
    // "m:ss.mmm" (with hours, "h:mm:ss.mmm"); the decimals only when they are not zero.
    static std::string format(std::int64_t ms);
};

} // namespace velmora
