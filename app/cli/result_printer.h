#pragma once

#include <chrono>
#include <string>

namespace velmora::cli {

// How `convert` reports each file: a line per file (source as given, full output path), only
// the failures, or one JSON object per file followed by a summary object.
class ResultPrinter {
public:
    enum class Style { Lines, FailuresOnly, Json };

    explicit ResultPrinter(Style style);

    void converted(const std::string& given, const std::string& output, const std::string& status,
                   double seconds);
    // status: the file list's text for the file; reason, when not empty, says why in more words.
    void failed(const std::string& given, const std::string& status,
                const std::string& reason = {});
    // The summary object of --json; nothing in the other styles.
    void finish(bool cancelled) const;

    int failures() const { return m_failures; }
    int conversions() const { return m_conversions; }

private:
    void printJson(const std::string& given, const std::string& output, const std::string& status,
                   bool ok, double seconds) const;

    Style m_style;
    int m_conversions = 0;
    int m_failures = 0;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

} // namespace velmora::cli
