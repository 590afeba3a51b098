#pragma once

#include "engine/batch_view.h"

#include <functional>
#include <string>
#include <vector>

namespace velmora::test {

// A batch view that writes down every call, in order, as one text line:
//   "open N", "close", "upper TEXT", "range N", "bar N", "lower TEXT", "step", "pump",
//   "scroll ROW", "status ROW TEXT", "widen PIXELS", "ask-runtime", "ask-soundfont FOLDER",
//   "show PATH".
// Cancel is requested by a test at will, or by the view itself once a chosen line was recorded
// or a number of calls was reached, as a user pressing Cancel at that moment would.
class RecordingBatchView : public BatchView {
public:
    explicit RecordingBatchView(int upperBarWidth = 300) : m_upperBarWidth(upperBarWidth) {}

    // The predicate sees each line as it is recorded and the number of calls so far.
    void cancelWhen(std::function<bool(const std::string& line, std::size_t calls)> predicate) {
        m_cancelWhen = std::move(predicate);
    }
    void cancelOnLine(const std::string& line) {
        cancelWhen([line](const std::string& recorded, std::size_t) { return recorded == line; });
    }
    void cancelAfterCalls(std::size_t calls) {
        cancelWhen([calls](const std::string&, std::size_t count) { return count >= calls; });
    }
    void requestCancel() { m_cancel = true; }

    void setInitialStatusColumnWidth(int pixels) { m_statusColumnWidth = pixels; }
    void setAnswers(bool runtime, bool soundFont) {
        m_runtimeAnswer = runtime;
        m_soundFontAnswer = soundFont;
    }

    const std::vector<std::string>& lines() const { return m_lines; }
    // The lines without the given kinds ("pump", "bar", ...), for tests about the rest.
    std::vector<std::string> linesWithout(const std::vector<std::string>& kinds) const {
        std::vector<std::string> kept;
        for (const std::string& line : m_lines) {
            const std::string kind = line.substr(0, line.find(' '));
            bool drop = false;
            for (const std::string& k : kinds)
                drop = drop || kind == k;
            if (!drop)
                kept.push_back(line);
        }
        return kept;
    }
    // Only the lines of the given kind, with the kind word removed.
    std::vector<std::string> linesOf(const std::string& kind) const {
        std::vector<std::string> kept;
        for (const std::string& line : m_lines) {
            if (line == kind)
                kept.emplace_back();
            else if (line.starts_with(kind + " "))
                kept.push_back(line.substr(kind.size() + 1));
        }
        return kept;
    }

    void openProgress(int fileCount) override { record("open " + std::to_string(fileCount)); }
    void closeProgress() override { record("close"); }
    void setUpperText(const std::string& text) override { record("upper " + text); }
    int upperBarWidth() const override { return m_upperBarWidth; }
    void setUpperBarRange(int maximum) override { record("range " + std::to_string(maximum)); }
    void setUpperBarPosition(int position) override { record("bar " + std::to_string(position)); }
    void setLowerText(const std::string& text) override { record("lower " + text); }
    void stepLowerBar() override { record("step"); }
    void pumpMessages() override { record("pump"); }
    bool cancelRequested() const override { return m_cancel; }
    void scrollRowIntoView(int row) override { record("scroll " + std::to_string(row)); }
    void setStatus(int row, const std::string& text) override {
        record("status " + std::to_string(row) + " " + text);
    }
    int statusColumnWidth() const override { return m_statusColumnWidth; }
    void setStatusColumnWidth(int pixels) override {
        m_statusColumnWidth = pixels;
        record("widen " + std::to_string(pixels));
    }
    bool askToDownloadWindowsMediaRuntime() override {
        record("ask-runtime");
        return m_runtimeAnswer;
    }
    bool askToDownloadSoundFont(const std::string& programFolder) override {
        record("ask-soundfont " + programFolder);
        return m_soundFontAnswer;
    }
    void showInFileManager(const std::string& path) override { record("show " + path); }

private:
    void record(std::string line) {
        m_lines.push_back(std::move(line));
        if (m_cancelWhen && m_cancelWhen(m_lines.back(), m_lines.size()))
            m_cancel = true;
    }

    int m_upperBarWidth;
    int m_statusColumnWidth = 145;
    bool m_cancel = false;
    bool m_runtimeAnswer = false;
    bool m_soundFontAnswer = false;
    std::function<bool(const std::string&, std::size_t)> m_cancelWhen;
    std::vector<std::string> m_lines;
};

} // namespace velmora::test
