#include "ui/widgets/link_button.h"

#include "ui/widgets/skin_button.h"

#include <QFontMetrics>
#include <QPainter>

LinkButton::LinkButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    QFont font = SkinButton::labelFont();
    font.setUnderline(true);
    setFont(font);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

QSize LinkButton::sizeHint() const {
    return fontMetrics().size(Qt::TextSingleLine, text()) + QSize(4, 4);
}

void LinkButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Where the desktop's font is wider than the skin's, the text gets smaller rather than cut.
    QFont face = font();
    while (face.pixelSize() > 8 && QFontMetrics(face).horizontalAdvance(text()) > width() - 2)
        face.setPixelSize(face.pixelSize() - 1);
    painter.setFont(face);
    painter.setPen(isDown() ? QColor(0x80, 0x00, 0x80) : QColor(0x00, 0x33, 0xcc));
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus()) {
        painter.setPen(QPen(QColor(0x00, 0x33, 0xcc), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
