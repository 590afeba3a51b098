#include "platform/bass/input_file.h"
#include "platform/bass/mpeg_layout.h"
#include "tests/fuzz/read_to_end.h"

namespace velmora::fuzz {
namespace {

// The scan for MPEG audio frames between a file's tags. Its position is the first frame and its
// length the end of the audio, which must lie after the ID3v2 tag and before the ID3v1 tag.
class MpegTarget : public OneShotTarget {
public:
    static constexpr const char* kFileName = "input.mp3";

    bool open(std::span<const std::uint8_t>, const std::filesystem::path& file) {
        m_file = InputFile::open(file.string());
        check(m_file.has_value(), "the input file opens");
        m_layout = MpegLayout::scan(*m_file);
        return m_layout.has_value();
    }

    std::uint64_t position() const { return m_layout->audioStart; }
    std::uint64_t length() const { return m_layout->audioEnd; }

    void checkAtEnd() const {
        check(m_layout->id3v2Bytes <= m_layout->audioStart, "the audio starts after the ID3v2 tag");
        check(m_layout->audioStart < m_layout->audioEnd, "the audio is not empty");
        const std::uint64_t tail = m_layout->hasId3v1 ? 128 : 0;
        check(m_layout->audioEnd + tail <= m_file->size(),
              "the audio ends before the ID3v1 tag and the end of the file");
    }

private:
    std::optional<InputFile> m_file;
    std::optional<MpegLayout> m_layout;
};

} // namespace
} // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return velmora::fuzz::openAndReadToEnd<velmora::fuzz::MpegTarget>(data, size);
}
