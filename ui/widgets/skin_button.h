#pragma once

#include <QPushButton>

// A command button of the main window painted over the skin: a rounded gradient face, its
// label in bold 11-pixel type, and the hand cursor.
class SkinButton : public QPushButton {
    Q_OBJECT
public:
    SkinButton(const QString& text, QWidget* parent = nullptr);

    // The label font of the skin: Tahoma when installed, else the desktop's sans-serif face.
    static QFont labelFont();

protected:
    void paintEvent(QPaintEvent* event) override;
};
