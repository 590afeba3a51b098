#pragma once

#include "engine/conversion_routine.h"

#include <memory>

namespace velmora {

// The conversion routine of an output format code.
class RoutineFactory {
public:
    // None when this build has no routine for the code.
    static std::unique_ptr<ConversionRoutine> create(int outputFormatCode);
};

} // namespace velmora
