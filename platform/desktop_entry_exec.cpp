#include "platform/desktop_entry_exec.h"

#include <string_view>

namespace velmora {
namespace {

constexpr std::string_view kTargetCodes = "uUfF";
// %i, %c and %k would need the entry's icon, name and location, none of which helps open a URL;
// the deprecated codes expand to nothing.
constexpr std::string_view kDroppedCodes = "ickdDnNvm";

bool escapableInQuotes(char c) {
    return c == '"' || c == '`' || c == '$' || c == '\\';
}

// One argument with its field codes replaced. `targetFound` tells the caller to stop here.
std::string expandArgument(const std::string& argument, const std::string& url, bool& targetFound) {
    std::string out;
    for (std::size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] != '%' || i + 1 == argument.size()) {
            out += argument[i];
            continue;
        }
        const char code = argument[++i];
        if (code == '%') {
            out += '%';
        } else if (kTargetCodes.find(code) != std::string_view::npos) {
            targetFound = true;
            return out + url;
        } else if (kDroppedCodes.find(code) == std::string_view::npos) {
            // Not a field code of the format: kept as written.
            out += '%';
            out += code;
        }
    }
    return out;
}

} // namespace

std::optional<std::vector<std::string>> DesktopEntryExec::splitArguments(const std::string& exec) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size() && escapableInQuotes(exec[i + 1])) {
                current += exec[++i];
            } else {
                current += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inArgument)
                arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            quoted = true;
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments.push_back(std::move(current));
    if (arguments.empty())
        return std::nullopt;
    return arguments;
}

std::optional<std::vector<std::string>> DesktopEntryExec::commandFor(const std::string& exec,
                                                                     const std::string& url) {
    const auto arguments = splitArguments(exec);
    if (!arguments)
        return std::nullopt;
    std::vector<std::string> command;
    bool targetFound = false;
    for (const std::string& argument : *arguments) {
        std::string expanded = expandArgument(argument, url, targetFound);
        // An argument that held nothing but dropped codes disappears instead of becoming "".
        if (!expanded.empty() || targetFound)
            command.push_back(std::move(expanded));
        if (targetFound)
            break;
    }
    if (!targetFound)
        command.push_back(url);
    if (command.size() < 2 || command.front().empty())
        return std::nullopt;
    return command;
}

} // namespace velmora
