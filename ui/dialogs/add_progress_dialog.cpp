#include "ui/dialogs/add_progress_dialog.h"

#include "ui/dialogs/progress_window_frame.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

AddProgressDialog::AddProgressDialog(QWidget* owner)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint), m_text(new QLabel(this)),
      m_bar(new QProgressBar(this)), m_cancel(new QPushButton(tr("Cancel"), this)) {
    m_owner = owner;
    setWindowTitle(QStringLiteral("Velmora"));
    setModal(false);
    setFixedSize(480, 101);
    m_text->setTextFormat(Qt::PlainText);
    m_bar->setTextVisible(false);
    m_bar->setRange(0, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_cancelRequested = true; });
}

void AddProgressDialog::open() {
    m_cancelRequested = false;
    ProgressWindowFrame::attachTo(*this, m_owner);
    show();
}

void AddProgressDialog::setText(const QString& text) {
    // Long names are cut in the middle rather than widening the fixed window.
    m_text->setText(m_text->fontMetrics().elidedText(text, Qt::ElideMiddle, width() - 24));
    m_text->setToolTip(text);
}

QString AddProgressDialog::text() const {
    return m_text->toolTip().isEmpty() ? m_text->text() : m_text->toolTip();
}

void AddProgressDialog::setRange(int maximum) {
    m_bar->setRange(0, qMax(maximum, 1));
    m_bar->setValue(0);
}

void AddProgressDialog::step() {
    m_bar->setValue(qMin(m_bar->value() + 1, m_bar->maximum()));
}

int AddProgressDialog::position() const {
    return m_bar->value();
}

void AddProgressDialog::pumpMessages() {
    QCoreApplication::processEvents();
}

void AddProgressDialog::mousePressEvent(QMouseEvent* event) {
    ProgressWindowFrame::startMove(*this, event);
}

void AddProgressDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    ProgressWindowFrame::paint(painter, rect());
}

void AddProgressDialog::reject() {
    // Escape is Cancel: it raises the flag and leaves the window to the adding loop.
    m_cancelRequested = true;
}
