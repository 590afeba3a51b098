#pragma once

#include "sources/segment.h"
#include "sources/source_file.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

class QAudioSink;
class QBuffer;
class QThread;

// Plays the picked part of a song, fades included, through the default sound output. The part is
// decoded on a thread of its own into memory (at most kMaxBytes) and then handed to the output;
// without a sound output it says so instead of failing silently.
class SelectionPlayer : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxBytes = 64 * 1024 * 1024; // of decoded 16-bit PCM

    explicit SelectionPlayer(QObject* parent = nullptr);
    ~SelectionPlayer() override;

    static bool hasSoundOutput();

    // Stops what is playing and starts the part; failed() tells when it cannot be played.
    void play(const velmora::SourceFile& entry, const velmora::Segment& segment);
    void stop();
    bool isActive() const { return m_decoding || m_sink; }

signals:
    // true from play() until the part has been heard or stopped.
    void activeChanged(bool active);
    void failed(const QString& message);

private:
    void stopDecoding();
    void startOutput();
    void onOutputStateChanged();
    void finishOutput();
    // Stops the sound output and frees the decoded part.
    void releaseOutput();

    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
    bool m_decoding = false;
    // Written by the decoding thread before it ends.
    QByteArray m_pcm;
    QAudioFormat m_format;
    QString m_decodeFailure;
    std::unique_ptr<QBuffer> m_buffer;
    std::unique_ptr<QAudioSink> m_sink;
    int m_generation = 0;
};
