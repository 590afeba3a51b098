#pragma once

#include "engine/block_adapter.h"
#include "engine/routine_context.h"
#include "sources/audio_source.h"
#include "sources/source_kind.h"

#include <memory>
#include <string>

namespace velmora {

// The frame every output family's routine shares: open the source, let the family decide the
// output format and open, configure and start its writer, run the block loop, finish, and
// remove the output of a failed or cancelled conversion.
//
// The writer works on a hidden partial file beside the output, which becomes the output only
// when the conversion succeeded: a failed conversion never leaves a half-written file behind
// nor destroys a file it was about to replace.
class ConversionRoutine {
public:
    virtual ~ConversionRoutine() = default;

    bool run(SourceKind kind, const std::string& sourcePath, const std::string& outputPath,
             RoutineContext& context);

    // The partial file a conversion to outputPath writes first.
    static std::string partialPathFor(const std::string& outputPath);

protected:
    // Rate in Hz at which modules and MIDI are rendered for this family.
    virtual int renderRate(const ConversionSettings& settings) const = 0;
    // Decides the output format and opens the writer on `path`; false when the writer cannot
    // be opened (nothing to clean up).
    virtual bool openWriter(AudioSource& source, const std::string& path,
                            RoutineContext& context) = 0;
    // Encoder options, tags and start, in the family's order; false fails the file.
    virtual bool startWriter(AudioSource&, const std::string& /*sourcePath*/, SourceKind,
                             RoutineContext&) {
        return true;
    }
    // The plan of the adapt and amplify steps, known once the writer is open.
    virtual BlockAdapter::Plan adapterPlan(AudioSource& source, RoutineContext& context) = 0;
    // Hands one adapted block to the writer; false fails the file when the family tests the
    // write result.
    virtual bool writeBlock(const PcmBlock& block) = 0;
    // Closes source and writer in the family's order; the source pointer is released by it.
    // False when the output is incomplete (its last bytes did not reach the disk), which fails
    // a conversion that had succeeded so far.
    virtual bool finish(std::unique_ptr<AudioSource>& source, bool succeeded) = 0;

private:
    // False, with the failure note, for a segment that cannot give any output.
    static bool segmentFits(const Segment& segment, const AudioSource& source,
                            RoutineContext& context);
    bool runBlocks(AudioSource& source, SourceKind kind, const std::string& sourcePath,
                   RoutineContext& context);
};

// Removes the output of a failed conversion, unless it names the source itself.
void removeFailedOutput(const std::string& outputPath, const std::string& sourcePath);

// Paths compared without regard to letter case (ASCII).
bool samePathIgnoringCase(const std::string& a, const std::string& b);

} // namespace velmora
