#pragma once

#include "engine/batch_view.h"

#include <QPointer>

class BatchProgressDialog;
class FileListModel;
class FileListView;
class ShellActions;
class QWidget;

// The batch-view port of the desktop program: the two-bar progress window, the list's Status
// cells and column, message boxes for the two requirement questions, and the file manager.
class DesktopBatchView : public velmora::BatchView {
public:
    // statusColumnWidth: the main window's memo of the width it last gave the Status column.
    DesktopBatchView(QWidget& mainWindow, FileListView& list, FileListModel& model,
                     int& statusColumnWidth, ShellActions& shell);
    ~DesktopBatchView() override;

    void openProgress(int fileCount) override;
    void closeProgress() override;
    void setUpperText(const std::string& text) override;
    int upperBarWidth() const override;
    void setUpperBarRange(int maximum) override;
    void setUpperBarPosition(int position) override;
    void setLowerText(const std::string& text) override;
    void stepLowerBar() override;
    void pumpMessages() override;
    bool cancelRequested() const override;
    void scrollRowIntoView(int row) override;
    void setStatus(int row, const std::string& text) override;
    int statusColumnWidth() const override { return m_statusColumnWidth; }
    void setStatusColumnWidth(int pixels) override;
    bool askToDownloadWindowsMediaRuntime() override;
    bool askToDownloadSoundFont(const std::string& programFolder) override;
    void showInFileManager(const std::string& path) override;

    // The window of the running batch; none before openProgress and after closeProgress.
    BatchProgressDialog* progressDialog() const;

    static constexpr const char* kRuntimeDownloadUrl =
        "http://www.velmora.example/download/wmfdist.exe";
    static constexpr const char* kSoundFontDownloadUrl =
        "http://www.velmora.example/download/ct4mgm.sf2";

private:
    bool askYesNo(const QString& question);

    QWidget& m_mainWindow;
    FileListView& m_list;
    FileListModel& m_model;
    int& m_statusColumnWidth;
    ShellActions& m_shell;
    QPointer<BatchProgressDialog> m_dialog;
};
