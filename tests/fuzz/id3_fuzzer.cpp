#include "sources/source_tags.h"
#include "tests/fuzz/read_to_end.h"

namespace velmora::fuzz {
namespace {

// The ID3v2 tag of an AIFF "ID3 " chunk, parsed in memory.
class Id3Target : public OneShotTarget {
public:
    static constexpr const char* kFileName = nullptr;

    bool open(std::span<const std::uint8_t> bytes, const std::filesystem::path&) {
        SourceTags::readId3Tags(bytes, m_tags);
        return true;
    }
    void checkAtEnd() const { checkTagsAreUtf8(m_tags); }

private:
    TagSet m_tags;
};

} // namespace
} // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return velmora::fuzz::openAndReadToEnd<velmora::fuzz::Id3Target>(data, size);
}
