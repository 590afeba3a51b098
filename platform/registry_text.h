#pragma once

#include "platform/registry_store.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace velmora {

// The text of a store in the .reg form (see RegistryStore), read line by line and changed in
// place: a change rewrites or inserts only the lines of the values written, so every other byte
// of the file, damaged lines and line ends included, stays as it was.
//
// A last line without a line break may have been cut off. It is read as damaged when it could be
// a shortened value (a dword with fewer than 8 digits), and it stays that way: nothing is ever
// written after such a line, since completing it would bring the shortened value to life. A last
// line that reads the same either way is completed when something must follow it.
class RegistryText {
public:
    // No program key comes near these; a section naming a deeper or longer key is ignored with
    // its values, like any other damaged line. Depth counts the parts below HKEY_CURRENT_USER;
    // length is the bytes of the path inside the brackets.
    static constexpr std::size_t kMaxKeyDepth = 32;
    static constexpr std::size_t kMaxKeyPathBytes = 1024;

    using SectionVisitor = std::function<void(const std::string& key)>;
    using ValueVisitor = std::function<void(const std::string& key, RegistryStore::Value value)>;

    explicit RegistryText(std::string text) : m_text(std::move(text)) {}

    // Walks the lines once, in file order: every section of the HKEY_CURRENT_USER tree and every
    // value line below one, with the key in its normalised (compared) form.
    void read(const SectionVisitor& onSection, const ValueVisitor& onValue) const;

    // Puts the header line first unless the first non-blank line already is one.
    void ensureHeader();
    // Replaces the line that counts for the value (the last of its name in the key), else adds
    // the value at the end of the key's last section, else adds a section for the key at the end.
    void setValue(std::string_view keyPath, const RegistryStore::Value& value);

    const std::string& text() const { return m_text; }

    // The key path split at "\" with empty parts dropped and ASCII letters lower-cased: the form
    // in which keys compare.
    static std::string normalisedKey(std::string_view path);

private:
    struct Line;
    struct Section;

    Line lineAt(std::size_t begin) const;
    std::size_t lastLineBegin() const;
    // True for a last line without a line break that would read differently with one.
    bool lastLineMustStayCutOff() const;
    // Where lines can be added at the end of the text: before a last line that must stay cut
    // off, else after a line break (added to a last line that has none).
    std::size_t endInsertionPoint();

    std::string m_text;
};

} // namespace velmora
