#include "ui/widgets/skin_painter.h"

#include "ui/widgets/icon_painter.h"

#include <QCoreApplication>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>

namespace {

void paintHeader(QPainter& painter, const QRect& window) {
    const QRect band(window.left(), window.top(), window.width(), SkinPainter::kHeaderHeight);
    QLinearGradient fill(band.topLeft(), band.bottomLeft());
    fill.setColorAt(0, QColor(0x3a, 0x86, 0xd0));
    fill.setColorAt(0.55, QColor(0x1d, 0x5a, 0x9c));
    fill.setColorAt(1, QColor(0x14, 0x44, 0x7a));
    painter.fillRect(band, fill);
    painter.setPen(QColor(0x0c, 0x2c, 0x52));
    painter.drawLine(band.bottomLeft(), band.bottomRight());

    painter.drawPixmap(band.left() + 12, band.top() + 10, IconPainter::windowPixmap(32));
    QFont name(QStringLiteral("Tahoma"));
    name.setStyleHint(QFont::SansSerif);
    name.setPixelSize(24);
    name.setBold(true);
    painter.setFont(name);
    painter.setPen(QColor(0x0a, 0x28, 0x4a));
    const QRect nameBox(band.left() + 54, band.top(), 300, band.height());
    painter.drawText(nameBox.translated(1, 1), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("Velmora"));
    painter.setPen(Qt::white);
    painter.drawText(nameBox, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Velmora"));

    QFont tagline = name;
    tagline.setPixelSize(11);
    tagline.setBold(false);
    painter.setFont(tagline);
    painter.setPen(QColor(0xd6, 0xe8, 0xfa));
    painter.drawText(QRect(band.left() + 176, band.top() + 4, 300, band.height()),
                     Qt::AlignVCenter | Qt::AlignLeft,
                     QCoreApplication::translate("SkinPainter", "audio converter"));
}

void paintPanel(QPainter& painter, const QRect& panel) {
    QLinearGradient fill(panel.topLeft(), panel.bottomLeft());
    fill.setColorAt(0, QColor(0xf4, 0xf8, 0xfc));
    fill.setColorAt(1, QColor(0xd8, 0xe3, 0xef));
    painter.setPen(QColor(0xa9, 0xb8, 0xca));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(panel).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

} // namespace

void SkinPainter::paint(QPainter& painter, const QRect& window, const QRect& listFrame,
                        const QRect& commandPanel) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient body(window.topLeft(), window.bottomLeft());
    body.setColorAt(0, QColor(0xc9, 0xd8, 0xe8));
    body.setColorAt(1, QColor(0x9e, 0xb5, 0xcd));
    painter.fillRect(window, body);
    paintHeader(painter, window);
    paintPanel(painter, commandPanel);
    painter.setPen(QColor(0x5d, 0x74, 0x8e));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(listFrame.adjusted(-1, -1, 0, 0));
    painter.setPen(QColor(0x46, 0x5c, 0x75));
    painter.drawRect(window.adjusted(0, 0, -1, -1));
    painter.restore();
}
