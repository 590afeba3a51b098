#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The HKEY_CURRENT_USER key tree of the program, kept in one user-editable text file in the
// .reg form:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Ostrane Velmora\Options]
//   "OutputFormat"=dword:000003e8
//   "Folder"="/home/user/Music/"
//
// The file is UTF-8. Inside quotes, \\ and \" stand for a backslash and a quote; control
// characters are written as \n, \r, \t or \xHH, and so are bytes that are not valid UTF-8, so
// every text comes back byte for byte and the file stays valid UTF-8. Key paths are given
// relative to HKEY_CURRENT_USER with "\" between the parts ("Software\Ostrane Velmora\Options");
// key and value names compare without regard to ASCII case, as in the registry.
//
// Failures are silent: loading a damaged or missing file gives what could be read, and a
// commit that cannot be completed returns false and leaves the file as it was.
class RegistryStore {
public:
    enum class ValueType { Dword, Sz };

    struct Value {
        std::string name; // as written in the file
        ValueType type = ValueType::Dword;
        std::int32_t dword = 0;
        std::string text;
    };

    // The values of one key as they were when the file was read.
    class Key {
    public:
        const Value* find(std::string_view name) const;
        // Empty when the value is missing or has the other type.
        std::optional<std::int32_t> dword(std::string_view name) const;
        std::optional<std::string> text(std::string_view name) const;
        // In the order of first appearance in the file.
        std::vector<const Value*> values() const;

    private:
        friend class RegistryStore;
        // False when the name is new and the snapshot holds kMaxValues already.
        bool set(Value value, std::size_t& valueCount);

        // Lower-cased name -> value; a later line for the same name replaces an earlier one.
        std::map<std::string, Value> m_values;
        std::vector<std::string> m_order;
    };

    // The whole tree as read at one moment. A key exists when the file names it or one of its
    // subkeys, as a registry key exists once a subkey has been created below it.
    class Snapshot {
    public:
        const Key* key(std::string_view path) const;

    private:
        friend class RegistryStore;
        std::map<std::string, Key> m_keys; // normalised path -> key
    };

    // A set of values to write together, applied in order by commit().
    class Transaction {
    public:
        void setDword(std::string_view keyPath, std::string_view name, std::int32_t value);
        void setText(std::string_view keyPath, std::string_view name, std::string_view value);
        bool empty() const { return m_writes.empty(); }

    private:
        friend class RegistryStore;
        struct Write {
            std::string keyPath;
            Value value;
        };
        std::vector<Write> m_writes;
    };

    // The store in UserFolders::configDirectory()/velmora.reg.
    RegistryStore();
    explicit RegistryStore(std::filesystem::path file);

    static std::filesystem::path defaultFile();
    const std::filesystem::path& file() const { return m_file; }

    // Reads the file. A missing or unreadable file gives an empty snapshot; unreadable lines
    // are skipped, and so are sections naming a key deeper or longer than any real store holds
    // (see RegistryText) and what lies beyond kMaxKeys and kMaxValues; only the first
    // kMaxFileBytes are looked at. A store that is not a
    // regular file (a FIFO) is never waited on: it reads as missing.
    Snapshot load() const;

    // Under an exclusive lock on a lock file beside the store: re-reads the file, changes only
    // the values of the transaction (every other line stays as it was, unparseable ones
    // included, and a cut-off last line stays cut off), writes a temporary file in the same folder,
    // syncs it and renames it over the store. Creates the folder when missing. An empty transaction
    // touches nothing and succeeds. False when anything fails; the store is then unchanged.
    bool commit(const Transaction& transaction) const;

    // A settings file never comes near this; a larger file is not read past it, and is not
    // rewritten (rewriting would drop what was not read).
    static constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;
    // The program keeps a few dozen keys and a few hundred values; a snapshot takes at most
    // these many, so that a hostile file cannot make it many times the file's size. Lines
    // beyond them are ignored like damaged ones (later lines for keys and values already taken
    // still count).
    static constexpr std::size_t kMaxKeys = 4096;
    static constexpr std::size_t kMaxValues = 65536;

    static constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
    static constexpr std::string_view kRootName = "HKEY_CURRENT_USER";

private:
    std::filesystem::path m_file;
};

} // namespace velmora
