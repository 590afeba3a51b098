#pragma once

#include "engine/batch_view.h"

#include <string>
#include <vector>

namespace velmora::cli {

// The batch view of the command line: one line per file with its final status on standard
// output, a progress line on standard error when that is a terminal, Ctrl+C as Cancel, and the
// requirement questions asked on the terminal ("No" when standard input is not one).
class TerminalBatchView : public BatchView {
public:
    // rowPaths: the source path of each list row, printed beside its status.
    explicit TerminalBatchView(std::vector<std::string> rowPaths);
    ~TerminalBatchView() override;

    void openProgress(int fileCount) override;
    void closeProgress() override;
    void setUpperText(const std::string& text) override;
    int upperBarWidth() const override { return kBarWidth; }
    void setUpperBarRange(int) override {}
    void setUpperBarPosition(int) override {}
    void setLowerText(const std::string& text) override;
    void stepLowerBar() override {}
    void pumpMessages() override {}
    bool cancelRequested() const override;
    void scrollRowIntoView(int) override {}
    void setStatus(int row, const std::string& text) override;
    int statusColumnWidth() const override { return m_statusColumnWidth; }
    void setStatusColumnWidth(int pixels) override { m_statusColumnWidth = pixels; }
    bool askToDownloadWindowsMediaRuntime() override;
    bool askToDownloadSoundFont(const std::string& programFolder) override;
    void showInFileManager(const std::string&) override {}

private:
    static constexpr int kBarWidth = 100;

    bool askYesNo(const std::string& question);
    void drawProgressLine();
    void clearProgressLine();

    std::vector<std::string> m_rowPaths;
    std::string m_upperText;
    std::string m_lowerText;
    int m_statusColumnWidth = 145;
    bool m_progressOnTerminal = false;
};

} // namespace velmora::cli
