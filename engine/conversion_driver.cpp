#include "engine/conversion_driver.h"

#include "engine/batch_view.h"
#include "engine/conversion_settings.h"
#include "engine/output_format.h"
#include "engine/output_path_builder.h"
#include "engine/routine_factory.h"
#include "platform/bass/midi_sound_font.h"
#include "platform/program_folder.h"
#include "platform/user_folders.h"
#include "platform/wmf/wmf_runtime.h"
#include "writers/wma_format_list.h"

#include <algorithm>
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
    m_stalePartials = StalePartialFiles();
    const int count = static_cast<int>(std::min(entries.size(), rows.size()));
    if (!prepareWindowsMedia())
        return;
    if (!prepareSoundFont(entries.first(static_cast<std::size_t>(count))))
        return;
    m_view.openProgress(count);
    m_view.pumpMessages();
    const std::string formatWord = outputFormatUpperWord(m_settings.OutputFormat);

    for (int i = 0; i < count; ++i) {
        SourceFile& entry = *entries[static_cast<std::size_t>(i)];
        const int row = rows[static_cast<std::size_t>(i)];
        std::string status;
        if (entry.kind == SourceKind::Midi && !m_soundFontReady) {
            status = kSoundFontMissingStatus;
        } else if (convertOne(entry, row, i + 1, count, formatWord, status)) {
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

bool ConversionDriver::prepareSoundFont(std::span<SourceFile* const> entries) {
    const bool hasMidi = std::any_of(entries.begin(), entries.end(), [](const SourceFile* entry) {
        return entry->kind == SourceKind::Midi;
    });
    if (!hasMidi)
        return true;
    m_soundFontReady = MidiSoundFont::ensureDefault();
    if (m_soundFontReady)
        return true;
    // Yes: the user fetches the file first, so nothing is converted now. No: the MIDI files of
    // this batch fail and the others convert.
    return !m_view.askToDownloadSoundFont(ProgramFolder::path());
}

bool ConversionDriver::prepareWindowsMedia() {
    const OutputFormatEntry* format = findOutputFormat(m_settings.OutputFormat);
    if (!format || format->family != OutputFamily::WindowsMedia)
        return true;
    const bool bound = m_windowsMediaCheck ? m_windowsMediaCheck() : WmfRuntime::available();
    if (!bound) {
        // Whatever the answer, nothing is converted now; on Yes the view opens the download page.
        m_view.askToDownloadWindowsMediaRuntime();
        return false;
    }
    // The catalogue is built once, right after the runtime is bound.
    WmaFormatList::shared();
    return true;
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
    m_stalePartials.sweepFolderOf(entry.outputPath);
    return routineSucceeded(entry, position, status);
}

bool ConversionDriver::routineSucceeded(SourceFile& entry, int position, std::string& status) {
    RoutineContext context{m_settings, m_view, position, {}, entry.segment};
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
