#include "platform/spill_file.h"

#include "platform/write_all.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

constexpr std::size_t kSpillBufferBytes = 64 * 1024;

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

int createUnnamedFile(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    // File systems without O_TMPFILE: a named file, unlinked at once.
    std::string name = folder + "/velmora-spill-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(name.c_str());
    return fd;
}

} // namespace

SpillFile::SpillFile() : m_output(kSpillBufferBytes) {}

void SpillFile::open() {
    close();
    m_fd.reset(createUnnamedFile(temporaryFolder()));
    m_output.attach(m_fd.get(), 0);
    m_open = true;
}

bool SpillFile::append(std::span<const std::uint8_t> bytes) {
    if (!m_open)
        return false;
    if (!m_fd.valid()) {
        m_memory.insert(m_memory.end(), bytes.begin(), bytes.end());
        return true;
    }
    return m_output.append(bytes);
}

bool SpillFile::readBack(const Reader& reader) {
    if (!m_open)
        return false;
    if (!m_fd.valid())
        return m_memory.empty() || reader(m_memory);
    if (!m_output.flush())
        return false;
    std::vector<std::uint8_t> piece(kSpillBufferBytes);
    for (std::uint64_t offset = 0; offset < m_output.position();) {
        const std::uint64_t left = m_output.position() - offset;
        const auto span = std::span(piece).first(left < piece.size() ? left : piece.size());
        if (!readAllAt(m_fd.get(), span, offset) || !reader(span))
            return false;
        offset += span.size();
    }
    return true;
}

void SpillFile::close() {
    m_fd.reset();
    m_output.attach(-1, 0);
    m_memory.clear();
    m_memory.shrink_to_fit();
    m_open = false;
}

} // namespace velmora
