#include "engine/file_conversion.h"

#include "engine/batch_view.h"
#include "engine/conversion_settings.h"
#include "engine/output_format.h"
#include "engine/output_path_builder.h"
#include "engine/routine_factory.h"
#include "platform/user_folders.h"

#include <filesystem>

namespace velmora {
namespace {

constexpr const char* kConvertingStatus = "Converting...";
constexpr const char* kFailureStatus = "Conversion Failure";
constexpr const char* kCancelledStatus = "Cancelled";
constexpr const char* kSoundFontMissingStatus = "Failure. Requires file \"ct4mgm.sf2\".";

std::string batchText(int position, int count, const std::string& formatWord) {
    return "Converting " + std::to_string(position) + " of " + std::to_string(count) +
           " file(s) to " + formatWord + "...";
}

OutputPathOptions pathOptions(const ConversionSettings& settings) {
    OutputPathOptions options;
    options.destOutputFolderOpt = settings.DestOutputFolderOpt;
    options.destSpecifiedFolder = settings.DestSpecifiedFolder;
    options.createDirs = settings.CreateDirs != 0;
    options.targetExistsOpt = settings.TargetExistsOpt;
    options.outputFiles2MyDocuments = settings.OutputFiles2MyDocuments != 0;
    options.extension = std::string(outputFormatExtension(settings.OutputFormat));
    return options;
}

bool isNonEmptyFile(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    // The size test looks at the low 32 bits only, like the list's size column.
    return !error && (size & 0xFFFFFFFFu) != 0;
}

} // namespace

FileConversion::FileConversion(const ConversionSettings& settings) : m_settings(settings) {}

void FileConversion::startBatch() {
    const std::lock_guard lock(m_sweepMutex);
    m_stalePartials = StalePartialFiles();
}

bool FileConversion::convert(SourceFile& entry, int row, int position, int count, BatchView& view) {
    return finish(entry, row, position, start(entry, row, position, count, view), view);
}

FileConversion::Started FileConversion::start(SourceFile& entry, int row, int position, int count,
                                              BatchView& view) {
    Started started;
    if (entry.kind == SourceKind::Midi && !m_soundFontReady) {
        started.failureStatus = kSoundFontMissingStatus;
        return started;
    }
    view.scrollRowIntoView(row);
    view.setStatus(row, kConvertingStatus);
    view.setLowerText(batchText(position, count, outputFormatUpperWord(m_settings.OutputFormat)));
    view.stepLowerBar();
    view.setUpperText("Converting " + std::string(fileNamePart(entry.path)) + "...");
    view.setUpperBarPosition(0);

    OutputPathBuilder builder(pathOptions(m_settings), &UserFolders::documentsFolder);
    started.pathBuilt =
        builder.buildOutputPath(entry, started.failureStatus, m_reservations, started.reservation);
    return started;
}

bool FileConversion::finish(SourceFile& entry, int row, int position, Started started,
                            BatchView& view) {
    std::string status = std::move(started.failureStatus);
    if (started.pathBuilt) {
        sweepStalePartials(entry.outputPath);
        const bool converted = routineSucceeded(entry, position, view, status);
        // The output is in place or gone: the name needs no more holding.
        started.reservation.release();
        if (converted) {
            view.setStatus(row, std::string(fileNamePart(entry.outputPath)));
            view.pumpMessages();
            return !view.cancelRequested();
        }
    }
    entry.outputPath.clear();
    if (view.cancelRequested()) {
        view.setStatus(row, kCancelledStatus);
        return false;
    }
    view.setStatus(row, status);
    return true;
}

void FileConversion::sweepStalePartials(const std::string& outputPath) {
    const std::lock_guard lock(m_sweepMutex);
    m_stalePartials.sweepFolderOf(outputPath);
}

bool FileConversion::runSelectedRoutine(SourceKind kind, const std::string& sourcePath,
                                        const std::string& outputPath,
                                        RoutineContext& context) const {
    if (m_routine)
        return m_routine(kind, sourcePath, outputPath, context);
    auto routine = RoutineFactory::create(m_settings.OutputFormat);
    if (!routine) {
        context.failureNote = outputFormatUpperWord(m_settings.OutputFormat) +
                              " output is not available in this version";
        return false;
    }
    return routine->run(kind, sourcePath, outputPath, context);
}

bool FileConversion::routineSucceeded(SourceFile& entry, int position, BatchView& view,
                                      std::string& status) {
    RoutineContext context{m_settings, view, position, {}, entry.segment};
    const bool routineResult =
        runSelectedRoutine(entry.kind, entry.path, entry.outputPath, context);
    if (routineResult && isNonEmptyFile(entry.outputPath))
        return true;
    status = kFailureStatus;
    if (!context.failureNote.empty()) {
        status += " (" + context.failureNote + ")";
        if (view.statusColumnWidth() < kWideStatusColumn)
            view.setStatusColumnWidth(kWideStatusColumn);
    }
    return false;
}

} // namespace velmora
