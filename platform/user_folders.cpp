#include "platform/user_folders.h"

#include "platform/regular_file.h"

#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

// user-dirs.dirs is a handful of lines; anything larger is not that file.
constexpr std::size_t kMaxUserDirsBytes = 64 * 1024;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// XDG base directories must be absolute; a relative value is to be ignored.
bool isAbsolute(std::string_view path) {
    return !path.empty() && path.front() == '/';
}

std::filesystem::path configHome() {
    const std::string xdg = environment("XDG_CONFIG_HOME");
    if (isAbsolute(xdg))
        return xdg;
    const std::string home = UserFolders::homeDirectory();
    if (home.empty())
        return {};
    return std::filesystem::path(home) / ".config";
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The value of one `XDG_DOCUMENTS_DIR="..."` line in the shell-like form that xdg-user-dirs
// writes: a double-quoted text in which a backslash escapes the next character and a leading
// $HOME stands for the home folder. Empty when the line is not of that form.
std::string parseDocumentsLine(std::string_view line, const std::string& home) {
    constexpr std::string_view kName = "XDG_DOCUMENTS_DIR=";
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    if (!line.starts_with(kName))
        return {};
    line.remove_prefix(kName.size());
    if (line.empty() || line.front() != '"')
        return {};
    line.remove_prefix(1);
    std::string value;
    bool closed = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            closed = true;
            break;
        }
        if (c == '\\' && i + 1 < line.size())
            value += line[++i];
        else
            value += c;
    }
    if (!closed)
        return {};
    constexpr std::string_view kHome = "$HOME";
    if (value.starts_with(kHome) && (value.size() == kHome.size() || value[kHome.size()] == '/')) {
        if (home.empty())
            return {};
        value = home + value.substr(kHome.size());
    }
    return isAbsolute(value) ? value : std::string();
}

std::string documentsFromUserDirs(const std::string& home) {
    const std::filesystem::path base = configHome();
    if (base.empty())
        return {};
    std::FILE* in = openRegularFileStream((base / "user-dirs.dirs").string());
    if (!in)
        return {};
    std::vector<char> bytes(kMaxUserDirsBytes);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), in);
    std::fclose(in);
    const std::string_view text(bytes.data(), got);
    // Later assignments win, as when the file is sourced by a shell.
    std::string found;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string value = parseDocumentsLine(text.substr(start, end - start), home);
        if (!value.empty())
            found = std::move(value);
        start = end + 1;
    }
    return found;
}

} // namespace

std::string UserFolders::homeDirectory() {
    std::string home = environment("HOME");
    if (!home.empty())
        return home;
    std::vector<char> buffer(16 * 1024);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir)
        return result->pw_dir;
    return {};
}

std::filesystem::path UserFolders::configDirectory() {
    const std::string own = environment("VELMORA_CONFIG_DIR");
    if (!own.empty())
        return own;
    const std::filesystem::path base = configHome();
    if (base.empty())
        return {};
    return base / "velmora";
}

std::string UserFolders::documentsFolder() {
    const std::string home = homeDirectory();
    std::string folder = environment("XDG_DOCUMENTS_DIR");
    if (!isAbsolute(folder))
        folder = documentsFromUserDirs(home);
    if (folder.empty()) {
        if (home.empty())
            return {};
        folder = (std::filesystem::path(home) / "Documents").string();
    }
    folder = withoutTrailingSlashes(std::move(folder));
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error))
        return {};
    return folder;
}

} // namespace velmora
