#include "ui/ringtone/segment_mark.h"

#include "ui/ringtone/time_text.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>

QIcon SegmentMark::icon() {
    // A bracketed part of a waveform, drawn once at the list's icon size (pixels).
    static const QIcon mark = [] {
        constexpr int kSize = 16;
        QPixmap picture(kSize, kSize);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xff, 0xc1, 0x2e));
        painter.drawRoundedRect(QRectF(4, 1, 8, 14), 2, 2);
        painter.setPen(QPen(QColor(0x1f, 0x3b, 0x5c), 1.5));
        const int heights[] = {4, 8, 12, 6, 10, 5, 3};
        for (int i = 0; i < 7; ++i) {
            const int x = 2 + 2 * i;
            const int h = heights[i];
            painter.drawLine(QPointF(x, 8 - h / 2.0), QPointF(x, 8 + h / 2.0));
        }
        return QIcon(picture);
    }();
    return mark;
}

QString SegmentMark::describe(const velmora::Segment& segment) {
    QString text = QCoreApplication::translate("SegmentMark", "Ringtone part: %1 to %2 (%3)")
                       .arg(TimeText::minutesSeconds(segment.startMs),
                            TimeText::minutesSeconds(segment.startMs + segment.lengthMs),
                            TimeText::length(segment.lengthMs));
    if (segment.fadeInMs > 0)
        text += QCoreApplication::translate("SegmentMark", ", fade in %1")
                    .arg(TimeText::length(segment.fadeInMs));
    if (segment.fadeOutMs > 0)
        text += QCoreApplication::translate("SegmentMark", ", fade out %1")
                    .arg(TimeText::length(segment.fadeOutMs));
    return text;
}
