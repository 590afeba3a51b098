#include "platform/registry_store.h"

#include "platform/ascii_case.h"
#include "platform/atomic_file.h"
#include "platform/registry_text.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace velmora {

const RegistryStore::Value* RegistryStore::Key::find(std::string_view name) const {
    const auto found = m_values.find(lowerCaseAscii(name));
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

bool RegistryStore::Key::set(Value value, std::size_t& valueCount) {
    std::string name = lowerCaseAscii(value.name);
    if (const auto found = m_values.find(name); found != m_values.end()) {
        found->second = std::move(value);
        return true;
    }
    if (valueCount >= kMaxValues)
        return false;
    ++valueCount;
    m_values.emplace(name, std::move(value));
    m_order.push_back(std::move(name));
    return true;
}

const RegistryStore::Key* RegistryStore::Snapshot::key(std::string_view path) const {
    const std::string wanted = RegistryText::normalisedKey(path);
    if (const auto found = m_keys.find(wanted); found != m_keys.end())
        return &found->second;
    // A key named by no section exists when a subkey below it does. Keys are sorted, so the
    // first one at or after "wanted\" tells.
    static const Key kImplied;
    if (m_keys.empty())
        return nullptr;
    if (wanted.empty())
        return &kImplied;
    const std::string prefix = wanted + '\\';
    const auto below = m_keys.lower_bound(prefix);
    return below != m_keys.end() && below->first.starts_with(prefix) ? &kImplied : nullptr;
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
    if (AtomicFile::read(m_file, kMaxFileBytes, bytes, tooLarge) != AtomicFile::ReadResult::Ok)
        return snapshot;
    // Only the keys that sections name are kept; the keys above them are implied at lookup, so
    // memory stays in proportion to the file however deep its keys go.
    std::size_t valueCount = 0;
    const auto keyFor = [&](const std::string& key) -> Key* {
        if (const auto found = snapshot.m_keys.find(key); found != snapshot.m_keys.end())
            return &found->second;
        if (snapshot.m_keys.size() >= kMaxKeys)
            return nullptr;
        return &snapshot.m_keys[key];
    };
    RegistryText(std::move(bytes))
        .read([&](const std::string& key) { keyFor(key); },
              [&](const std::string& key, Value value) {
                  if (Key* target = keyFor(key))
                      target->set(std::move(value), valueCount);
              });
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

    // A store that is a symbolic link (a managed dotfile) is rewritten where it points.
    std::filesystem::path target = m_file;
    if (std::filesystem::is_symlink(m_file, error)) {
        target = std::filesystem::weakly_canonical(m_file, error);
        if (error)
            return false;
    }
    AtomicFile file(target);
    // The lock sits beside the name the program uses, so every copy meets the same one.
    if (!file.lock(std::filesystem::path(m_file).concat(".lock")))
        return false;

    std::string bytes;
    bool tooLarge = false;
    mode_t mode = 0600;
    const auto read = AtomicFile::read(target, kMaxFileBytes, bytes, tooLarge, &mode);
    if (read == AtomicFile::ReadResult::Failed || tooLarge)
        return false;

    RegistryText text(std::move(bytes));
    text.ensureHeader();
    for (const Transaction::Write& write : transaction.m_writes)
        text.setValue(write.keyPath, write.value);
    if (text.text().size() > kMaxFileBytes)
        return false;
    return file.replace(text.text(), mode);
}

} // namespace velmora
