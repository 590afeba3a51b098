#include "ui/ringtone/waveform_view.h"

#include "engine/level_scan.h"
#include "ui/ringtone/ringtone_selection.h"
#include "ui/ringtone/time_text.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

const QColor kBackground(0x1f, 0x26, 0x33);
const QColor kPeakColour(0x4f, 0x6d, 0x8f);
const QColor kRmsColour(0x8f, 0xc1, 0xf0);
const QColor kSelectionFill(0x5a, 0x4b, 0x23);
const QColor kSelectionEdge(0xff, 0xd3, 0x5c);
const QColor kTooLongFill(0x7a, 0x2a, 0x2e);
const QColor kAxisText(0xc8, 0xd0, 0xdc);
// Inside the part the waveform turns warm, past the phone's limit red.
const QColor kSelectedPeak(0xb8, 0x8a, 0x2e);
const QColor kSelectedRms(0xff, 0xd9, 0x7a);
const QColor kTooLongPeak(0xb0, 0x45, 0x45);
const QColor kTooLongRms(0xff, 0x9c, 0x9c);

// Seconds between time marks: the first step that leaves room for a label.
std::int64_t markStepMs(std::int64_t durationMs, int widthPixels) {
    static constexpr std::array<std::int64_t, 12> kSteps = {
        1000, 2000, 5000, 10000, 15000, 30000, 60000, 120000, 300000, 600000, 1800000, 3600000};
    constexpr int kLabelRoom = 56; // pixels per mark
    const std::int64_t marksThatFit = std::max(widthPixels / kLabelRoom, 1);
    for (const std::int64_t step : kSteps) {
        if (durationMs / step <= marksThatFit)
            return step;
    }
    return kSteps.back();
}

} // namespace

WaveformView::WaveformView(RingtoneSelection& selection, QWidget* parent)
    : QWidget(parent), m_selection(selection) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void WaveformView::setLevels(const velmora::LevelProfile* levels) {
    m_levels = levels;
    // A quiet recording is drawn as tall as a loud one, up to 8 times its own height.
    float loudest = 0;
    if (levels) {
        for (const float peak : levels->peak)
            loudest = std::max(loudest, peak);
    }
    m_heightScale = loudest > 0 ? std::min(1.0f / loudest, 8.0f) : 1.0f;
    update();
}

void WaveformView::setLimitMs(std::int64_t limitMs) {
    m_limitMs = limitMs;
    update();
}

void WaveformView::setPlaceholderText(const QString& text) {
    m_placeholder = text;
    update();
}

QRect WaveformView::plotRect() const {
    return rect().adjusted(1, 1, -1, -kAxisHeight);
}

std::int64_t WaveformView::shownDurationMs() const {
    if (m_selection.durationMs() > 0)
        return m_selection.durationMs();
    // Unknown length: enough room for the part and a little more.
    return std::max<std::int64_t>(m_selection.endMs() * 5 / 4, 1000);
}

int WaveformView::xOfTime(std::int64_t ms) const {
    const QRect plot = plotRect();
    const double fraction = static_cast<double>(ms) / static_cast<double>(shownDurationMs());
    return plot.left() + static_cast<int>(std::lround(fraction * plot.width()));
}

std::int64_t WaveformView::timeAtX(int x) const {
    const QRect plot = plotRect();
    if (plot.width() <= 0)
        return 0;
    const double fraction =
        std::clamp(static_cast<double>(x - plot.left()) / plot.width(), 0.0, 1.0);
    return std::llround(fraction * static_cast<double>(shownDurationMs()));
}

WaveformView::Drag WaveformView::dragAt(int x) const {
    const int startX = xOfTime(m_selection.segment().startMs);
    const int endX = xOfTime(m_selection.endMs());
    // The end edge wins when the part is so narrow that both grips overlap, so it can grow.
    if (std::abs(x - endX) <= kEdgeGrip)
        return Drag::EndEdge;
    if (std::abs(x - startX) <= kEdgeGrip)
        return Drag::StartEdge;
    if (x > startX && x < endX)
        return Drag::Move;
    return Drag::None;
}

void WaveformView::updateCursor(int x) {
    switch (m_drag == Drag::None ? dragAt(x) : m_drag) {
    case Drag::StartEdge:
    case Drag::EndEdge:
        setCursor(Qt::SizeHorCursor);
        break;
    case Drag::Move:
        setCursor(m_drag == Drag::Move ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
        break;
    case Drag::None:
        setCursor(Qt::PointingHandCursor);
        break;
    }
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int x = event->position().toPoint().x();
    m_drag = dragAt(x);
    if (m_drag == Drag::None) {
        // A press outside the part moves the part's start there, then drags it from its start.
        m_selection.moveTo(timeAtX(x));
        m_drag = Drag::Move;
        emit selectionEdited();
        update();
    }
    m_grabOffsetMs = timeAtX(x) - m_selection.segment().startMs;
    updateCursor(x);
    event->accept();
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (m_drag == Drag::None) {
        updateCursor(x);
        return;
    }
    const std::int64_t at = timeAtX(x);
    switch (m_drag) {
    case Drag::Move:
        m_selection.moveTo(at - m_grabOffsetMs);
        break;
    case Drag::StartEdge:
        m_selection.setStartKeepingEnd(at);
        break;
    case Drag::EndEdge:
        m_selection.setEnd(at);
        break;
    case Drag::None:
        break;
    }
    emit selectionEdited();
    update();
    event->accept();
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_drag != Drag::None) {
        m_drag = Drag::None;
        updateCursor(event->position().toPoint().x());
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void WaveformView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    const QRect plot = plotRect();
    // The part lies behind the waveform, so the sound inside it stays as clear as outside.
    paintSelectionBand(painter, plot);
    painter.setPen(QColor(0x3a, 0x45, 0x58));
    painter.drawLine(plot.left(), plot.center().y(), plot.right(), plot.center().y());
    if (m_levels)
        paintLevels(painter, plot);
    else if (!m_placeholder.isEmpty()) {
        painter.setPen(kAxisText);
        painter.drawText(plot, Qt::AlignCenter, m_placeholder);
    }
    paintSelectionEdges(painter, plot);
    paintTimeAxis(painter, plot);
}

void WaveformView::paintLevels(QPainter& painter, const QRect& plot) const {
    const std::size_t windows = std::min(m_levels->rms.size(), m_levels->peak.size());
    if (windows == 0 || m_levels->windowMs <= 0)
        return;
    const double halfHeight = plot.height() / 2.0 - 1;
    const int middle = plot.center().y();
    const int startX = xOfTime(m_selection.segment().startMs);
    const int endX = xOfTime(m_selection.endMs());
    const bool tooLong = m_limitMs > 0 && m_selection.segment().lengthMs > m_limitMs;
    const int limitX = tooLong ? xOfTime(m_selection.segment().startMs + m_limitMs) : endX;
    // One column per pixel, holding the loudest window that falls on it.
    for (int x = plot.left(); x <= plot.right(); ++x) {
        const std::int64_t from = timeAtX(x) / m_levels->windowMs;
        const std::int64_t to = std::max(timeAtX(x + 1) / m_levels->windowMs, from + 1);
        float peak = 0;
        float rms = 0;
        for (std::int64_t w = from; w < to && w < static_cast<std::int64_t>(windows); ++w) {
            peak = std::max(peak, m_levels->peak[static_cast<std::size_t>(w)]);
            rms = std::max(rms, m_levels->rms[static_cast<std::size_t>(w)]);
        }
        const int peakHeight = static_cast<int>(std::min(peak * m_heightScale, 1.0f) * halfHeight);
        const int rmsHeight = static_cast<int>(std::min(rms * m_heightScale, 1.0f) * halfHeight);
        const bool selected = x >= startX && x <= endX;
        const bool pastLimit = selected && x > limitX;
        painter.setPen(pastLimit ? kTooLongPeak : selected ? kSelectedPeak : kPeakColour);
        painter.drawLine(x, middle - peakHeight, x, middle + peakHeight);
        painter.setPen(pastLimit ? kTooLongRms : selected ? kSelectedRms : kRmsColour);
        painter.drawLine(x, middle - rmsHeight, x, middle + rmsHeight);
    }
}

void WaveformView::paintSelectionBand(QPainter& painter, const QRect& plot) const {
    const int startX = xOfTime(m_selection.segment().startMs);
    const int endX = xOfTime(m_selection.endMs());
    painter.fillRect(QRect(QPoint(startX, plot.top()), QPoint(endX, plot.bottom())),
                     kSelectionFill);
    if (m_limitMs > 0 && m_selection.segment().lengthMs > m_limitMs) {
        const int limitX = xOfTime(m_selection.segment().startMs + m_limitMs);
        painter.fillRect(QRect(QPoint(limitX, plot.top()), QPoint(endX, plot.bottom())),
                         kTooLongFill);
    }
}

void WaveformView::paintSelectionEdges(QPainter& painter, const QRect& plot) const {
    const int startX = xOfTime(m_selection.segment().startMs);
    const int endX = xOfTime(m_selection.endMs());
    paintFadeCurves(painter, plot);
    painter.setPen(QPen(kSelectionEdge, 2));
    painter.drawLine(startX, plot.top(), startX, plot.bottom());
    painter.drawLine(endX, plot.top(), endX, plot.bottom());
}

void WaveformView::paintFadeCurves(QPainter& painter, const QRect& plot) const {
    const velmora::Segment& segment = m_selection.segment();
    // The equal-power gain, drawn from the bottom of the plot (silence) to its top (full).
    auto curve = [&](std::int64_t fromMs, std::int64_t spanMs, bool rising) {
        if (spanMs <= 0)
            return;
        QPainterPath path;
        constexpr int kSteps = 24;
        for (int step = 0; step <= kSteps; ++step) {
            const double t = static_cast<double>(step) / kSteps;
            const double gain = rising ? std::sin(t * M_PI / 2) : std::cos(t * M_PI / 2);
            const QPointF point(xOfTime(fromMs + std::llround(t * static_cast<double>(spanMs))),
                                plot.bottom() - gain * plot.height());
            if (step == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        painter.drawPath(path);
    };
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(0xff, 0xff, 0xff), 1.5, Qt::DashLine));
    curve(segment.startMs, segment.fadeInMs, true);
    curve(m_selection.endMs() - segment.fadeOutMs, segment.fadeOutMs, false);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void WaveformView::paintTimeAxis(QPainter& painter, const QRect& plot) const {
    const std::int64_t duration = shownDurationMs();
    const std::int64_t step = markStepMs(duration, plot.width());
    painter.setPen(kAxisText);
    const QFontMetrics metrics(painter.font());
    for (std::int64_t at = 0; at <= duration; at += step) {
        const int x = xOfTime(at);
        painter.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 4);
        const QString label = TimeText::minutesSeconds(at);
        const int labelWidth = metrics.horizontalAdvance(label);
        // Labels stay inside the widget at both ends.
        const int left = std::clamp(x - labelWidth / 2, 2, std::max(width() - labelWidth - 2, 2));
        painter.drawText(QRect(left, plot.bottom() + 3, labelWidth + 2, kAxisHeight - 3),
                         Qt::AlignLeft | Qt::AlignVCenter, label);
    }
}
