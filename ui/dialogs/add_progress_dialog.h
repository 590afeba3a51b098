#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;

// The small caption-less window shown while files are added: one text line, one bar and
// Cancel, which only raises a flag that the adding loop polls after each file.
class AddProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddProgressDialog(QWidget* owner);

    void setText(const QString& text);
    void setRange(int maximum);
    void step();
    int position() const;
    QString text() const;

    bool cancelRequested() const { return m_cancelRequested; }
    // Lets the window repaint and Cancel be seen.
    void pumpMessages();

    QPushButton* cancelButton() const { return m_cancel; }

    // Centres the window over its owner and shows it.
    void open() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void reject() override;

private:
    QLabel* m_text;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
    // Not the parent: the owner is disabled while this window runs, and a disabled parent
    // would disable Cancel too.
    QPointer<QWidget> m_owner;
    bool m_cancelRequested = false;
};
