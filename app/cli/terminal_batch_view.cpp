#include "app/cli/terminal_batch_view.h"

#include <csignal>
#include <iostream>
#include <string_view>
#include <unistd.h>

namespace velmora::cli {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void onInterrupt(int) {
    gInterrupted = 1;
}

constexpr std::string_view kConvertingStatus = "Converting...";

} // namespace

TerminalBatchView::TerminalBatchView(std::vector<std::string> rowPaths)
    : m_rowPaths(std::move(rowPaths)), m_progressOnTerminal(isatty(STDERR_FILENO) == 1) {
    gInterrupted = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

TerminalBatchView::~TerminalBatchView() {
    std::signal(SIGINT, SIG_DFL);
}

void TerminalBatchView::openProgress(int) {}

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
    return gInterrupted != 0;
}

void TerminalBatchView::setStatus(int row, const std::string& text) {
    if (text == kConvertingStatus || row < 0 || static_cast<std::size_t>(row) >= m_rowPaths.size())
        return;
    const auto index = static_cast<std::size_t>(row);
    clearProgressLine();
    std::cout << m_rowPaths[index] << ": " << text << std::endl;
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
    std::cerr << "\r\033[K" << m_lowerText << "  " << m_upperText << std::flush;
}

void TerminalBatchView::clearProgressLine() {
    if (m_progressOnTerminal)
        std::cerr << "\r\033[K" << std::flush;
}

} // namespace velmora::cli
