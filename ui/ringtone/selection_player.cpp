#include "ui/ringtone/selection_player.h"

#include "sources/source_factory.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kRenderRate = 44100; // Hz for synthesised material (modules, MIDI)

// Equal-power gain at `frame` of a part of `total` frames with fades of the given frame counts.
double fadeGain(std::int64_t frame, std::int64_t total, std::int64_t fadeIn, std::int64_t fadeOut) {
    double gain = 1.0;
    if (fadeIn > 0 && frame < fadeIn)
        gain *= std::sin(static_cast<double>(frame) / static_cast<double>(fadeIn) * M_PI / 2);
    const std::int64_t fromEnd = total - 1 - frame;
    if (fadeOut > 0 && fromEnd < fadeOut)
        gain *= std::sin(static_cast<double>(fromEnd) / static_cast<double>(fadeOut) * M_PI / 2);
    return gain;
}

std::int64_t framesOf(std::int64_t ms, int rate) {
    return ms * rate / 1000;
}

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
    const std::int64_t skip = framesOf(segment.startMs, part.rate);
    const std::int64_t bytesPerFrame = 2LL * part.channels;
    const std::int64_t wanted = std::min<std::int64_t>(framesOf(segment.lengthMs, part.rate),
                                                       SelectionPlayer::kMaxBytes / bytesPerFrame);
    const std::int64_t fadeIn = framesOf(segment.fadeInMs, part.rate);
    const std::int64_t fadeOut = framesOf(segment.fadeOutMs, part.rate);
    std::vector<std::int16_t> left(velmora::AudioSource::kMaxFramesPerRead);
    std::vector<std::int16_t> right(velmora::AudioSource::kMaxFramesPerRead);
    part.pcm.reserve(static_cast<qsizetype>(wanted * bytesPerFrame));
    std::int64_t position = 0; // frames read from the source
    std::int64_t kept = 0;
    while (kept < wanted && !cancel.load()) {
        const int got = source->read(left.data(), right.data());
        if (got <= 0)
            break;
        for (int frame = 0; frame < got && kept < wanted; ++frame, ++position) {
            if (position < skip)
                continue;
            const double gain = fadeGain(kept, wanted, fadeIn, fadeOut);
            for (int channel = 0; channel < part.channels; ++channel) {
                const std::int16_t* buffer = channel == 0 ? left.data() : right.data();
                const auto sample = static_cast<std::int16_t>(
                    std::lround(sampleAt(buffer, frame, eightBit) * gain));
                part.pcm.append(reinterpret_cast<const char*>(&sample), sizeof sample);
            }
            ++kept;
        }
    }
    if (kept == 0 && !cancel.load())
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
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_buffer.reset();
    m_pcm.clear();
    emit activeChanged(false);
}

void SelectionPlayer::stop() {
    const bool wasActive = isActive();
    ++m_generation;
    stopDecoding();
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_buffer.reset();
    m_pcm.clear();
    if (wasActive)
        emit activeChanged(false);
}
