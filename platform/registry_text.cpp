#include "platform/registry_text.h"

#include "platform/ascii_case.h"
#include "platform/text_encoding.h"

#include <cstdio>
#include <optional>
#include <utility>

namespace velmora {
namespace {

constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kDwordPrefix = "dword:";
constexpr std::size_t kDwordDigits = 8;

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

// Calls `part` for every non-empty part of a "\"-separated key path.
template <typename PartVisitor> void forEachKeyPart(std::string_view path, PartVisitor part) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            part(path.substr(start, end - start));
        start = end + 1;
    }
}

// The key path with empty parts dropped, parts joined again by "\"; `lower` gives the form used
// for comparing.
std::string cleanKeyPath(std::string_view path, bool lower) {
    std::string clean;
    clean.reserve(path.size());
    forEachKeyPart(path, [&](std::string_view part) {
        if (!clean.empty())
            clean += '\\';
        clean += lower ? lowerCaseAscii(part) : std::string(part);
    });
    return clean;
}

bool withinKeyLimits(std::string_view path) {
    if (path.size() > RegistryText::kMaxKeyPathBytes)
        return false;
    std::size_t depth = 0;
    forEachKeyPart(path, [&](std::string_view) { ++depth; });
    return depth <= RegistryText::kMaxKeyDepth;
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
        if (!equalsIgnoringAsciiCase(text.substr(at, kDwordPrefix.size()), kDwordPrefix))
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

bool isHeader(std::string_view trimmed) {
    if (trimmed.starts_with(kUtf8Bom))
        trimmed.remove_prefix(kUtf8Bom.size());
    return trimmed == RegistryStore::kHeader || trimmed == kOldHeader;
}

} // namespace

// One line of the text: [begin, contentEnd) without its "\r\n" or "\n", `next` where the
// following line starts.
struct RegistryText::Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;
    std::size_t next = 0;
    bool terminated = false;
};

// A line that starts with "[" ends the section before it. Sections of other hives, deletions
// ("[-...]") and keys beyond the limits are kept as they are but do not belong to the tree.
struct RegistryText::Section {
    bool inTree = false;
    std::string key; // normalised
};

namespace {

std::optional<std::string> treeKeyOfSection(std::string_view trimmed) {
    if (trimmed.size() < 2 || trimmed.back() != ']')
        return std::nullopt;
    const std::string_view path = trimmed.substr(1, trimmed.size() - 2);
    const std::size_t slash = path.find('\\');
    if (!equalsIgnoringAsciiCase(path.substr(0, slash), RegistryStore::kRootName))
        return std::nullopt;
    if (slash == std::string_view::npos)
        return std::string();
    const std::string_view below = path.substr(slash);
    if (!withinKeyLimits(below))
        return std::nullopt;
    return RegistryText::normalisedKey(below);
}

} // namespace

std::string RegistryText::normalisedKey(std::string_view path) {
    return cleanKeyPath(path, true);
}

RegistryText::Line RegistryText::lineAt(std::size_t begin) const {
    Line line;
    line.begin = begin;
    const std::size_t end = m_text.find('\n', begin);
    line.terminated = end != std::string::npos;
    line.contentEnd = line.terminated ? end : m_text.size();
    line.next = line.terminated ? end + 1 : m_text.size();
    if (line.contentEnd > begin && m_text[line.contentEnd - 1] == '\r')
        --line.contentEnd;
    return line;
}

void RegistryText::read(const SectionVisitor& onSection, const ValueVisitor& onValue) const {
    const std::string_view text = m_text;
    bool inTree = false;
    std::string key;
    for (std::size_t at = 0; at < text.size();) {
        const Line line = lineAt(at);
        at = line.next;
        const std::string_view content = text.substr(line.begin, line.contentEnd - line.begin);
        std::string_view trimmed = trim(content);
        if (line.begin == 0 && trimmed.starts_with(kUtf8Bom))
            trimmed.remove_prefix(kUtf8Bom.size());
        if (trimmed.starts_with("[")) {
            std::optional<std::string> treeKey = treeKeyOfSection(trimmed);
            inTree = treeKey.has_value();
            key = inTree ? std::move(*treeKey) : std::string();
            if (inTree)
                onSection(key);
            continue;
        }
        RegistryStore::Value value;
        if (inTree && parseValueLine(content, line.terminated, value))
            onValue(key, std::move(value));
    }
}

void RegistryText::ensureHeader() {
    for (std::size_t at = 0; at < m_text.size();) {
        const Line line = lineAt(at);
        at = line.next;
        const std::string_view trimmed =
            trim(std::string_view(m_text).substr(line.begin, line.contentEnd - line.begin));
        if (trimmed.empty())
            continue;
        if (isHeader(trimmed))
            return;
        break;
    }
    // A byte order mark is only skipped on the first line: it moves in front of the header, or
    // the line it stood on (a section, typically) would no longer be read after the save.
    std::string header = std::string(RegistryStore::kHeader) + "\n\n";
    const Line first = lineAt(0);
    const std::string_view content =
        std::string_view(m_text).substr(first.begin, first.contentEnd - first.begin);
    const std::size_t mark = content.find(kUtf8Bom);
    if (mark != std::string_view::npos && trim(content.substr(0, mark)).empty()) {
        m_text.erase(first.begin + mark, kUtf8Bom.size());
        header.insert(0, kUtf8Bom);
    }
    m_text.insert(0, header);
}

std::size_t RegistryText::lastLineBegin() const {
    const std::size_t lastBreak = m_text.rfind('\n', m_text.empty() ? 0 : m_text.size() - 1);
    return lastBreak == std::string::npos ? 0 : lastBreak + 1;
}

bool RegistryText::lastLineMustStayCutOff() const {
    if (m_text.empty() || m_text.back() == '\n')
        return false;
    const Line line = lineAt(lastLineBegin());
    const std::string_view content =
        std::string_view(m_text).substr(line.begin, line.contentEnd - line.begin);
    // Only a line that reads differently once completed (a dword short of its 8 digits) is at
    // risk; anything else means the same with a line break after it.
    RegistryStore::Value ignored;
    return !parseValueLine(content, false, ignored) && parseValueLine(content, true, ignored);
}

std::size_t RegistryText::endInsertionPoint() {
    if (lastLineMustStayCutOff())
        return lastLineBegin();
    if (!m_text.empty() && m_text.back() != '\n')
        m_text += '\n';
    return m_text.size();
}

void RegistryText::setValue(std::string_view keyPath, const RegistryStore::Value& value) {
    const std::string key = normalisedKey(keyPath);
    const std::string name = lowerCaseAscii(value.name);
    const std::string rendered = renderValue(value);

    std::optional<Line> lastOfName;    // the value's line that counts when the file is read
    std::optional<Line> lastInSection; // the last non-blank line of the key's last section
    bool inKey = false;
    const std::string_view text = m_text;
    for (std::size_t at = 0; at < text.size();) {
        const Line line = lineAt(at);
        at = line.next;
        const std::string_view content = text.substr(line.begin, line.contentEnd - line.begin);
        const std::string_view trimmed = trim(content);
        if (trimmed.starts_with("[")) {
            const std::optional<std::string> treeKey = treeKeyOfSection(trimmed);
            inKey = treeKey && *treeKey == key;
            if (inKey)
                lastInSection = line;
            continue;
        }
        if (!inKey || trimmed.empty())
            continue;
        lastInSection = line;
        RegistryStore::Value found;
        if (parseValueLine(content, line.terminated, found) && lowerCaseAscii(found.name) == name)
            lastOfName = line;
    }

    if (lastOfName) {
        m_text.replace(lastOfName->begin, lastOfName->contentEnd - lastOfName->begin, rendered);
        return;
    }
    if (lastInSection) {
        // The section's last line may end the file without a line break.
        const std::size_t insertAt =
            lastInSection->terminated ? lastInSection->next : endInsertionPoint();
        m_text.insert(insertAt, rendered + "\n");
        return;
    }

    const std::size_t insertAt = endInsertionPoint();
    std::string added;
    if (insertAt > 0) {
        const std::size_t previousBreak = insertAt >= 2 ? m_text.rfind('\n', insertAt - 2) : 0;
        const std::size_t previousBegin =
            previousBreak == std::string::npos || insertAt < 2 ? 0 : previousBreak + 1;
        const Line previous = lineAt(previousBegin);
        if (!trim(std::string_view(m_text).substr(previous.begin,
                                                  previous.contentEnd - previous.begin))
                 .empty())
            added += '\n';
    }
    const std::string shownPath = cleanKeyPath(keyPath, false);
    added += "[" + std::string(RegistryStore::kRootName) +
             (shownPath.empty() ? "" : "\\" + shownPath) + "]\n";
    added += rendered + "\n";
    m_text.insert(insertAt, added);
}

} // namespace velmora
