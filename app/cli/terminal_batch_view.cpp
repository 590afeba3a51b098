#include "app/cli/terminal_batch_view.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <unistd.h>

namespace velmora::cli {
namespace {

// Set by the signal handler and read by every conversion thread: a lock-free atomic is safe in
// both places, where a volatile sig_atomic_t is safe only for the thread the signal interrupts.
std::atomic<int> gInterrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onInterrupt(int) {
    const int savedErrno = errno; // the interrupted code may be about to read it
    gInterrupted.store(1);
    errno = savedErrno;
}

constexpr std::string_view kConvertingStatus = "Converting...";

} // namespace

TerminalBatchView::TerminalBatchView(std::vector<Row> rows, ResultPrinter& printer,
                                     bool showProgress)
    : m_rows(std::move(rows)), m_printer(printer),
      m_progressOnTerminal(showProgress && isatty(STDERR_FILENO) == 1) {
    gInterrupted.store(0);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

TerminalBatchView::~TerminalBatchView() {
    std::signal(SIGINT, SIG_DFL);
}

void TerminalBatchView::openProgress(int fileCount) {
    m_fileCount = fileCount;
    m_filesStarted = 0;
    m_filesEnded = 0;
    m_running.clear();
    m_batchStart = Clock::now();
}

TerminalBatchView::RunningFile& TerminalBatchView::callersFile() {
    return m_running[std::this_thread::get_id()];
}

void TerminalBatchView::setUpperBarRange(int maximum) {
    RunningFile& file = callersFile();
    file.barMaximum = maximum;
    file.barPosition = 0;
}

void TerminalBatchView::setUpperBarPosition(int position) {
    callersFile().barPosition = position;
    drawProgressLine();
}

std::string TerminalBatchView::progressSummary() const {
    if (m_fileCount <= 0)
        return {};
    double filesDone = m_filesEnded;
    for (const auto& [thread, file] : m_running)
        if (file.barMaximum > 0)
            filesDone += std::clamp(double(file.barPosition) / file.barMaximum, 0.0, 1.0);
    const double done = std::min(filesDone / m_fileCount, 1.0);
    std::string text = "[" + std::to_string(std::max(m_filesStarted, 1)) + "/" +
                       std::to_string(m_fileCount) + "] " +
                       std::to_string(static_cast<int>(done * 100)) + "%";
    const double elapsed = std::chrono::duration<double>(Clock::now() - m_batchStart).count();
    // Before a second has passed or a hundredth is done, a guess would jump about too much.
    if (elapsed >= 1.0 && done >= 0.01) {
        const auto left = static_cast<long>(elapsed / done - elapsed + 0.5);
        char clock[32];
        std::snprintf(clock, sizeof clock, " %ld:%02ld left", left / 60, left % 60);
        text += clock;
    }
    return text;
}

void TerminalBatchView::closeProgress() {
    clearProgressLine();
}

void TerminalBatchView::setUpperText(const std::string& text) {
    m_upperText = text;
    drawProgressLine();
}

void TerminalBatchView::setLowerText(const std::string& text) {
    m_lowerText = text;
    drawProgressLine();
}

bool TerminalBatchView::cancelRequested() const {
    return gInterrupted.load() != 0;
}

void TerminalBatchView::setStatus(int row, const std::string& text) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return;
    if (text == kConvertingStatus) {
        ++m_filesStarted;
        callersFile() = RunningFile{};
        return;
    }
    reportResult(row, text);
}

void TerminalBatchView::reportResult(int row, const std::string& text) {
    const auto running = m_running.find(std::this_thread::get_id());
    const Clock::time_point start =
        running == m_running.end() ? Clock::now() : running->second.start;
    if (running != m_running.end())
        m_running.erase(running);
    ++m_filesEnded;

    const Row& current = m_rows[static_cast<std::size_t>(row)];
    clearProgressLine();
    // The driver clears the output path of a file that failed before it reports the status.
    if (current.entry->outputPath.empty()) {
        m_printer.failed(current.given, text);
        return;
    }
    const std::chrono::duration<double> seconds = Clock::now() - start;
    m_printer.converted(current.given, current.entry->outputPath, text, seconds.count());
}

bool TerminalBatchView::askToDownloadWindowsMediaRuntime() {
    return askYesNo("Dear user, WMA file requires Windows Media Format 9 Series Runtime.\n"
                    "Unfortunately, the component isn't available on your computer.\n\n"
                    "Do you want to download and install it now?");
}

bool TerminalBatchView::askToDownloadSoundFont(const std::string& programFolder) {
    return askYesNo("Dear user, to decode MIDI file, file \"ct4mgm.sf2\" is required.\n"
                    "Unfortunately, the file isn't available on your computer.\n\n"
                    "Do you want to download the file from our website for free now?\n\n"
                    "Once download completes, please copy the file to folder:\n\"" +
                    programFolder + "\"\nAnd then convert your MIDI file again. Thank you.");
}

bool TerminalBatchView::askYesNo(const std::string& question) {
    clearProgressLine();
    std::cerr << question << "\n";
    if (isatty(STDIN_FILENO) != 1) {
        std::cerr << "[y/N] N (standard input is not a terminal)\n";
        return false;
    }
    std::cerr << "[y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

void TerminalBatchView::drawProgressLine() {
    if (!m_progressOnTerminal)
        return;
    std::cerr << "\r\033[K" << progressSummary() << "  " << m_upperText << std::flush;
}

void TerminalBatchView::clearProgressLine() {
    if (m_progressOnTerminal)
        std::cerr << "\r\033[K" << std::flush;
}

} // namespace velmora::cli
