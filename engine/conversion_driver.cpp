#include "engine/conversion_driver.h"

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

ConversionDriver::ConversionDriver(const ConversionSettings& settings, BatchView& view)
    : m_settings(settings), m_view(view) {}

bool ConversionDriver::runSelectedRoutine(SourceKind kind, const std::string& sourcePath,
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

void ConversionDriver::convertBatch(std::span<SourceFile* const> entries,
                                    std::span<const int> rows) {
    m_cancelled = false;
    const int count = static_cast<int>(std::min(entries.size(), rows.size()));
    m_view.openProgress(count);
    m_view.pumpMessages();
    const std::string formatWord = outputFormatUpperWord(m_settings.OutputFormat);

    for (int i = 0; i < count; ++i) {
        SourceFile& entry = *entries[static_cast<std::size_t>(i)];
        const int row = rows[static_cast<std::size_t>(i)];
        std::string status;
        if (convertOne(entry, row, i + 1, count, formatWord, status)) {
            m_view.setStatus(row, std::string(fileNamePart(entry.outputPath)));
            m_view.pumpMessages();
            if (m_view.cancelRequested()) {
                m_cancelled = true;
                break;
            }
            continue;
        }
        entry.outputPath.clear();
        if (m_view.cancelRequested()) {
            m_view.setStatus(row, kCancelledStatus);
            m_cancelled = true;
            break;
        }
        m_view.setStatus(row, status);
    }

    m_view.closeProgress();
    if (!m_cancelled && m_settings.BrowseOutputFolder != 0)
        showFirstOutput(entries.first(static_cast<std::size_t>(count)));
}

bool ConversionDriver::convertOne(SourceFile& entry, int row, int position, int count,
                                  const std::string& formatWord, std::string& status) {
    m_view.scrollRowIntoView(row);
    m_view.setStatus(row, kConvertingStatus);
    m_view.setLowerText(batchText(position, count, formatWord));
    m_view.stepLowerBar();
    m_view.setUpperText("Converting " + std::string(fileNamePart(entry.path)) + "...");
    m_view.setUpperBarPosition(0);

    OutputPathBuilder builder(pathOptions(m_settings), &UserFolders::documentsFolder);
    if (!builder.buildOutputPath(entry, status))
        return false;
    return routineSucceeded(entry, position, status);
}

bool ConversionDriver::routineSucceeded(SourceFile& entry, int position, std::string& status) {
    RoutineContext context{m_settings, m_view, position, {}};
    const bool routineResult =
        runSelectedRoutine(entry.kind, entry.path, entry.outputPath, context);
    if (routineResult && isNonEmptyFile(entry.outputPath))
        return true;
    status = kFailureStatus;
    if (!context.failureNote.empty()) {
        status += " (" + context.failureNote + ")";
        if (m_view.statusColumnWidth() < kWideStatusColumn)
            m_view.setStatusColumnWidth(kWideStatusColumn);
    }
    return false;
}

void ConversionDriver::showFirstOutput(std::span<SourceFile* const> entries) const {
    for (const SourceFile* entry : entries) {
        std::error_code error;
        if (!entry->outputPath.empty() &&
            std::filesystem::is_regular_file(entry->outputPath, error)) {
            m_view.showInFileManager(entry->outputPath);
            return;
        }
    }
}

} // namespace velmora
