#include "engine/output_name_reservations.h"

#include <filesystem>

namespace velmora {

std::string OutputNameReservations::key(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

bool OutputNameReservations::tryReserve(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    return m_paths.insert(key(path)).second;
}

void OutputNameReservations::reserveWhenFree(const std::string& path) {
    std::unique_lock lock(m_mutex);
    const std::string wanted = key(path);
    m_released.wait(lock, [&] { return !m_paths.contains(wanted); });
    m_paths.insert(wanted);
}

bool OutputNameReservations::isReserved(const std::string& path) const {
    const std::lock_guard lock(m_mutex);
    return m_paths.contains(key(path));
}

void OutputNameReservations::release(const std::string& path) {
    {
        const std::lock_guard lock(m_mutex);
        m_paths.erase(key(path));
    }
    m_released.notify_all();
}

} // namespace velmora
