#pragma once

#include "sources/source_file.h"

#include <span>

namespace velmora::cli {

// The long M4R question on the command line: asked on the terminal, and answered "convert
// whole" with a note on standard error when standard input is not a terminal.
class LongRingtoneQuestion {
public:
    enum class Answer { Trim, Whole, Cancel };

    // Asks about the entries LongRingtoneCheck names for the batch, and trims them on Trim.
    // Cancel when the batch must not start.
    static Answer ask(int outputFormat, std::span<SourceFile* const> entries);

private:
    static Answer answerOf(const std::string& reply);
};

} // namespace velmora::cli
