#include "ui/ringtone/level_scan_worker.h"

#include <QThread>

LevelScanWorker::LevelScanWorker(QObject* parent) : QObject(parent) {}

LevelScanWorker::~LevelScanWorker() {
    stopThread();
}

void LevelScanWorker::stopThread() {
    if (!m_thread)
        return;
    m_cancel = true;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

void LevelScanWorker::start(const velmora::SourceFile& entry) {
    stopThread();
    m_cancel = false;
    m_levels.reset();
    m_failureNote.clear();
    m_thread = QThread::create([this, entry] {
        int lastPercent = -1;
        const velmora::LevelScan::Progress progress = [this, &lastPercent](int percent) {
            if (percent != lastPercent) {
                lastPercent = percent;
                emit progressed(percent);
            }
            return !m_cancel.load();
        };
        std::string note;
        m_levels = velmora::LevelScan::scan(entry, kWindowMs, progress, note);
        m_failureNote = QString::fromStdString(note);
    });
    // A scan replaced by a newer one may still have its end queued; only the latest reports.
    const int generation = ++m_generation;
    connect(m_thread, &QThread::finished, this, [this, generation] {
        if (generation == m_generation)
            emit finished();
    });
    m_thread->start(QThread::LowPriority);
}

void LevelScanWorker::cancel() {
    m_cancel = true;
}

bool LevelScanWorker::isRunning() const {
    return m_thread && m_thread->isRunning();
}
