#pragma once

#include <QRect>

class QPainter;

// The main window's skin: a blue header band carrying the program's name, a light command
// panel on the left and a frame around the file list, all painted in code.
class SkinPainter {
public:
    static constexpr int kHeaderHeight = 52; // pixels

    static void paint(QPainter& painter, const QRect& window, const QRect& listFrame,
                      const QRect& commandPanel);
};
