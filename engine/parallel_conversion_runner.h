#pragma once

#include "engine/serialized_batch_view.h"
#include "sources/source_file.h"

#include <cstddef>
#include <mutex>
#include <span>

namespace velmora {

class BatchView;
class FileConversion;

// Converts the files of a batch several at a time, each through the same per-file steps as a
// one-at-a-time run. Files are started in batch order, so each keeps its batch position and
// output names are handed out in the order a one-at-a-time run would; each file's status is
// written as it ends. Once one file sees the cancel request no new file starts, and every
// running file stops and removes its partial output.
class ParallelConversionRunner {
public:
    // The view is called from the worker threads, one call at a time.
    ParallelConversionRunner(FileConversion& files, BatchView& view, int jobs);

    // entries and rows are parallel, as for ConversionDriver; true when the batch was
    // cancelled.
    bool run(std::span<SourceFile* const> entries, std::span<const int> rows);

private:
    // Takes the next file in batch order and converts it, until none is left or the batch
    // stops.
    void work();
    // The batch position (1-based) of the next file to start, 0 when none may start.
    std::size_t takeNext();

    FileConversion& m_files;
    SerializedBatchView m_view;
    int m_jobs;
    std::span<SourceFile* const> m_entries;
    std::span<const int> m_rows;
    std::mutex m_dispatchMutex; // guards m_next, m_stopped and each file's first step
    std::size_t m_next = 0;
    bool m_stopped = false;
};

} // namespace velmora
