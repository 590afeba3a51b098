#include "ui/widgets/skin_button.h"

#include <QPainter>
#include <QStyleOptionButton>

SkinButton::SkinButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover); // repainted as the mouse comes and goes
    setFont(labelFont());
    setFocusPolicy(Qt::TabFocus);
}

QFont SkinButton::labelFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setBold(true);
    return font;
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool pressed = isDown();
    const bool hovered = underMouse() && isEnabled();

    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    if (!isEnabled()) {
        fill.setColorAt(0, QColor(0xe6, 0xe8, 0xeb));
        fill.setColorAt(1, QColor(0xcf, 0xd3, 0xd8));
    } else if (pressed) {
        fill.setColorAt(0, QColor(0xb9, 0xcf, 0xe6));
        fill.setColorAt(1, QColor(0xe4, 0xee, 0xf8));
    } else {
        fill.setColorAt(0, hovered ? QColor(0xff, 0xff, 0xff) : QColor(0xfb, 0xfc, 0xfe));
        fill.setColorAt(0.5, hovered ? QColor(0xe3, 0xef, 0xfb) : QColor(0xe2, 0xe8, 0xf0));
        fill.setColorAt(1, hovered ? QColor(0xc4, 0xdc, 0xf3) : QColor(0xc6, 0xd0, 0xdc));
    }
    painter.setPen(QPen(hasFocus() ? QColor(0x1f, 0x6f, 0xb5) : QColor(0x7d, 0x8a, 0x99), 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(face, 5, 5);

    painter.setFont(font());
    painter.setPen(isEnabled() ? QColor(0x35, 0x35, 0x35) : QColor(0x8a, 0x8f, 0x96));
    const QRect label = rect().translated(pressed ? 1 : 0, pressed ? 1 : 0);
    painter.drawText(label, Qt::AlignCenter | Qt::TextShowMnemonic, text());
}
