#include "ui/widgets/amplification_group.h"

#include "ui/widgets/bounded_step_spin_box.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

namespace {

constexpr int kMinimumCoefficient = 10; // percent
constexpr int kStep = 10;               // percent per arrow click
constexpr int kLargestTypable = 99999;  // percent

} // namespace

AmplificationGroup::AmplificationGroup(int maximumCoefficient, QWidget* parent)
    : QGroupBox(parent), m_maximum(maximumCoefficient),
      m_amplifyCheck(new QCheckBox(tr("&Amplify / Reduce sound"))),
      m_coefficientBox(
          new BoundedStepSpinBox(kMinimumCoefficient, maximumCoefficient, kStep, kLargestTypable)) {
    m_coefficientBox->setSuffix(QStringLiteral(" %"));
    auto* label = new QLabel(tr("&Coefficient:"));
    label->setBuddy(m_coefficientBox);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_amplifyCheck);
    layout->addSpacing(12);
    layout->addWidget(label);
    layout->addWidget(m_coefficientBox);
    layout->addStretch(1);
    connect(m_amplifyCheck, &QCheckBox::clicked, this, [this] {
        updateEnabling();
        if (m_amplifyCheck->isChecked())
            m_coefficientBox->setFocus();
    });
}

void AmplificationGroup::load(int amplify, int coefficient) {
    m_amplifyCheck->setChecked(amplify != 0);
    m_coefficientBox->setValue(coefficient);
    updateEnabling();
}

int AmplificationGroup::amplify() const {
    return m_amplifyCheck->isChecked() ? 1 : 0;
}

int AmplificationGroup::coefficient() const {
    return m_coefficientBox->value();
}

bool AmplificationGroup::checkCoefficient() {
    if (!m_amplifyCheck->isChecked())
        return true;
    if (m_coefficientBox->inAllowedRange())
        return true;
    m_coefficientBox->setFocus();
    return false;
}

QString AmplificationGroup::rangeMessage() const {
    return tr("Invalid amplification coefficient. It's between %1 and %2.")
        .arg(kMinimumCoefficient)
        .arg(m_maximum);
}

void AmplificationGroup::updateEnabling() {
    m_coefficientBox->setEnabled(m_amplifyCheck->isChecked());
}
