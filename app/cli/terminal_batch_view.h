#pragma once

#include "app/cli/result_printer.h"
#include "engine/batch_view.h"
#include "sources/source_file.h"

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace velmora::cli {

// The batch view of the command line: each file's result handed to the printer as soon as it is
// known, a progress line (count, percent, time left) on standard error when that is a terminal,
// Ctrl+C as Cancel, and the requirement questions asked on the terminal ("No" when standard
// input is not one).
//
// Several files may be converted at once, each from start to end on its own thread, with the
// calls handed over one at a time (SerializedBatchView): the view tells the files apart by the
// calling thread and draws one progress line for the whole batch.
class TerminalBatchView : public BatchView {
public:
    struct Row {
        std::string given;       // the source as the user named it
        const SourceFile* entry; // owned by the file list, outlives the view
    };

    TerminalBatchView(std::vector<Row> rows, ResultPrinter& printer, bool showProgress);
    ~TerminalBatchView() override;

    void openProgress(int fileCount) override;
    // Files started, percent of the batch done and the time it still needs,
    // "[2/5] 30% 0:12 left"; each file being converted counts by its own bar.
    std::string progressSummary() const;
    void closeProgress() override;
    void setUpperText(const std::string& text) override;
    int upperBarWidth() const override { return kBarWidth; }
    void setUpperBarRange(int maximum) override;
    void setUpperBarPosition(int position) override;
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

    using Clock = std::chrono::steady_clock;

    // A file being converted, known by the thread converting it.
    struct RunningFile {
        int barMaximum = 0;
        int barPosition = 0;
        Clock::time_point start = Clock::now();
    };

    RunningFile& callersFile();
    void reportResult(int row, const std::string& text);

    std::vector<Row> m_rows;
    ResultPrinter& m_printer;
    int m_fileCount = 0;
    int m_filesStarted = 0;
    int m_filesEnded = 0;
    std::map<std::thread::id, RunningFile> m_running;
    Clock::time_point m_batchStart = Clock::now();
    std::string m_upperText;
    std::string m_lowerText;
    int m_statusColumnWidth = 145;
    bool m_progressOnTerminal = false;
};

} // namespace velmora::cli
