#include "ui/main/desktop_batch_view.h"

#include "ui/dialogs/batch_progress_dialog.h"
#include "ui/main/file_list_model.h"
#include "ui/main/file_list_view.h"
#include "ui/main/shell_actions.h"

#include <QCoreApplication>
#include <QMessageBox>

DesktopBatchView::DesktopBatchView(QWidget& mainWindow, FileListView& list, FileListModel& model,
                                   int& statusColumnWidth, ShellActions& shell)
    : m_mainWindow(mainWindow), m_list(list), m_model(model),
      m_statusColumnWidth(statusColumnWidth), m_shell(shell) {}

DesktopBatchView::~DesktopBatchView() {
    closeProgress();
}

BatchProgressDialog* DesktopBatchView::progressDialog() const {
    return m_dialog;
}

void DesktopBatchView::openProgress(int fileCount) {
    m_mainWindow.setEnabled(false);
    m_dialog = new BatchProgressDialog(&m_mainWindow);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog->setLowerRange(fileCount);
    m_dialog->open();
}

void DesktopBatchView::closeProgress() {
    if (m_dialog)
        m_dialog->finish();
    m_dialog = nullptr;
    m_mainWindow.setEnabled(true);
}

void DesktopBatchView::setUpperText(const std::string& text) {
    if (m_dialog)
        m_dialog->setUpperText(QString::fromStdString(text));
}

int DesktopBatchView::upperBarWidth() const {
    return m_dialog ? m_dialog->upperBarWidth() : 1;
}

void DesktopBatchView::setUpperBarRange(int maximum) {
    if (m_dialog)
        m_dialog->setUpperRange(maximum);
}

void DesktopBatchView::setUpperBarPosition(int position) {
    if (m_dialog)
        m_dialog->setUpperPosition(position);
}

void DesktopBatchView::setLowerText(const std::string& text) {
    if (m_dialog)
        m_dialog->setLowerText(QString::fromStdString(text));
}

void DesktopBatchView::stepLowerBar() {
    if (m_dialog)
        m_dialog->stepLower();
}

void DesktopBatchView::pumpMessages() {
    QCoreApplication::processEvents();
}

bool DesktopBatchView::cancelRequested() const {
    return m_dialog && m_dialog->cancelRequested();
}

void DesktopBatchView::scrollRowIntoView(int row) {
    m_list.scrollTo(m_model.index(row, 0));
}

void DesktopBatchView::setStatus(int row, const std::string& text) {
    m_model.setStatus(row, QString::fromStdString(text));
}

void DesktopBatchView::setStatusColumnWidth(int pixels) {
    m_statusColumnWidth = pixels;
    m_list.setColumnWidth(FileListModel::kStatusColumn, pixels);
}

bool DesktopBatchView::askYesNo(const QString& question) {
    return QMessageBox::question(&m_mainWindow, QStringLiteral("Velmora"), question,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool DesktopBatchView::askToDownloadWindowsMediaRuntime() {
    const bool yes = askYesNo(QCoreApplication::translate(
        "DesktopBatchView", "Dear user, WMA file requires Windows Media Format 9 Series Runtime.\n"
                            "Unfortunately, the component isn't available on your computer.\n\n"
                            "Do you want to download and install it now?"));
    if (yes)
        m_shell.openUrl(QLatin1String(kRuntimeDownloadUrl));
    return yes;
}

bool DesktopBatchView::askToDownloadSoundFont(const std::string& programFolder) {
    const QString folder = QString::fromStdString(programFolder);
    const bool yes =
        askYesNo(QCoreApplication::translate(
                     "DesktopBatchView",
                     "Dear user, to decode MIDI file, file \"ct4mgm.sf2\" is required.\n"
                     "Unfortunately, the file isn't available on your computer.\n\n"
                     "Do you want to download the file from our website for free now?\n\n"
                     "Once download completes, please copy the file to folder:\n\"%1\"\n"
                     "And then convert your MIDI file again. Thank you.")
                     .arg(folder));
    if (yes) {
        m_shell.openWithDefaultApplication(folder);
        m_shell.openUrl(QLatin1String(kSoundFontDownloadUrl));
    }
    return yes;
}

void DesktopBatchView::showInFileManager(const std::string& path) {
    m_shell.showInFileManager(QString::fromStdString(path));
}
