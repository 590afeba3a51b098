#include "app/cli/segment_planner.h"

#include "engine/file_list.h"
#include "engine/segment_suggestion.h"
#include "engine/segment_time.h"

namespace velmora::cli {

void SegmentPlanner::plan(std::span<SourceFile* const> entries,
                          std::vector<std::string>& notices) const {
    if (!m_options.wantsSegment())
        return;
    const DeviceProfile* profile = m_options.ringtone();
    for (SourceFile* entry : entries) {
        entry->segment = segmentFor(*entry);
        const std::int64_t lengthMs = entry->segment->lengthMs;
        if (profile && lengthMs != Segment::kToTheEndMs && lengthMs > profile->maxLengthMs)
            notices.push_back(std::string(fileNamePart(entry->path)) + ": the part lasts " +
                              SegmentTime::format(lengthMs) + "; an " + std::string(profile->name) +
                              " may last at most " + SegmentTime::format(profile->maxLengthMs));
    }
}

Segment SegmentPlanner::segmentFor(const SourceFile& entry) const {
    const Segment asked = m_options.segment();
    if (!m_options.wantsSuggestedStart())
        return asked;
    std::string failureNote;
    const std::optional<Segment> suggested = SegmentSuggestion::forEntry(
        entry, asked.lengthMs, asked.fadeInMs, asked.fadeOutMs, {}, failureNote);
    // A file that cannot be scanned cannot be converted either; its conversion says why, and
    // it must not become a whole-song ringtone meanwhile.
    return suggested.value_or(asked);
}

} // namespace velmora::cli
