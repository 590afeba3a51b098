#include "app/cli/commands.h"
#include "app/cli/input_collector.h"
#include "app/cli/json_line.h"
#include "engine/file_list.h"
#include "engine/segment_suggestion.h"
#include "engine/segment_time.h"

#include <iostream>

namespace velmora::cli {
namespace {

constexpr std::int64_t kDefaultLengthMs = 30000;
constexpr double kMsPerSecond = 1000.0;

struct SuggestRequest {
    std::int64_t lengthMs = kDefaultLengthMs;
    bool json = false;
    std::string path;
};

std::optional<std::string> parseRequest(const std::vector<std::string>& args,
                                        SuggestRequest& request) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json") {
            request.json = true;
        } else if (arg == "--length" || arg.starts_with("--length=")) {
            std::string value;
            if (arg != "--length")
                value = arg.substr(9);
            else if (i + 1 < args.size())
                value = args[++i];
            const auto ms = SegmentTime::parse(value);
            if (!ms || *ms == 0)
                return "suggest-segment: --length wants a time above 0 (seconds or m:ss), not \"" +
                       value + "\"";
            request.lengthMs = *ms;
        } else if (arg.starts_with("-")) {
            return "suggest-segment: unknown option " + arg;
        } else if (!request.path.empty()) {
            return std::string("suggest-segment: one file at a time");
        } else {
            request.path = arg;
        }
    }
    if (request.path.empty())
        return std::string("suggest-segment: usage: velmora-cli suggest-segment [--length TIME] "
                           "[--json] FILE");
    return std::nullopt;
}

} // namespace

int runSuggestSegment(const std::vector<std::string>& args) {
    SuggestRequest request;
    if (const auto problem = parseRequest(args, request))
        return usageError(*problem);
    FileList list;
    // A file named on purpose is scanned whatever the extension filter says.
    InputCollector collector(list, {}, "not a supported audio or video file");
    for (const InputCollector::Refusal& refusal : collector.add(request.path)) {
        std::cerr << refusal.given << ": " << refusal.reason << '\n';
        return kExitFailed;
    }
    if (list.size() != 1)
        return usageError("suggest-segment: " + request.path + " is not one file");

    std::string failureNote;
    const std::optional<Segment> segment =
        SegmentSuggestion::forEntry(list.entry(0), request.lengthMs, 0, 0, {}, failureNote);
    if (!segment) {
        std::cerr << request.path << ": " << failureNote << '\n';
        return kExitFailed;
    }
    if (request.json) {
        std::cout << JsonLine()
                         .addDecimal("start", static_cast<double>(segment->startMs) / kMsPerSecond)
                         .addDecimal("length",
                                     static_cast<double>(segment->lengthMs) / kMsPerSecond)
                         .text()
                  << '\n';
    } else {
        std::cout << "start " << SegmentTime::format(segment->startMs) << " length "
                  << SegmentTime::format(segment->lengthMs) << '\n';
    }
    return kExitOk;
}

} // namespace velmora::cli
