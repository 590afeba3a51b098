#include "engine/conversion_routine.h"

#include "engine/batch_view.h"
#include "engine/block_loop.h"
#include "engine/file_list.h"
#include "engine/segment_filter.h"
#include "sources/source_factory.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace velmora {
namespace {

constexpr const char* kEmptySegmentNote = "the part to convert has no length";
constexpr const char* kStartPastEndNote = "the part to convert starts after the end of the file";

// A source's whole seconds may be rounded either way; a start a second past them is surely
// beyond the end, and the file need not be decoded to learn it.
bool startsSurelyPastTheEnd(const Segment& segment, const AudioSource& source) {
    return source.durationSeconds() > 0 &&
           segment.startMs >= (std::int64_t{source.durationSeconds()} + 1) * 1000;
}

} // namespace

bool samePathIgnoringCase(const std::string& a, const std::string& b) {
    return upperCasePath(a) == upperCasePath(b);
}

void removeFailedOutput(const std::string& outputPath, const std::string& sourcePath) {
    if (samePathIgnoringCase(outputPath, sourcePath))
        return;
    std::error_code ignored;
    std::filesystem::remove(outputPath, ignored);
}

std::string ConversionRoutine::partialPathFor(const std::string& outputPath) {
    const auto slash = outputPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : outputPath.substr(0, slash + 1);
    const std::string name = std::string(fileNamePart(outputPath));
    // The family's extension stays last: some encoder libraries pick the container from it.
    const std::string extension = lowerCaseExtension(name);
    return folder + "." + name + ".partial-" + std::to_string(getpid()) + extension;
}

bool ConversionRoutine::run(SourceKind kind, const std::string& sourcePath,
                            const std::string& outputPath, RoutineContext& context) {
    SourceFactory factory;
    std::unique_ptr<AudioSource> source =
        factory.open(sourcePath, kind, renderRate(context.settings), true);
    if (!source) {
        context.failureNote = factory.failureNote();
        return false;
    }
    if (context.segment && !segmentFits(*context.segment, *source, context))
        return false;

    const std::string partialPath = partialPathFor(outputPath);
    if (!openWriter(*source, partialPath, context)) {
        source.reset();
        // A writer may have created the partial file before it failed (a header that did not
        // fit); that file is ours alone, and no trace of the attempt may stay.
        removeFailedOutput(partialPath, sourcePath);
        return false;
    }
    bool succeeded = startWriter(*source, sourcePath, kind, context) &&
                     runBlocks(*source, kind, sourcePath, context);
    succeeded = finish(source, succeeded) && succeeded;
    source.reset();

    if (succeeded) {
        std::error_code renameError;
        std::filesystem::rename(partialPath, outputPath, renameError);
        succeeded = !renameError;
    }
    if (!succeeded)
        removeFailedOutput(partialPath, sourcePath);
    return succeeded;
}

bool ConversionRoutine::segmentFits(const Segment& segment, const AudioSource& source,
                                    RoutineContext& context) {
    if (segment.lengthMs <= 0 || segment.startMs < 0) {
        context.failureNote = kEmptySegmentNote;
        return false;
    }
    if (startsSurelyPastTheEnd(segment, source)) {
        context.failureNote = kStartPastEndNote;
        return false;
    }
    return true;
}

bool ConversionRoutine::runBlocks(AudioSource& source, SourceKind kind,
                                  const std::string& sourcePath, RoutineContext& context) {
    BlockAdapter adapter;
    if (!adapter.setup(adapterPlan(source, context)))
        return false;
    std::optional<SegmentFilter> segment;
    if (context.segment)
        segment.emplace(*context.segment, source.sampleRate(), source.outChannels(),
                        source.bitsPerSample());
    BlockLoop loop(source, kind, context.view, std::string(fileNamePart(sourcePath)),
                   segment ? &*segment : nullptr);
    const BlockLoop::Outcome outcome =
        loop.run([&](std::int16_t* left, std::int16_t* right, int frames) {
            const PcmBlock block = adapter.adapt(left, right, frames);
            return block.frames <= 0 || writeBlock(block);
        });
    if (outcome == BlockLoop::Outcome::StartPastEnd)
        context.failureNote = kStartPastEndNote;
    if (outcome != BlockLoop::Outcome::Completed)
        return false;
    const PcmBlock tail = adapter.drain();
    return tail.frames <= 0 || writeBlock(tail);
}

} // namespace velmora
