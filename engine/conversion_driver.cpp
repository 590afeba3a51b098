#include "engine/conversion_driver.h"

#include "engine/batch_view.h"
#include "engine/conversion_settings.h"
#include "engine/output_format.h"
#include "engine/parallel_conversion_runner.h"
#include "platform/bass/midi_sound_font.h"
#include "platform/program_folder.h"
#include "platform/wmf/wmf_runtime.h"
#include "writers/wma_format_list.h"

#include <algorithm>
#include <filesystem>

namespace velmora {

ConversionDriver::ConversionDriver(const ConversionSettings& settings, BatchView& view)
    : m_settings(settings), m_view(view), m_files(settings) {}

void ConversionDriver::convertBatch(std::span<SourceFile* const> entries,
                                    std::span<const int> rows) {
    m_cancelled = false;
    m_files.startBatch();
    const auto count = std::min(entries.size(), rows.size());
    entries = entries.first(count);
    rows = rows.first(count);
    if (!prepareWindowsMedia())
        return;
    if (!prepareSoundFont(entries))
        return;
    m_view.openProgress(static_cast<int>(count));
    m_view.pumpMessages();

    if (m_jobs > 1 && count > 1)
        m_cancelled = ParallelConversionRunner(m_files, m_view, m_jobs).run(entries, rows);
    else
        m_cancelled = convertInTurn(entries, rows);

    m_view.closeProgress();
    if (!m_cancelled && m_settings.BrowseOutputFolder != 0)
        showFirstOutput(entries);
}

bool ConversionDriver::convertInTurn(std::span<SourceFile* const> entries,
                                     std::span<const int> rows) {
    const int count = static_cast<int>(entries.size());
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (!m_files.convert(*entries[at], rows[at], i + 1, count, m_view))
            return true;
    }
    return false;
}

bool ConversionDriver::prepareSoundFont(std::span<SourceFile* const> entries) {
    const bool hasMidi = std::any_of(entries.begin(), entries.end(), [](const SourceFile* entry) {
        return entry->kind == SourceKind::Midi;
    });
    m_files.setSoundFontReady(false);
    if (!hasMidi)
        return true;
    const bool ready = MidiSoundFont::ensureDefault();
    m_files.setSoundFontReady(ready);
    if (ready)
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
    // The catalogue is built once, right after the runtime is bound, before any worker thread
    // reads it.
    WmaFormatList::shared();
    return true;
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
