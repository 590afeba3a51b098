#pragma once

#include "engine/batch_view.h"

#include <mutex>

namespace velmora {

// Hands the calls of several conversion threads to a view that expects one caller, one call at
// a time: every call is forwarded under one lock. Each thread still converts its own file from
// start to end, so a view can tell the files apart by the calling thread.
class SerializedBatchView : public BatchView {
public:
    explicit SerializedBatchView(BatchView& target) : m_target(target) {}

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
    int statusColumnWidth() const override;
    void setStatusColumnWidth(int pixels) override;
    bool askToDownloadWindowsMediaRuntime() override;
    bool askToDownloadSoundFont(const std::string& programFolder) override;
    void showInFileManager(const std::string& path) override;

private:
    BatchView& m_target;
    mutable std::mutex m_mutex;
};

} // namespace velmora
