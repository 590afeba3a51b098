#include "engine/long_ringtone_check.h"

#include "engine/device_profile.h"
#include "engine/output_format.h"
#include "engine/segment_suggestion.h"

#include <string>

namespace velmora {

std::vector<SourceFile*> LongRingtoneCheck::entriesToAsk(int outputFormat,
                                                         std::span<SourceFile* const> entries) {
    std::vector<SourceFile*> asked;
    if (outputFormat != code(OutputFormat::M4r))
        return asked;
    for (SourceFile* entry : entries) {
        if (!entry->segment && std::int64_t{entry->durationSeconds} * 1000 > kLongestRingtoneMs)
            asked.push_back(entry);
    }
    return asked;
}

bool LongRingtoneCheck::trimToSuggestedPart(std::span<SourceFile* const> entries,
                                            const Progress& progress) {
    const DeviceProfile* iphone = findDeviceProfile("iphone");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        bool cancelled = false;
        const LevelScan::Progress entryProgress = [&](int percent) {
            cancelled = progress && !progress(i, percent);
            return !cancelled;
        };
        std::string failureNote;
        const std::optional<Segment> part = SegmentSuggestion::forEntry(
            *entries[i], iphone->suggestedLengthMs, iphone->defaultFadeInMs,
            iphone->defaultFadeOutMs, entryProgress, failureNote);
        if (cancelled)
            return false;
        if (part)
            entries[i]->segment = *part;
    }
    return true;
}

} // namespace velmora
