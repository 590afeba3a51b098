#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The command line of a desktop entry's Exec key, turned into an argument vector that opens one
// URL. The result is started directly, never through a shell, so a URL holding quotes, spaces,
// ";" or "$(...)" stays one inert argument.
class DesktopEntryExec {
public:
    // Splits an Exec value (already unescaped as a desktop-entry string) into arguments by the
    // entry format's quoting rules: double quotes group, and inside them a backslash escapes
    // '"', '`', '$' and '\'. Empty when a quote is left open or there is no argument.
    static std::optional<std::vector<std::string>> splitArguments(const std::string& exec);

    // The program and its arguments for opening `url`: everything from the first %u, %U, %f or
    // %F on is cut and the URL put in its place (joined to what precedes the code in the same
    // argument, "--url=%u" becoming "--url=URL"); without such a code the URL is appended. "%%"
    // becomes "%", other field codes are dropped. Empty when the line yields no program.
    static std::optional<std::vector<std::string>> commandFor(const std::string& exec,
                                                              const std::string& url);
};

} // namespace velmora
