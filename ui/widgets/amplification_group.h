#pragma once

#include <QGroupBox>

class QCheckBox;
class BoundedStepSpinBox;

// "Amplify / Reduce sound" with its coefficient in percent, checked when the page is left.
class AmplificationGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit AmplificationGroup(int maximumCoefficient, QWidget* parent = nullptr);

    void load(int amplify, int coefficient);
    int amplify() const;
    int coefficient() const;

    // True when the box is off or the coefficient lies in the range. Otherwise false after
    // focusing the coefficient; the caller shows rangeMessage().
    bool checkCoefficient();
    QString rangeMessage() const;

    QCheckBox& amplifyCheck() const { return *m_amplifyCheck; }
    BoundedStepSpinBox& coefficientBox() const { return *m_coefficientBox; }

private:
    void updateEnabling();

    int m_maximum;
    QCheckBox* m_amplifyCheck;
    BoundedStepSpinBox* m_coefficientBox;
};
