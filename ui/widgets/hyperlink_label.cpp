#include "ui/widgets/hyperlink_label.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {

const QColor kLinkColour(0x00, 0x33, 0xcc);
const QColor kVisitedColour(0x80, 0x00, 0x80);

} // namespace

HyperlinkLabel::HyperlinkLabel(const QString& text, const QString& url, QWidget* parent)
    : QLabel(text, parent), m_url(url) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(url);
    applyColour();
}

void HyperlinkLabel::markVisited() {
    m_visited = true;
    applyColour();
    update();
}

void HyperlinkLabel::applyColour() {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, m_visited ? kVisitedColour : kLinkColour);
    setPalette(colours);
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit activated(m_url);
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void HyperlinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        emit activated(m_url);
        return;
    }
    QLabel::keyPressEvent(event);
}

void HyperlinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = contentsRect();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}
