#include "ui/ringtone/selection_player.h"

#include "engine/segment_filter.h"
#include "sources/source_factory.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QThread>
#include <algorithm>
#include <vector>

namespace {

constexpr int kRenderRate = 44100; // Hz for synthesised material (modules, MIDI)

struct DecodedPart {
    QByteArray pcm; // interleaved signed 16-bit
    int rate = 0;
    int channels = 0;
    QString failure;
};

std::int16_t sampleAt(const std::int16_t* buffer, int frame, bool eightBit) {
    if (!eightBit)
        return buffer[frame];
    // 8-bit sources deliver unsigned bytes at the start of the buffer.
    const std::uint8_t byte = reinterpret_cast<const std::uint8_t*>(buffer)[frame];
    return static_cast<std::int16_t>((static_cast<int>(byte) - 128) * 256);
}

void appendFrames(DecodedPart& part, const std::int16_t* left, const std::int16_t* right,
                  int frames, bool eightBit) {
    for (int frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < part.channels; ++channel) {
            const std::int16_t sample = sampleAt(channel == 0 ? left : right, frame, eightBit);
            part.pcm.append(reinterpret_cast<const char*>(&sample), sizeof sample);
        }
    }
}

// The part exactly as a conversion cuts and fades it, through the engine's own segment filter.
DecodedPart decodePart(const velmora::SourceFile& entry, const velmora::Segment& segment,
                       const std::atomic<bool>& cancel) {
    DecodedPart part;
    velmora::SourceFactory factory;
    const auto source = factory.open(entry.path, entry.kind, kRenderRate, true);
    if (!source || source->sampleRate() <= 0 || source->outChannels() <= 0) {
        part.failure = QObject::tr("The file could not be read.");
        return part;
    }
    part.rate = source->sampleRate();
    part.channels = std::min(source->outChannels(), 2);
    const bool eightBit = source->bitsPerSample() == 8;
    velmora::SegmentFilter filter(segment, part.rate, part.channels, eightBit ? 8 : 16);
    std::vector<std::int16_t> left(velmora::AudioSource::kMaxFramesPerRead);
    std::vector<std::int16_t> right(velmora::AudioSource::kMaxFramesPerRead);
    while (!filter.ended() && !cancel.load() && part.pcm.size() < SelectionPlayer::kMaxBytes) {
        const int got = source->read(left.data(), right.data());
        if (got <= 0)
            break;
        appendFrames(part, left.data(), right.data(), filter.take(left.data(), right.data(), got),
                     eightBit);
    }
    // The held frames fade out where the part (or the memory allowed for it) ends.
    while (!cancel.load()) {
        const int drained =
            filter.drain(left.data(), right.data(), velmora::AudioSource::kMaxFramesPerRead);
        if (drained <= 0)
            break;
        appendFrames(part, left.data(), right.data(), drained, eightBit);
    }
    if (part.pcm.isEmpty() && !cancel.load())
        part.failure = QObject::tr("The selection holds no sound to play.");
    return part;
}

} // namespace

SelectionPlayer::SelectionPlayer(QObject* parent) : QObject(parent) {}

SelectionPlayer::~SelectionPlayer() {
    stopDecoding();
    if (m_sink)
        m_sink->stop();
}

bool SelectionPlayer::hasSoundOutput() {
    return !QMediaDevices::defaultAudioOutput().isNull();
}

void SelectionPlayer::stopDecoding() {
    if (!m_thread)
        return;
    m_cancel = true;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_decoding = false;
}

void SelectionPlayer::play(const velmora::SourceFile& entry, const velmora::Segment& segment) {
    stop();
    if (!hasSoundOutput()) {
        emit failed(tr("No sound output was found, so the selection cannot be played."));
        return;
    }
    m_cancel = false;
    m_decoding = true;
    const int generation = ++m_generation;
    m_thread = QThread::create([this, entry, segment] {
        DecodedPart part = decodePart(entry, segment, m_cancel);
        m_pcm = std::move(part.pcm);
        m_decodeFailure = part.failure;
        m_format.setSampleRate(part.rate);
        m_format.setChannelCount(part.channels);
        m_format.setSampleFormat(QAudioFormat::Int16);
    });
    connect(m_thread, &QThread::finished, this, [this, generation] {
        if (generation == m_generation)
            startOutput();
    });
    emit activeChanged(true);
    m_thread->start();
}

void SelectionPlayer::startOutput() {
    m_decoding = false;
    if (m_cancel.load())
        return;
    if (!m_decodeFailure.isEmpty()) {
        finishOutput();
        emit failed(m_decodeFailure);
        return;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(m_format)) {
        finishOutput();
        emit failed(tr("The sound output cannot play this selection."));
        return;
    }
    m_buffer = std::make_unique<QBuffer>(&m_pcm);
    m_buffer->open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(device, m_format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &SelectionPlayer::onOutputStateChanged);
    m_sink->start(m_buffer.get());
    if (m_sink->error() != QAudio::NoError) {
        finishOutput();
        emit failed(tr("The sound output could not be opened."));
    }
}

void SelectionPlayer::onOutputStateChanged() {
    if (!m_sink)
        return;
    const QAudio::State state = m_sink->state();
    if (state == QAudio::IdleState || state == QAudio::StoppedState) {
        const bool broke =
            m_sink->error() != QAudio::NoError && m_sink->error() != QAudio::UnderrunError;
        // Deleting the sink inside its own signal is not safe; it goes once the signal is done,
        // unless another play() has replaced it by then.
        const int generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == m_generation)
                    finishOutput();
            },
            Qt::QueuedConnection);
        if (broke)
            emit failed(tr("The sound output stopped with an error."));
    }
}

void SelectionPlayer::finishOutput() {
    releaseOutput();
    emit activeChanged(false);
}

void SelectionPlayer::releaseOutput() {
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_buffer.reset();
    m_pcm.clear();
}

void SelectionPlayer::stop() {
    const bool wasActive = isActive();
    ++m_generation;
    stopDecoding();
    releaseOutput();
    if (wasActive)
        emit activeChanged(false);
}
