#include "ui/dialogs/batch_progress_dialog.h"

#include "ui/dialogs/progress_window_frame.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

void setElided(QLabel& label, const QString& text) {
    label.setText(label.fontMetrics().elidedText(text, Qt::ElideMiddle, label.width()));
    label.setToolTip(text);
}

} // namespace

BatchProgressDialog::BatchProgressDialog(QWidget* owner)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint), m_upperText(new QLabel(this)),
      m_upperBar(new QProgressBar(this)), m_lowerText(new QLabel(this)),
      m_lowerBar(new QProgressBar(this)), m_cancel(new QPushButton(tr("Cancel"), this)) {
    m_owner = owner;
    setWindowTitle(QStringLiteral("Velmora"));
    setModal(false);
    setFixedSize(480, 154);
    for (QLabel* label : {m_upperText, m_lowerText}) {
        label->setTextFormat(Qt::PlainText);
        label->setFixedWidth(width() - 24);
    }
    for (QProgressBar* bar : {m_upperBar, m_lowerBar}) {
        bar->setTextVisible(false);
        bar->setRange(0, 1);
        bar->setValue(0);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->addWidget(m_upperText);
    layout->addWidget(m_upperBar);
    layout->addSpacing(6);
    layout->addWidget(m_lowerText);
    layout->addWidget(m_lowerBar);
    layout->addLayout(buttons);
    // The bars get their real width now: the routine sizes its steps to it before the first
    // paint.
    layout->activate();
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_cancelRequested = true; });
}

void BatchProgressDialog::open() {
    m_cancelRequested = false;
    ProgressWindowFrame::attachTo(*this, m_owner);
    show();
}

void BatchProgressDialog::finish() {
    m_finished = true;
    close();
}

void BatchProgressDialog::setUpperText(const QString& text) {
    setElided(*m_upperText, text);
}

void BatchProgressDialog::setUpperRange(int maximum) {
    m_upperBar->setRange(0, qMax(maximum, 1));
}

void BatchProgressDialog::setUpperPosition(int position) {
    m_upperBar->setValue(qBound(0, position, m_upperBar->maximum()));
}

void BatchProgressDialog::setLowerText(const QString& text) {
    setElided(*m_lowerText, text);
}

void BatchProgressDialog::setLowerRange(int maximum) {
    m_lowerBar->setRange(0, qMax(maximum, 1));
    m_lowerBar->setValue(0);
}

void BatchProgressDialog::stepLower() {
    m_lowerBar->setValue(qMin(m_lowerBar->value() + 1, m_lowerBar->maximum()));
}

QString BatchProgressDialog::upperText() const {
    return m_upperText->toolTip();
}

QString BatchProgressDialog::lowerText() const {
    return m_lowerText->toolTip();
}

int BatchProgressDialog::upperPosition() const {
    return m_upperBar->value();
}

int BatchProgressDialog::lowerPosition() const {
    return m_lowerBar->value();
}

int BatchProgressDialog::upperBarWidth() const {
    return m_upperBar->width();
}

void BatchProgressDialog::mousePressEvent(QMouseEvent* event) {
    ProgressWindowFrame::startMove(*this, event);
}

void BatchProgressDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    ProgressWindowFrame::paint(painter, rect());
}

void BatchProgressDialog::closeEvent(QCloseEvent* event) {
    // Alt+F4 under a running batch asks to cancel instead of pulling the window away.
    if (m_finished) {
        event->accept();
        return;
    }
    m_cancelRequested = true;
    event->ignore();
}

void BatchProgressDialog::reject() {
    m_cancelRequested = true;
}
