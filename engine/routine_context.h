#pragma once

#include <string>

namespace velmora {

class BatchView;
class ConversionSettings;

// What the driver hands a conversion routine besides the file: the settings of the batch, the
// view that shows progress, the file's 1-based position in the batch (a track number for the
// custom tags) and the note that explains a failure.
struct RoutineContext {
    const ConversionSettings& settings;
    BatchView& view;
    int batchPosition = 1;
    std::string failureNote;
};

} // namespace velmora
