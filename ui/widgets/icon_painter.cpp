#include "ui/widgets/icon_painter.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kAccent(0x1f, 0x6f, 0xb5);
const QColor kDark(0x35, 0x35, 0x35);

void drawSpeaker(QPainter& painter, const QRectF& box, const QColor& colour) {
    const qreal w = box.width();
    const qreal h = box.height();
    QPainterPath cone;
    cone.moveTo(box.left() + 0.10 * w, box.top() + 0.38 * h);
    cone.lineTo(box.left() + 0.28 * w, box.top() + 0.38 * h);
    cone.lineTo(box.left() + 0.50 * w, box.top() + 0.18 * h);
    cone.lineTo(box.left() + 0.50 * w, box.top() + 0.82 * h);
    cone.lineTo(box.left() + 0.28 * w, box.top() + 0.62 * h);
    cone.lineTo(box.left() + 0.10 * w, box.top() + 0.62 * h);
    cone.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(cone);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, qMax<qreal>(1.2, w / 14), Qt::SolidLine, Qt::RoundCap));
    const QPointF centre(box.left() + 0.50 * w, box.center().y());
    for (const qreal radius : {0.18, 0.32}) {
        const QRectF arc(centre.x() - radius * w, centre.y() - radius * h, 2 * radius * w,
                         2 * radius * h);
        painter.drawArc(arc, -45 * 16, 90 * 16);
    }
}

void drawPlus(QPainter& painter, const QRectF& box, const QColor& colour) {
    painter.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = box.center();
    const qreal r = box.width() / 2 - 2;
    painter.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    painter.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
}

void drawPlay(QPainter& painter, const QRectF& box, const QColor& colour) {
    QPainterPath triangle;
    triangle.moveTo(box.left() + 0.25 * box.width(), box.top() + 0.15 * box.height());
    triangle.lineTo(box.left() + 0.85 * box.width(), box.center().y());
    triangle.lineTo(box.left() + 0.25 * box.width(), box.top() + 0.85 * box.height());
    triangle.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(triangle);
}

void drawText(QPainter& painter, const QRectF& box, const QString& text, const QColor& colour) {
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(qMax(8, static_cast<int>(box.height() * 0.75)));
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(box, Qt::AlignCenter, text);
}

void drawEnvelope(QPainter& painter, const QRectF& box, const QColor& colour) {
    const QRectF body = box.adjusted(1, 3, -1, -3);
    painter.setPen(QPen(colour, 1.3));
    painter.setBrush(Qt::white);
    painter.drawRect(body);
    painter.drawLine(body.topLeft(), body.center());
    painter.drawLine(body.topRight(), body.center());
}

void drawGlobe(QPainter& painter, const QRectF& box, const QColor& colour) {
    const QRectF ball = box.adjusted(1.5, 1, -1.5, -1);
    painter.setPen(QPen(colour, 1.2));
    painter.setBrush(QColor(0xdd, 0xee, 0xff));
    painter.drawEllipse(ball);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(ball.adjusted(ball.width() * 0.3, 0, -ball.width() * 0.3, 0));
    painter.drawLine(QPointF(ball.left(), ball.center().y()),
                     QPointF(ball.right(), ball.center().y()));
}

void drawArrowUp(QPainter& painter, const QRectF& box, const QColor& colour) {
    QPainterPath arrow;
    const qreal w = box.width();
    const qreal h = box.height();
    arrow.moveTo(box.left() + 0.5 * w, box.top() + 0.08 * h);
    arrow.lineTo(box.left() + 0.9 * w, box.top() + 0.5 * h);
    arrow.lineTo(box.left() + 0.65 * w, box.top() + 0.5 * h);
    arrow.lineTo(box.left() + 0.65 * w, box.top() + 0.92 * h);
    arrow.lineTo(box.left() + 0.35 * w, box.top() + 0.92 * h);
    arrow.lineTo(box.left() + 0.35 * w, box.top() + 0.5 * h);
    arrow.lineTo(box.left() + 0.1 * w, box.top() + 0.5 * h);
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(arrow);
}

void drawTitleGlyph(QPainter& painter, IconPainter::Glyph glyph, const QRectF& box) {
    painter.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
    const QRectF inner = box.adjusted(6.5, 6.5, -6.5, -6.5);
    switch (glyph) {
    case IconPainter::Glyph::TitleHelp:
        drawText(painter, box.adjusted(0, 1, 0, -1), QStringLiteral("?"), Qt::white);
        break;
    case IconPainter::Glyph::TitleMinimise:
        painter.drawLine(QPointF(inner.left(), inner.bottom()),
                         QPointF(inner.right(), inner.bottom()));
        break;
    default:
        painter.drawLine(inner.topLeft(), inner.bottomRight());
        painter.drawLine(inner.topRight(), inner.bottomLeft());
        break;
    }
}

} // namespace

QPixmap IconPainter::windowPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF badge(0.5, 0.5, size - 1.0, size - 1.0);
    QRadialGradient fill(badge.center() - QPointF(size * 0.2, size * 0.2), size * 0.8);
    fill.setColorAt(0, QColor(0x6c, 0xc3, 0xff));
    fill.setColorAt(1, QColor(0x10, 0x4a, 0x8c));
    painter.setPen(QPen(QColor(0x0a, 0x30, 0x5c), qMax(1.0, size / 32.0)));
    painter.setBrush(fill);
    painter.drawEllipse(badge);
    drawSpeaker(painter, badge.adjusted(size * 0.12, size * 0.12, -size * 0.08, -size * 0.12),
                Qt::white);
    return pixmap;
}

QIcon IconPainter::windowIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(windowPixmap(size));
    return icon;
}

QPixmap IconPainter::glyphPixmap(Glyph glyph, QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, size.width(), size.height());
    switch (glyph) {
    case Glyph::AddFiles:
        drawPlus(painter, box, QColor(0x2e, 0x8b, 0x3a));
        break;
    case Glyph::Remove:
        painter.setPen(QPen(QColor(0xc0, 0x30, 0x30), 2.2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(box.topLeft() + QPointF(3, 3), box.bottomRight() - QPointF(3, 3));
        painter.drawLine(box.topRight() + QPointF(-3, 3), box.bottomLeft() + QPointF(3, -3));
        break;
    case Glyph::PlaySource:
        drawPlay(painter, box, kAccent);
        break;
    case Glyph::PlayDestination:
        drawPlay(painter, box, QColor(0x2e, 0x8b, 0x3a));
        break;
    case Glyph::HelpTopics:
        drawText(painter, box, QStringLiteral("?"), kAccent);
        break;
    case Glyph::Homepage:
        drawGlobe(painter, box, kAccent);
        break;
    case Glyph::TellAFriend:
    case Glyph::Feedback:
        drawEnvelope(painter, box, glyph == Glyph::Feedback ? kAccent : kDark);
        break;
    case Glyph::CheckVersion:
        drawArrowUp(painter, box, QColor(0x2e, 0x8b, 0x3a));
        break;
    case Glyph::About:
        drawText(painter, box, QStringLiteral("i"), kAccent);
        break;
    case Glyph::TitleHelp:
    case Glyph::TitleMinimise:
    case Glyph::TitleClose:
        drawTitleGlyph(painter, glyph, box);
        break;
    }
    return pixmap;
}

QIcon IconPainter::glyphIcon(Glyph glyph) {
    return QIcon(glyphPixmap(glyph, QSize(16, 15)));
}
