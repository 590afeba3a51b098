#pragma once

#include <string>

namespace velmora {

// What the conversion engine needs of the user interface while a batch runs: the two-bar
// progress window, the status column of the file list, the two requirement questions and the
// file manager. The desktop program, the command line and the tests each implement it.
class BatchView {
public:
    virtual ~BatchView() = default;

    // The progress window: shown with the lower bar at 0 of fileCount; the main window is
    // disabled while it is up.
    virtual void openProgress(int fileCount) = 0;
    virtual void closeProgress() = 0;

    // Upper text and bar: the current file. The bar's range is 0..upperBarWidth().
    virtual void setUpperText(const std::string& text) = 0;
    virtual int upperBarWidth() const = 0;
    virtual void setUpperBarRange(int maximum) = 0;
    virtual void setUpperBarPosition(int position) = 0;
    // Lower text and bar: the batch.
    virtual void setLowerText(const std::string& text) = 0;
    virtual void stepLowerBar() = 0;

    // Lets the interface handle pending input; Cancel sets the request it reports.
    virtual void pumpMessages() = 0;
    virtual bool cancelRequested() const = 0;

    // The file list's Status column.
    virtual void scrollRowIntoView(int row) = 0;
    virtual void setStatus(int row, const std::string& text) = 0;
    virtual int statusColumnWidth() const = 0;
    virtual void setStatusColumnWidth(int pixels) = 0;

    // The requirement questions; true when the user answered Yes (the view then opens the
    // download page itself).
    virtual bool askToDownloadWindowsMediaRuntime() = 0;
    virtual bool askToDownloadSoundFont(const std::string& programFolder) = 0;

    // Shows a converted file in the file manager.
    virtual void showInFileManager(const std::string& path) = 0;
};

} // namespace velmora
