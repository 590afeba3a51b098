#include "app/cli/long_ringtone_question.h"

#include "engine/file_list.h"
#include "engine/long_ringtone_check.h"

#include <iostream>
#include <string>
#include <unistd.h>

namespace velmora::cli {

LongRingtoneQuestion::Answer LongRingtoneQuestion::ask(int outputFormat,
                                                       std::span<SourceFile* const> entries) {
    const std::vector<SourceFile*> longOnes =
        LongRingtoneCheck::entriesToAsk(outputFormat, entries);
    if (longOnes.empty())
        return Answer::Whole;
    std::cerr << "An iPhone offers only ringtones shorter than 40 seconds; longer than that:\n";
    for (const SourceFile* entry : longOnes)
        std::cerr << "  " << fileNamePart(entry->path) << "\n";
    if (isatty(STDIN_FILENO) != 1) {
        std::cerr << "Converted whole (standard input is not a terminal); --ringtone iphone or "
                     "--length trims them.\n";
        return Answer::Whole;
    }
    std::cerr << "[t]rim to the loudest 30 seconds, convert [w]hole, or [c]ancel? [t/w/c] "
              << std::flush;
    std::string reply;
    std::getline(std::cin, reply);
    const Answer answer = answerOf(reply);
    if (answer == Answer::Trim)
        LongRingtoneCheck::trimToSuggestedPart(longOnes, {});
    return answer;
}

// An empty reply takes the first choice, as a dialog's default button does; end of input
// cancels.
LongRingtoneQuestion::Answer LongRingtoneQuestion::answerOf(const std::string& reply) {
    if (!std::cin)
        return Answer::Cancel;
    if (reply.empty() || reply[0] == 't' || reply[0] == 'T')
        return Answer::Trim;
    if (reply[0] == 'w' || reply[0] == 'W')
        return Answer::Whole;
    return Answer::Cancel;
}

} // namespace velmora::cli
