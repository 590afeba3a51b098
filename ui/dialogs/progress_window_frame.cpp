#include "ui/dialogs/progress_window_frame.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <QWindow>

void ProgressWindowFrame::paint(QPainter& painter, const QRect& window) {
    QLinearGradient fill(window.topLeft(), window.bottomLeft());
    fill.setColorAt(0, QColor(0xf4, 0xf8, 0xfc));
    fill.setColorAt(1, QColor(0xd4, 0xe0, 0xed));
    painter.fillRect(window, fill);
    painter.setPen(QColor(0x46, 0x5c, 0x75));
    painter.drawRect(window.adjusted(0, 0, -1, -1));
}

void ProgressWindowFrame::startMove(QWidget& window, QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    if (QWindow* handle = window.windowHandle())
        handle->startSystemMove();
    event->accept();
}

void ProgressWindowFrame::attachTo(QWidget& window, QWidget* owner) {
    if (owner && owner->windowHandle()) {
        window.winId(); // creates the native window so that it can be given its owner
        window.windowHandle()->setTransientParent(owner->windowHandle());
    }
    QRect area;
    if (owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}
