#pragma once

#include <QDoubleSpinBox>
#include <optional>

// A spin box of seconds that reads and writes minutes too: "1:02.50" is 62.5 seconds, and a
// plain "62.5" is taken as well.
class TimeField : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit TimeField(QWidget* parent = nullptr);

    QString textFromValue(double seconds) const override;
    double valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& position) const override;

    // Seconds in "m:ss.cc" or "ss.cc"; none when the text is neither.
    static std::optional<double> parse(const QString& text);
};
