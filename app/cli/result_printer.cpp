#include "app/cli/result_printer.h"

#include "app/cli/json_line.h"

#include <filesystem>
#include <iostream>

namespace velmora::cli {

ResultPrinter::ResultPrinter(Style style) : m_style(style) {}

void ResultPrinter::converted(const std::string& given, const std::string& output,
                              const std::string& status, double seconds) {
    ++m_conversions;
    if (m_style == Style::Json)
        printJson(given, output, status, true, seconds);
    else if (m_style == Style::Lines)
        std::cout << given << " -> " << output << std::endl;
}

void ResultPrinter::failed(const std::string& given, const std::string& status,
                           const std::string& reason) {
    ++m_failures;
    const std::string text = reason.empty() ? status : status + ": " + reason;
    if (m_style == Style::Json)
        printJson(given, "", text, false, 0.0);
    else
        std::cout << given << ": " << text << std::endl;
}

void ResultPrinter::finish(bool cancelled) const {
    if (m_style != Style::Json)
        return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - m_start;
    std::cout << JsonLine()
                     .add("files", m_conversions + m_failures)
                     .add("converted", m_conversions)
                     .add("failed", m_failures)
                     .addFlag("cancelled", cancelled)
                     .addDecimal("seconds", elapsed.count())
                     .text()
              << std::endl;
}

void ResultPrinter::printJson(const std::string& given, const std::string& output,
                              const std::string& status, bool ok, double seconds) const {
    std::error_code error;
    const auto bytes = output.empty() ? 0 : std::filesystem::file_size(output, error);
    std::cout << JsonLine()
                     .add("input", given)
                     .add("output", output)
                     .add("status", status)
                     .addFlag("ok", ok)
                     .addDecimal("seconds", seconds)
                     .add("bytes", static_cast<std::uint64_t>(error ? 0 : bytes))
                     .text()
              << std::endl;
}

} // namespace velmora::cli
