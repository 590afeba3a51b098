#pragma once

#include <QRect>

class QMouseEvent;
class QPainter;
class QWidget;

// What the two caption-less progress windows share: their painted frame, being dragged by
// their body, and opening centred over their owner.
class ProgressWindowFrame {
public:
    static void paint(QPainter& painter, const QRect& window);
    static void startMove(QWidget& window, QMouseEvent* event);
    // Stacks the window above its owner and centres it there (on the screen without one).
    static void attachTo(QWidget& window, QWidget* owner);
};
