#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;

// The two-bar window of a conversion batch: the current file above, the batch below, and
// Cancel, which only raises the flag that the driver and the routine poll. It stays up until
// the batch closes it; the system keys cannot close it under the running batch.
class BatchProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit BatchProgressDialog(QWidget* owner);

    void setUpperText(const QString& text);
    void setUpperRange(int maximum);
    void setUpperPosition(int position);
    void setLowerText(const QString& text);
    void setLowerRange(int maximum);
    void stepLower();

    QString upperText() const;
    QString lowerText() const;
    int upperPosition() const;
    int lowerPosition() const;
    int upperBarWidth() const;

    bool cancelRequested() const { return m_cancelRequested; }
    QPushButton* cancelButton() const { return m_cancel; }

    // Centres the window over its owner and shows it.
    void open() override;
    // Closes the window for good; the only way it goes away.
    void finish();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QLabel* m_upperText;
    QProgressBar* m_upperBar;
    QLabel* m_lowerText;
    QProgressBar* m_lowerBar;
    QPushButton* m_cancel;
    // Not the parent: the owner is disabled while this window runs, and a disabled parent
    // would disable Cancel too.
    QPointer<QWidget> m_owner;
    bool m_cancelRequested = false;
    bool m_finished = false;
};
