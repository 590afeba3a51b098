#include "engine/routine_factory.h"

#include "engine/aac_routine.h"
#include "engine/amr_routine.h"
#include "engine/mp3_routine.h"
#include "engine/mp4_routine.h"
#include "engine/ogg_routine.h"
#include "engine/output_format.h"
#include "engine/wav_routine.h"
#include "engine/wma_routine.h"

namespace velmora {

std::unique_ptr<ConversionRoutine> RoutineFactory::create(int outputFormatCode) {
    const OutputFormatEntry* format = findOutputFormat(outputFormatCode);
    if (!format)
        return nullptr;
    switch (format->family) {
    case OutputFamily::Aac:
        return std::make_unique<AacRoutine>();
    case OutputFamily::Mp4:
        return std::make_unique<Mp4Routine>();
    case OutputFamily::Amr:
        return std::make_unique<AmrRoutine>(format->code);
    case OutputFamily::WindowsMedia:
        return std::make_unique<WmaRoutine>();
    case OutputFamily::Wav:
        return std::make_unique<WavRoutine>();
    case OutputFamily::Mp3:
        return std::make_unique<Mp3Routine>();
    case OutputFamily::Ogg:
        return std::make_unique<OggRoutine>();
    }
    return nullptr;
}

} // namespace velmora
