#pragma once

#include "ui/widgets/icon_painter.h"

#include <QAbstractButton>

// One of the three small buttons in the header band (help menu, minimise, close).
class TitleButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kSize = 21; // pixels, square

    TitleButton(IconPainter::Glyph glyph, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {kSize, kSize}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    IconPainter::Glyph m_glyph;
};
