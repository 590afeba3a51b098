#pragma once

#include "sources/segment.h"

#include <optional>
#include <string>
#include <utility>

namespace velmora {

class BatchView;
class ConversionSettings;

// What the driver hands a conversion routine besides the file: the settings of the batch, the
// view that shows progress, the file's 1-based position in the batch (a track number for the
// custom tags), the note that explains a failure and the part of the file to convert.
struct RoutineContext {
    // A constructor rather than aggregate braces, so that a field added later does not touch
    // every place that builds a context.
    RoutineContext(const ConversionSettings& settings, BatchView& view, int batchPosition = 1,
                   std::string failureNote = {}, std::optional<Segment> segment = {})
        : settings(settings), view(view), batchPosition(batchPosition),
          failureNote(std::move(failureNote)), segment(segment) {}

    const ConversionSettings& settings;
    BatchView& view;
    int batchPosition = 1;
    std::string failureNote;
    std::optional<Segment> segment; // none converts the whole file
};

} // namespace velmora
