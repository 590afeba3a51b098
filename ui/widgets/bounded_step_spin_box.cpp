#include "ui/widgets/bounded_step_spin_box.h"

#include <QLineEdit>
#include <algorithm>

BoundedStepSpinBox::BoundedStepSpinBox(int minimum, int maximum, int step, int largestTypable,
                                       QWidget* parent)
    : QSpinBox(parent), m_minimum(minimum), m_maximum(maximum) {
    setRange(0, largestTypable);
    setSingleStep(step);
    setGroupSeparatorShown(false);
}

void BoundedStepSpinBox::stepBy(int steps) {
    setValue(std::clamp(value() + steps * singleStep(), m_minimum, m_maximum));
}

QAbstractSpinBox::StepEnabled BoundedStepSpinBox::stepEnabled() const {
    StepEnabled enabled = StepNone;
    if (value() < m_maximum)
        enabled |= StepUpEnabled;
    if (value() > m_minimum)
        enabled |= StepDownEnabled;
    return enabled;
}
