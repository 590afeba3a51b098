#pragma once

#include "engine/level_scan.h"
#include "sources/source_file.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <optional>

class QThread;

// Reads a song's levels on a thread of its own so the dialog stays responsive; progress arrives
// as signals in the thread that owns the worker. Deleting the worker cancels the scan and waits
// for the thread, so a closed dialog never leaves a decoder running.
class LevelScanWorker : public QObject {
    Q_OBJECT
public:
    static constexpr int kWindowMs = 100; // the loudest-part search's window

    explicit LevelScanWorker(QObject* parent = nullptr);
    ~LevelScanWorker() override;

    // Scans a copy of the entry; a scan already running is cancelled first.
    void start(const velmora::SourceFile& entry);
    void cancel();
    bool isRunning() const;

    // Valid after finished(): the levels, or none with a note (empty when cancelled).
    const std::optional<velmora::LevelProfile>& levels() const { return m_levels; }
    const QString& failureNote() const { return m_failureNote; }

signals:
    void progressed(int percent);
    void finished();

private:
    void stopThread();

    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
    std::optional<velmora::LevelProfile> m_levels; // written by the thread before it ends
    QString m_failureNote;
    int m_generation = 0;
};
