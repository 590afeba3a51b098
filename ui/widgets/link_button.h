#pragma once

#include <QAbstractButton>

// A hyperlink-looking button: bold, underlined, blue text with the hand cursor.
class LinkButton : public QAbstractButton {
    Q_OBJECT
public:
    LinkButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
