#include "platform/desktop_entry_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMostBytesRead = 256 * 1024;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string unescapeString(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (const char c = value[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            // "\\" and the escapes the Exec quoting rules read later ("\"" and the like) are
            // passed on unchanged for them, except that "\\" is one backslash here.
            if (c != '\\')
                out += '\\';
            out += c;
            break;
        }
    }
    return out;
}

} // namespace

std::vector<std::string> DesktopEntryFile::applicationFolders() {
    std::vector<std::string> folders;
    std::string dataHome = environment("XDG_DATA_HOME");
    if (dataHome.empty() && !environment("HOME").empty())
        dataHome = environment("HOME") + "/.local/share";
    if (!dataHome.empty())
        folders.push_back(dataHome + "/applications");
    std::string dataDirs = environment("XDG_DATA_DIRS");
    if (dataDirs.empty())
        dataDirs = "/usr/local/share:/usr/share";
    std::istringstream list(dataDirs);
    for (std::string folder; std::getline(list, folder, ':');) {
        if (!folder.empty())
            folders.push_back(folder + "/applications");
    }
    return folders;
}

std::string DesktopEntryFile::find(const std::string& id, const std::vector<std::string>& folders) {
    const std::string suffix = ".desktop";
    if (id.size() <= suffix.size() ||
        id.compare(id.size() - suffix.size(), suffix.size(), suffix) != 0 ||
        id.find('/') != std::string::npos || id.front() == '.')
        return {};
    // "kde-org.app.desktop" may live as kde-org.app.desktop, kde/org.app.desktop, ...
    std::vector<std::string> names{id};
    std::string nested = id;
    for (std::size_t dash = nested.find('-'); dash != std::string::npos;
         dash = nested.find('-', dash + 1)) {
        nested[dash] = '/';
        names.push_back(nested);
    }
    for (const std::string& folder : folders) {
        for (const std::string& name : names) {
            const fs::path candidate = fs::path(folder) / name;
            if (isFile(candidate))
                return candidate.string();
        }
    }
    return {};
}

std::optional<std::string> DesktopEntryFile::readExec(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(kMostBytesRead, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));

    std::istringstream lines(text);
    bool inMainGroup = false;
    for (std::string line; std::getline(lines, line);) {
        line = trimmed(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos ||
            trimmed(line.substr(0, equals)) != "Exec")
            continue;
        const std::string value = trimmed(line.substr(equals + 1));
        if (value.empty())
            return std::nullopt;
        return unescapeString(value);
    }
    return std::nullopt;
}

} // namespace velmora
