#include "ui/widgets/title_button.h"

#include <QPainter>

TitleButton::TitleButton(IconPainter::Glyph glyph, QWidget* parent)
    : QAbstractButton(parent), m_glyph(glyph) {
    setFixedSize(kSize, kSize);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover); // repainted as the mouse comes and goes
    setFocusPolicy(Qt::NoFocus);
}

void TitleButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool closeButton = m_glyph == IconPainter::Glyph::TitleClose;
    QColor base = closeButton ? QColor(0xc8, 0x3c, 0x3c) : QColor(0x2b, 0x5d, 0x93);
    if (isDown())
        base = base.darker(130);
    else if (underMouse())
        base = base.lighter(125);
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    fill.setColorAt(0, base.lighter(135));
    fill.setColorAt(1, base);
    painter.setPen(QPen(QColor(255, 255, 255, 150), 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(face, 4, 4);
    painter.drawPixmap(0, 0, IconPainter::glyphPixmap(m_glyph, size()));
}
