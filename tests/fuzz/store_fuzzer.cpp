#include "platform/registry_store.h"
#include "tests/fuzz/read_to_end.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::fuzz {
namespace {

constexpr std::string_view kOptionsKey = "Software\\Ostrane Velmora\\Options";
constexpr std::string_view kFuzzKey = "Software\\Ostrane Velmora\\Fuzz\\";

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// The next `count` bytes of the input as text (fewer at its end).
std::string takeText(std::span<const std::uint8_t>& bytes, std::size_t count) {
    const auto taken = bytes.first(std::min(count, bytes.size()));
    bytes = bytes.subspan(taken.size());
    return std::string(taken.begin(), taken.end());
}

// The settings store with the input as its file. Loading must survive anything; a commit over
// any file must succeed, and every value it wrote must load back byte for byte: one existing
// value replaced, one new text value, one dword under a key named by the input.
class StoreTarget : public OneShotTarget {
public:
    static constexpr const char* kFileName = "velmora.reg";

    bool open(std::span<const std::uint8_t> bytes, const std::filesystem::path& file) {
        m_store.emplace(file);
        m_fitsLimit = bytes.size() <= RegistryStore::kMaxFileBytes / 2;
        const RegistryStore::Snapshot before = m_store->load();
        planWrites(before, bytes);
        return true;
    }

    void checkAtEnd() const {
        RegistryStore::Transaction transaction;
        for (const Write& write : m_writes) {
            if (write.dword)
                transaction.setDword(write.key, write.name, *write.dword);
            else
                transaction.setText(write.key, write.name, write.text);
        }
        const bool committed = m_store->commit(transaction);
        if (!m_fitsLimit)
            return;
        check(committed, "a commit over any small store file succeeds");
        const RegistryStore::Snapshot after = m_store->load();
        for (const Write& write : m_writes) {
            const RegistryStore::Key* key = after.key(write.key);
            check(key != nullptr, "a written key exists");
            const RegistryStore::Value* value = key->find(write.name);
            check(value != nullptr, "a written value exists");
            check(value->name == write.name, "a written name comes back byte for byte");
            if (write.dword)
                check(key->dword(write.name) == write.dword, "a written dword comes back");
            else
                check(key->text(write.name) == write.text,
                      "a written text comes back byte for byte");
        }
    }

private:
    struct Write {
        std::string key;
        std::string name;
        std::string text;
        std::optional<std::int32_t> dword;
    };

    void planWrites(const RegistryStore::Snapshot& before, std::span<const std::uint8_t> bytes) {
        if (const RegistryStore::Key* options = before.key(kOptionsKey)) {
            if (const auto values = options->values(); !values.empty())
                m_writes.push_back({std::string(kOptionsKey), values.front()->name,
                                    takeText(bytes, 64), std::nullopt});
        }
        Write added{std::string(kOptionsKey), takeText(bytes, 12), takeText(bytes, 256), {}};
        if (m_writes.empty() || !equalIgnoringAsciiCase(added.name, m_writes.front().name))
            m_writes.push_back(std::move(added));
        // A key path may not hold control characters (a line break would split its section
        // line); commit refuses such a path, so they are replaced here.
        std::string keyPart = takeText(bytes, 16);
        std::ranges::replace_if(
            keyPart, [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '_');
        m_writes.push_back({std::string(kFuzzKey) + keyPart, "Number", {}, 0x7F3A0001});
    }

    std::optional<RegistryStore> m_store;
    std::vector<Write> m_writes;
    bool m_fitsLimit = false;
};

} // namespace
} // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return velmora::fuzz::openAndReadToEnd<velmora::fuzz::StoreTarget>(data, size);
}
