#include "engine/parallel_conversion_runner.h"

#include "engine/file_conversion.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {

ParallelConversionRunner::ParallelConversionRunner(FileConversion& files, BatchView& view, int jobs)
    : m_files(files), m_view(view), m_jobs(std::max(jobs, 1)) {}

bool ParallelConversionRunner::run(std::span<SourceFile* const> entries,
                                   std::span<const int> rows) {
    const std::size_t count = std::min(entries.size(), rows.size());
    m_entries = entries.first(count);
    m_rows = rows.first(count);
    m_next = 0;
    m_stopped = false;

    const std::size_t helpers = std::min(static_cast<std::size_t>(m_jobs), count) - 1;
    std::vector<std::jthread> threads;
    threads.reserve(helpers);
    for (std::size_t i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // No more threads to be had: the ones running, this one included, share the files.
            break;
        }
    }
    work();
    threads.clear(); // joins
    return m_stopped;
}

std::size_t ParallelConversionRunner::takeNext() {
    if (m_stopped || m_next >= m_entries.size())
        return 0;
    if (m_view.cancelRequested()) {
        m_stopped = true;
        return 0;
    }
    return ++m_next;
}

void ParallelConversionRunner::work() {
    const int count = static_cast<int>(m_entries.size());
    for (;;) {
        std::unique_lock lock(m_dispatchMutex);
        const std::size_t position = takeNext();
        if (position == 0)
            return;
        SourceFile& entry = *m_entries[position - 1];
        const int row = m_rows[position - 1];
        const int batchPosition = static_cast<int>(position);
        FileConversion::Started started = m_files.start(entry, row, batchPosition, count, m_view);
        lock.unlock();

        if (!m_files.finish(entry, row, batchPosition, std::move(started), m_view)) {
            lock.lock();
            m_stopped = true;
        }
    }
}

} // namespace velmora
