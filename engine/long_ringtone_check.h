#pragma once

#include "sources/source_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velmora {

// The question both front ends ask before a batch to M4R: an iPhone offers only ringtones
// shorter than 40 seconds, so whole songs would be written for nothing. The user may trim them
// to their suggested part, convert them whole anyway, or cancel the batch.
class LongRingtoneCheck {
public:
    static constexpr std::int64_t kLongestRingtoneMs = 40000;

    // Called with the position of the entry being scanned (0-based) and its percent; false
    // cancels.
    using Progress = std::function<bool(std::size_t entryIndex, int percent)>;

    // The entries of a batch to outputFormat that need the question: M4R, no segment, and
    // known to last longer than 40 seconds. Empty for any other format.
    static std::vector<SourceFile*> entriesToAsk(int outputFormat,
                                                 std::span<SourceFile* const> entries);

    // Gives each entry the iPhone profile's suggested part with its fades. An entry that
    // cannot be decoded keeps no segment (its conversion will report why). False when the
    // progress cancelled; the entries done by then keep their part.
    static bool trimToSuggestedPart(std::span<SourceFile* const> entries, const Progress& progress);
};

} // namespace velmora
