#include "engine/routine_factory.h"

#include "engine/output_format.h"
#include "engine/wav_routine.h"

namespace velmora {

std::unique_ptr<ConversionRoutine> RoutineFactory::create(int outputFormatCode) {
    const OutputFormatEntry* format = findOutputFormat(outputFormatCode);
    if (!format)
        return nullptr;
    switch (format->family) {
    case OutputFamily::Wav:
        return std::make_unique<WavRoutine>();
    case OutputFamily::Mp3:
    case OutputFamily::WindowsMedia:
    case OutputFamily::Ogg:
    case OutputFamily::Aac:
    case OutputFamily::Mp4:
    case OutputFamily::Amr:
        break;
    }
    return nullptr;
}

} // namespace velmora
