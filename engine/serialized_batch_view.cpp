#include "engine/serialized_batch_view.h"

namespace velmora {

void SerializedBatchView::openProgress(int fileCount) {
    const std::lock_guard lock(m_mutex);
    m_target.openProgress(fileCount);
}

void SerializedBatchView::closeProgress() {
    const std::lock_guard lock(m_mutex);
    m_target.closeProgress();
}

void SerializedBatchView::setUpperText(const std::string& text) {
    const std::lock_guard lock(m_mutex);
    m_target.setUpperText(text);
}

int SerializedBatchView::upperBarWidth() const {
    const std::lock_guard lock(m_mutex);
    return m_target.upperBarWidth();
}

void SerializedBatchView::setUpperBarRange(int maximum) {
    const std::lock_guard lock(m_mutex);
    m_target.setUpperBarRange(maximum);
}

void SerializedBatchView::setUpperBarPosition(int position) {
    const std::lock_guard lock(m_mutex);
    m_target.setUpperBarPosition(position);
}

void SerializedBatchView::setLowerText(const std::string& text) {
    const std::lock_guard lock(m_mutex);
    m_target.setLowerText(text);
}

void SerializedBatchView::stepLowerBar() {
    const std::lock_guard lock(m_mutex);
    m_target.stepLowerBar();
}

void SerializedBatchView::pumpMessages() {
    const std::lock_guard lock(m_mutex);
    m_target.pumpMessages();
}

bool SerializedBatchView::cancelRequested() const {
    const std::lock_guard lock(m_mutex);
    return m_target.cancelRequested();
}

void SerializedBatchView::scrollRowIntoView(int row) {
    const std::lock_guard lock(m_mutex);
    m_target.scrollRowIntoView(row);
}

void SerializedBatchView::setStatus(int row, const std::string& text) {
    const std::lock_guard lock(m_mutex);
    m_target.setStatus(row, text);
}

int SerializedBatchView::statusColumnWidth() const {
    const std::lock_guard lock(m_mutex);
    return m_target.statusColumnWidth();
}

void SerializedBatchView::setStatusColumnWidth(int pixels) {
    const std::lock_guard lock(m_mutex);
    m_target.setStatusColumnWidth(pixels);
}

bool SerializedBatchView::askToDownloadWindowsMediaRuntime() {
    const std::lock_guard lock(m_mutex);
    return m_target.askToDownloadWindowsMediaRuntime();
}

bool SerializedBatchView::askToDownloadSoundFont(const std::string& programFolder) {
    const std::lock_guard lock(m_mutex);
    return m_target.askToDownloadSoundFont(programFolder);
}

void SerializedBatchView::showInFileManager(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    m_target.showInFileManager(path);
}

} // namespace velmora
