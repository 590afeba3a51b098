#pragma once

#include "engine/file_conversion.h"
#include "sources/source_file.h"

#include <functional>
#include <span>
#include <string>

namespace velmora {

class BatchView;
class ConversionSettings;

// Converts a batch of list entries into the selected output format: prepares what the batch
// needs, then takes each file through the per-file steps (FileConversion), one after the other,
// or several at once when more than one job is asked for.
class ConversionDriver {
public:
    static constexpr int kWideStatusColumn = FileConversion::kWideStatusColumn;

    using Routine = FileConversion::Routine;

    ConversionDriver(const ConversionSettings& settings, BatchView& view);

    void setRoutine(Routine routine) { m_files.setRoutine(std::move(routine)); }
    // Files converted at once. Above 1 the view is called from several threads, one call at a
    // time (ParallelConversionRunner); the desktop program keeps the default of 1.
    void setJobs(int jobs) { m_jobs = jobs; }
    // Binds the Windows Media runtime before a Windows Media batch; tests put in a check that
    // plays a system without it.
    void setWindowsMediaCheck(std::function<bool()> check) {
        m_windowsMediaCheck = std::move(check);
    }

    // entries and rows are parallel: rows[i] is the list row of entries[i].
    void convertBatch(std::span<SourceFile* const> entries, std::span<const int> rows);

    // True once the batch was cancelled.
    bool cancelled() const { return m_cancelled; }

private:
    // False when the batch needs the Windows Media runtime and it is missing; the user was
    // asked whether to fetch it.
    bool prepareWindowsMedia();
    // Installs the default SoundFont when the batch holds MIDI files; false when the user chose
    // to fetch the missing SoundFont first and the batch must not start.
    bool prepareSoundFont(std::span<SourceFile* const> entries);
    // True when the batch was cancelled.
    bool convertInTurn(std::span<SourceFile* const> entries, std::span<const int> rows);
    void showFirstOutput(std::span<SourceFile* const> entries) const;

    const ConversionSettings& m_settings;
    BatchView& m_view;
    FileConversion m_files;
    std::function<bool()> m_windowsMediaCheck;
    int m_jobs = 1;
    bool m_cancelled = false;
};

} // namespace velmora
