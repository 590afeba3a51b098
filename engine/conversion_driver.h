#pragma once

#include "engine/routine_context.h"
#include "engine/stale_partial_files.h"
#include "sources/source_file.h"

#include <functional>
#include <span>
#include <string>

namespace velmora {

class BatchView;
class ConversionSettings;

// Converts a batch of list entries, one after the other, into the selected output format:
// builds each output path, runs the format's routine, and writes each row's status.
class ConversionDriver {
public:
    static constexpr int kWideStatusColumn = 500;

    // Converts one file; the routine of the selected format unless a test puts another in.
    using Routine = std::function<bool(SourceKind kind, const std::string& sourcePath,
                                       const std::string& outputPath, RoutineContext& context)>;

    ConversionDriver(const ConversionSettings& settings, BatchView& view);

    void setRoutine(Routine routine) { m_routine = std::move(routine); }
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
    bool convertOne(SourceFile& entry, int row, int position, int count,
                    const std::string& formatWord, std::string& status);
    bool routineSucceeded(SourceFile& entry, int position, std::string& status);
    void showFirstOutput(std::span<SourceFile* const> entries) const;
    bool runSelectedRoutine(SourceKind kind, const std::string& sourcePath,
                            const std::string& outputPath, RoutineContext& context) const;

    const ConversionSettings& m_settings;
    BatchView& m_view;
    Routine m_routine;
    std::function<bool()> m_windowsMediaCheck;
    bool m_cancelled = false;
    bool m_soundFontReady = false;
    StalePartialFiles m_stalePartials; // folders swept in the running batch
};

} // namespace velmora
