#pragma once

#include "engine/output_name_reservations.h"
#include "engine/routine_context.h"
#include "engine/stale_partial_files.h"
#include "sources/source_file.h"

#include <functional>
#include <mutex>
#include <string>

namespace velmora {

class BatchView;
class ConversionSettings;

// The steps that turn one list entry into its output file: show it as started, decide and
// reserve its output path, run the format's routine and write the row's status. The
// one-at-a-time driver and the parallel runner both convert every file through these steps.
//
// One object serves a whole batch and may be used from several threads at once, each with its
// own entry and view; the state the files share (reserved names, swept folders) is guarded here.
class FileConversion {
public:
    static constexpr int kWideStatusColumn = 500;

    // Converts one file; the routine of the selected format unless a test puts another in.
    using Routine = std::function<bool(SourceKind kind, const std::string& sourcePath,
                                       const std::string& outputPath, RoutineContext& context)>;

    // A file between its two steps: its output name stays reserved while this object lives.
    struct Started {
        bool pathBuilt = false;
        std::string failureStatus; // the row's status when no path could be built
        OutputNameReservation reservation;
    };

    explicit FileConversion(const ConversionSettings& settings);

    void setRoutine(Routine routine) { m_routine = std::move(routine); }
    // Whether the default SoundFont is installed; MIDI files fail without it.
    void setSoundFontReady(bool ready) { m_soundFontReady = ready; }
    // Forgets the folders swept for an earlier batch.
    void startBatch();

    // The whole of one file, both steps; false when the batch is to stop (cancelled).
    bool convert(SourceFile& entry, int row, int position, int count, BatchView& view);

    // First step: the row shows the file as started and the output path is decided. Runners
    // that convert side by side take this step in batch order, so that names are handed out
    // as in a one-at-a-time run.
    Started start(SourceFile& entry, int row, int position, int count, BatchView& view);
    // Second step: the routine runs and the row gets its status; false when the batch is to
    // stop (cancelled).
    bool finish(SourceFile& entry, int row, int position, Started started, BatchView& view);

private:
    bool routineSucceeded(SourceFile& entry, int position, BatchView& view, std::string& status);
    bool runSelectedRoutine(SourceKind kind, const std::string& sourcePath,
                            const std::string& outputPath, RoutineContext& context) const;
    void sweepStalePartials(const std::string& outputPath);

    const ConversionSettings& m_settings;
    Routine m_routine;
    bool m_soundFontReady = false;
    OutputNameReservations m_reservations;
    std::mutex m_sweepMutex;
    StalePartialFiles m_stalePartials; // folders swept in the running batch
};

} // namespace velmora
