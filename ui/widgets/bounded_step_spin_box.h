#pragma once

#include <QSpinBox>

// A spin box whose arrows stay within an allowed range while typing accepts any number up to
// a wider limit, so that a check on leaving can tell the user why a typed value is refused
// instead of the box silently clamping it.
class BoundedStepSpinBox : public QSpinBox {
    Q_OBJECT
public:
    BoundedStepSpinBox(int minimum, int maximum, int step, int largestTypable,
                       QWidget* parent = nullptr);

    void stepBy(int steps) override;
    bool inAllowedRange() const { return value() >= m_minimum && value() <= m_maximum; }
    QLineEdit& textEdit() const { return *lineEdit(); }

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_minimum;
    int m_maximum;
};
