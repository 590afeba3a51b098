#include "app/cli/commands.h"
#include "app/cli/convert_options.h"
#include "app/cli/input_collector.h"
#include "app/cli/long_ringtone_question.h"
#include "app/cli/result_printer.h"
#include "app/cli/segment_planner.h"
#include "app/cli/terminal_batch_view.h"
#include "engine/conversion_driver.h"
#include "engine/conversion_settings.h"
#include "engine/file_list.h"

#include <iostream>

namespace velmora::cli {
namespace {

ResultPrinter::Style printStyle(const ConvertOptions& options) {
    if (options.json())
        return ResultPrinter::Style::Json;
    return options.quiet() ? ResultPrinter::Style::FailuresOnly : ResultPrinter::Style::Lines;
}

} // namespace

int runConvert(const std::vector<std::string>& args) {
    ConvertOptions options;
    if (const auto problem = options.parse(args))
        return usageError(*problem);
    ConversionSettings settings;
    settings.load();
    std::vector<std::string> notices;
    if (const auto problem = options.applyTo(settings, notices))
        return usageError(*problem);
    for (const std::string& notice : notices)
        std::cerr << notice << '\n';

    ResultPrinter printer(printStyle(options));
    FileList list;
    InputCollector collector(list, settings.extensionFilter, "not a supported audio or video file");
    for (const std::string& input : options.inputs()) {
        for (const InputCollector::Refusal& refusal : collector.add(input))
            printer.failed(refusal.given, refusal.reason);
    }

    std::vector<SourceFile*> entries;
    std::vector<int> rows;
    std::vector<TerminalBatchView::Row> viewRows;
    for (std::size_t row = 0; row < list.size(); ++row) {
        entries.push_back(&list.entry(row));
        rows.push_back(static_cast<int>(row));
        viewRows.push_back({collector.givenName(row), &list.entry(row)});
    }
    notices.clear();
    SegmentPlanner(options).plan(entries, notices);
    for (const std::string& notice : notices)
        std::cerr << notice << '\n';
    if (LongRingtoneQuestion::ask(settings.OutputFormat, entries) ==
        LongRingtoneQuestion::Answer::Cancel) {
        std::cerr << "velmora-cli: cancelled; nothing was converted\n";
        return kExitFailed;
    }

    bool cancelled = false;
    if (!entries.empty()) {
        TerminalBatchView view(std::move(viewRows), printer, !options.quiet());
        ConversionDriver driver(settings, view);
        driver.convertBatch(entries, rows);
        cancelled = driver.cancelled();
    }
    printer.finish(cancelled);
    if (cancelled)
        return kExitInterrupted;
    const bool allConverted =
        printer.failures() == 0 && printer.conversions() == static_cast<int>(entries.size());
    return allConverted ? kExitOk : kExitFailed;
}

} // namespace velmora::cli
