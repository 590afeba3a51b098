#include "platform/amr/amr_file_output.h"

#include "platform/write_all.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {
namespace {

// Frames are 13 to 61 bytes; gathering them spares one system call per 20 ms of audio.
constexpr std::size_t kFlushBytes = 16384;

} // namespace

AmrFileOutput::~AmrFileOutput() {
    finish();
}

bool AmrFileOutput::create(const std::string& path, std::string_view magic) {
    finish();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return false;
    m_failed = false;
    m_pending.assign(magic.begin(), magic.end());
    return true;
}

bool AmrFileOutput::append(std::span<const std::uint8_t> bytes) {
    if (m_fd < 0 || m_failed)
        return false;
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    if (m_pending.size() >= kFlushBytes)
        return flush();
    return true;
}

bool AmrFileOutput::flush() {
    if (!m_failed && !writeAll(m_fd, m_pending.data(), m_pending.size()))
        m_failed = true;
    m_pending.clear();
    return !m_failed;
}

bool AmrFileOutput::finish() {
    if (m_fd < 0)
        return true;
    bool whole = flush();
    if (::close(m_fd) != 0)
        whole = false;
    m_fd = -1;
    m_failed = false;
    return whole;
}

} // namespace velmora
