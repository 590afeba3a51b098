#include "platform/registry_store.h"

#include "platform/text_encoding.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace velmora {
namespace {

constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kDwordPrefix = "dword:";
constexpr std::size_t kDwordDigits = 8;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
    return lower;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The key path split at "\" with empty parts dropped, parts joined again by "\". `lower` gives
// the form used for comparing.
std::string cleanKeyPath(std::string_view path, bool lower) {
    std::string clean;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (!part.empty()) {
            if (!clean.empty())
                clean += '\\';
            clean += lower ? lowerCase(part) : std::string(part);
        }
        start = end + 1;
    }
    return clean;
}

std::string normalisedKey(std::string_view path) {
    return cleanKeyPath(path, true);
}

// Decodes the quoted text that starts at text[at] (at the opening quote). On success returns
// true, stores the text and moves `at` past the closing quote. Raw bytes that are not valid
// UTF-8 are replaced by U+FFFD; \xHH escapes give the exact byte, since that is how the writer
// keeps such bytes.
bool parseQuoted(std::string_view text, std::size_t& at, std::string& out) {
    if (at >= text.size() || text[at] != '"')
        return false;
    std::string result;
    std::string raw;
    const auto flushRaw = [&] {
        result += repairUtf8(raw);
        raw.clear();
    };
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            flushRaw();
            out = std::move(result);
            at = i + 1;
            return true;
        }
        if (c != '\\') {
            raw += c;
            continue;
        }
        if (i + 1 >= text.size())
            return false;
        const char escaped = text[++i];
        switch (escaped) {
        case '\\':
        case '"':
            raw += escaped;
            break;
        case 'n':
            raw += '\n';
            break;
        case 'r':
            raw += '\r';
            break;
        case 't':
            raw += '\t';
            break;
        case 'x': {
            if (i + 2 >= text.size())
                return false;
            const int high = hexDigit(text[i + 1]);
            const int low = hexDigit(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            flushRaw();
            result += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return false; // no closing quote: a cut-off line
}

// Length of the valid UTF-8 sequence at text[at], 0 when there is none.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    for (std::size_t length = 1; length <= 4 && at + length <= text.size(); ++length)
        if (isValidUtf8(text.substr(at, length)))
            return length;
    return 0;
}

std::string quotedText(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '\\' || byte == '"') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte >= 0x20 && byte != 0x7F && byte < 0x80) {
            out += static_cast<char>(byte);
        } else if (const std::size_t length = byte >= 0x80 ? utf8SequenceLength(text, at) : 0;
                   length > 0) {
            out.append(text.substr(at, length));
            at += length;
            continue;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
        ++at;
    }
    out += '"';
    return out;
}

std::string renderValue(const RegistryStore::Value& value) {
    std::string line = quotedText(value.name) + "=";
    if (value.type == RegistryStore::ValueType::Sz)
        return line + quotedText(value.text);
    char digits[kDwordDigits + 1] = {};
    std::snprintf(digits, sizeof digits, "%08x", static_cast<std::uint32_t>(value.dword));
    return line + std::string(kDwordPrefix) + digits;
}

enum class LineKind { Other, Section, Value };

struct Line {
    std::string text;
    LineKind kind = LineKind::Other;
    // Section lines of HKEY_CURRENT_USER and the value lines below them: the normalised key.
    bool inTree = false;
    std::string key;
    RegistryStore::Value value;
    std::string lowerName; // of the value, for matching writes
};

// `complete` is false for a last line that the file does not end with a line break: it may
// have been cut off, so a dword must show all its digits to be believed.
bool parseValueLine(std::string_view text, bool complete, RegistryStore::Value& value) {
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at]))
        ++at;
    if (!parseQuoted(text, at, value.name))
        return false;
    while (at < text.size() && isBlank(text[at]))
        ++at;
    if (at >= text.size() || text[at] != '=')
        return false;
    ++at;
    while (at < text.size() && isBlank(text[at]))
        ++at;
    if (at < text.size() && text[at] == '"') {
        if (!parseQuoted(text, at, value.text))
            return false;
        value.type = RegistryStore::ValueType::Sz;
    } else {
        if (!equalsIgnoringCase(text.substr(at, kDwordPrefix.size()), kDwordPrefix))
            return false;
        at += kDwordPrefix.size();
        std::uint32_t number = 0;
        std::size_t digits = 0;
        for (; at < text.size() && hexDigit(text[at]) >= 0; ++at, ++digits) {
            if (digits == kDwordDigits)
                return false;
            number = number * 16 + static_cast<std::uint32_t>(hexDigit(text[at]));
        }
        if (digits == 0 || (!complete && digits != kDwordDigits))
            return false;
        value.type = RegistryStore::ValueType::Dword;
        // Two's complement: a dword above 0x7fffffff is a negative signed value.
        value.dword = static_cast<std::int32_t>(number);
    }
    return trim(text.substr(at)).empty();
}

// Fills in kind, inTree and key of a section line. Sections of other hives and deletions
// ("[-...]") are kept as they are but do not belong to the tree.
void classifySection(Line& line, std::string_view trimmed) {
    line.kind = LineKind::Section;
    if (trimmed.size() < 2 || trimmed.back() != ']')
        return;
    const std::string_view path = trimmed.substr(1, trimmed.size() - 2);
    const std::size_t slash = path.find('\\');
    const std::string_view root = path.substr(0, slash);
    if (!equalsIgnoringCase(root, RegistryStore::kRootName))
        return;
    line.inTree = true;
    line.key = slash == std::string_view::npos ? std::string() : normalisedKey(path.substr(slash));
}

std::vector<Line> parseDocument(std::string_view bytes) {
    std::vector<Line> lines;
    bool inTree = false;
    std::string key;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const bool complete = end != std::string_view::npos;
        if (!complete)
            end = bytes.size();
        std::string_view text = bytes.substr(start, end - start);
        start = end + 1;
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);

        Line line;
        line.text = std::string(text);
        std::string_view trimmed = trim(text);
        if (lines.empty() && trimmed.starts_with(kUtf8Bom))
            trimmed.remove_prefix(kUtf8Bom.size());
        if (trimmed.starts_with("[")) {
            classifySection(line, trimmed);
            inTree = line.inTree;
            key = line.key;
        } else if (inTree && parseValueLine(text, complete, line.value)) {
            line.kind = LineKind::Value;
            line.inTree = true;
            line.key = key;
            line.lowerName = lowerCase(line.value.name);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool isHeader(const Line& line) {
    std::string_view text = trim(line.text);
    if (text.starts_with(kUtf8Bom))
        text.remove_prefix(kUtf8Bom.size());
    return text == RegistryStore::kHeader || text == kOldHeader;
}

void ensureHeader(std::vector<Line>& lines) {
    const auto firstUsed = std::find_if(lines.begin(), lines.end(),
                                        [](const Line& line) { return !trim(line.text).empty(); });
    if (firstUsed != lines.end() && isHeader(*firstUsed))
        return;
    std::vector<Line> top(2);
    top[0].text = std::string(RegistryStore::kHeader);
    // A byte order mark is only skipped at the start of the file: it moves to the header, or
    // the line it stood on (a section, typically) would no longer be read after the save.
    if (!lines.empty()) {
        std::string& first = lines.front().text;
        const std::size_t mark = first.find(kUtf8Bom);
        if (mark != std::string::npos && trim(std::string_view(first).substr(0, mark)).empty()) {
            first.erase(mark, kUtf8Bom.size());
            top[0].text.insert(0, kUtf8Bom);
        }
    }
    lines.insert(lines.begin(), std::make_move_iterator(top.begin()),
                 std::make_move_iterator(top.end()));
}

void applyWrite(std::vector<Line>& lines, const std::string& keyPath,
                const RegistryStore::Value& value) {
    const std::string key = normalisedKey(keyPath);
    const std::string name = lowerCase(value.name);
    const auto rendered = [&] {
        Line line;
        line.text = renderValue(value);
        line.kind = LineKind::Value;
        line.inTree = true;
        line.key = key;
        line.value = value;
        line.lowerName = name;
        return line;
    };

    // The last line of a name is the one that counts when the file is read, so replace that.
    for (std::size_t i = lines.size(); i-- > 0;) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Value && line.key == key && line.lowerName == name) {
            lines[i] = rendered();
            return;
        }
    }

    // New value: at the end of the key's last section, after its last non-blank line.
    for (std::size_t i = lines.size(); i-- > 0;) {
        if (lines[i].kind != LineKind::Section || !lines[i].inTree || lines[i].key != key)
            continue;
        std::size_t insertAt = i + 1;
        for (std::size_t j = i + 1; j < lines.size() && lines[j].kind != LineKind::Section; ++j)
            if (!trim(lines[j].text).empty())
                insertAt = j + 1;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), rendered());
        return;
    }

    // New key: a section of its own at the end of the file.
    if (!lines.empty() && !trim(lines.back().text).empty())
        lines.emplace_back();
    Line section;
    const std::string shownPath = cleanKeyPath(keyPath, false);
    section.text = "[" + std::string(RegistryStore::kRootName) +
                   (shownPath.empty() ? "" : "\\" + shownPath) + "]";
    section.kind = LineKind::Section;
    section.inTree = true;
    section.key = key;
    lines.push_back(std::move(section));
    lines.push_back(rendered());
}

enum class ReadResult { Ok, Missing, Failed };

// Reads at most `limit` bytes; `tooLarge` tells whether the file holds more.
ReadResult readCapped(const std::filesystem::path& file, std::size_t limit, std::string& out,
                      bool& tooLarge, mode_t* mode = nullptr) {
    out.clear();
    tooLarge = false;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return ReadResult::Failed;
    }
    if (mode)
        *mode = info.st_mode & 07777;
    char chunk[16 * 1024];
    bool failed = false;
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            failed = true;
            break;
        }
        if (got == 0)
            break;
        const auto count = static_cast<std::size_t>(got);
        if (out.size() + count > limit) {
            out.append(chunk, limit - out.size());
            tooLarge = true;
            break;
        }
        out.append(chunk, count);
    }
    ::close(fd);
    return failed ? ReadResult::Failed : ReadResult::Ok;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t done = ::write(fd, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

// Holds an exclusive flock for its lifetime.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& file) {
        m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0)
            return;
        int result = 0;
        do {
            result = ::flock(m_fd, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Writes `bytes` to a new file beside `target` and renames it over `target`, so that a reader
// or a crash sees either the old file or the new one, never a part of it.
bool replaceFile(const std::filesystem::path& target, std::string_view bytes, mode_t mode) {
    const std::filesystem::path folder = target.parent_path();
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string pattern = (folder / name).string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(pattern.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(pattern.c_str());
        return false;
    }
    syncFolder(folder.empty() ? std::filesystem::path(".") : folder);
    return true;
}

} // namespace

const RegistryStore::Value* RegistryStore::Key::find(std::string_view name) const {
    const auto found = m_values.find(lowerCase(name));
    return found == m_values.end() ? nullptr : &found->second;
}

std::optional<std::int32_t> RegistryStore::Key::dword(std::string_view name) const {
    const Value* value = find(name);
    if (!value || value->type != ValueType::Dword)
        return std::nullopt;
    return value->dword;
}

std::optional<std::string> RegistryStore::Key::text(std::string_view name) const {
    const Value* value = find(name);
    if (!value || value->type != ValueType::Sz)
        return std::nullopt;
    return value->text;
}

std::vector<const RegistryStore::Value*> RegistryStore::Key::values() const {
    std::vector<const Value*> ordered;
    ordered.reserve(m_order.size());
    for (const std::string& name : m_order)
        ordered.push_back(&m_values.at(name));
    return ordered;
}

void RegistryStore::Key::set(Value value) {
    std::string name = lowerCase(value.name);
    if (m_values.insert_or_assign(name, std::move(value)).second)
        m_order.push_back(std::move(name));
}

const RegistryStore::Key* RegistryStore::Snapshot::key(std::string_view path) const {
    const auto found = m_keys.find(normalisedKey(path));
    return found == m_keys.end() ? nullptr : &found->second;
}

void RegistryStore::Transaction::setDword(std::string_view keyPath, std::string_view name,
                                          std::int32_t value) {
    Write write{std::string(keyPath), Value{std::string(name), ValueType::Dword, value, {}}};
    m_writes.push_back(std::move(write));
}

void RegistryStore::Transaction::setText(std::string_view keyPath, std::string_view name,
                                         std::string_view value) {
    Write write{std::string(keyPath),
                Value{std::string(name), ValueType::Sz, 0, std::string(value)}};
    m_writes.push_back(std::move(write));
}

RegistryStore::RegistryStore() : m_file(defaultFile()) {}

RegistryStore::RegistryStore(std::filesystem::path file) : m_file(std::move(file)) {}

std::filesystem::path RegistryStore::defaultFile() {
    return UserFolders::configDirectory() / "velmora.reg";
}

RegistryStore::Snapshot RegistryStore::load() const {
    Snapshot snapshot;
    std::string bytes;
    bool tooLarge = false;
    if (readCapped(m_file, kMaxFileBytes, bytes, tooLarge) != ReadResult::Ok)
        return snapshot;
    for (Line& line : parseDocument(bytes)) {
        if (!line.inTree)
            continue;
        // A key implies all the keys above it.
        for (std::size_t cut = line.key.size(); cut != std::string::npos && cut > 0;
             cut = line.key.rfind('\\', cut - 1))
            snapshot.m_keys.try_emplace(line.key.substr(0, cut));
        snapshot.m_keys.try_emplace(std::string());
        if (line.kind == LineKind::Value)
            snapshot.m_keys[line.key].set(std::move(line.value));
    }
    return snapshot;
}

bool RegistryStore::commit(const Transaction& transaction) const {
    if (transaction.m_writes.empty())
        return true;
    if (m_file.empty())
        return false;
    // A line break in a key path would split its section line in two.
    for (const Transaction::Write& write : transaction.m_writes)
        if (std::any_of(write.keyPath.begin(), write.keyPath.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            return false;
    const std::filesystem::path folder = m_file.parent_path();
    std::error_code error;
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        if (error)
            return false;
    }

    FileLock lock(std::filesystem::path(m_file).concat(".lock"));
    if (!lock.held())
        return false;

    // A store that is a symbolic link (a managed dotfile) is rewritten where it points.
    std::filesystem::path target = m_file;
    if (std::filesystem::is_symlink(m_file, error)) {
        target = std::filesystem::weakly_canonical(m_file, error);
        if (error)
            return false;
    }

    std::string bytes;
    bool tooLarge = false;
    mode_t mode = 0600;
    const ReadResult read = readCapped(target, kMaxFileBytes, bytes, tooLarge, &mode);
    if (read == ReadResult::Failed || tooLarge)
        return false;

    std::vector<Line> lines = parseDocument(bytes);
    ensureHeader(lines);
    for (const Transaction::Write& write : transaction.m_writes)
        applyWrite(lines, write.keyPath, write.value);

    std::string rendered;
    for (const Line& line : lines) {
        rendered += line.text;
        rendered += '\n';
    }
    if (rendered.size() > kMaxFileBytes)
        return false;
    return replaceFile(target, rendered, mode);
}

} // namespace velmora
