#pragma once

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace velmora {

// Output paths promised to conversions that have not finished yet. A running conversion writes
// a hidden partial file, so its output name is not on the disk until it ends; without this
// record two files converted at the same time would both find the name free. A name is free
// only when neither the disk nor a running conversion holds it. Safe to use from any thread.
class OutputNameReservations {
public:
    // Reserves path when no running conversion holds it; false otherwise.
    bool tryReserve(const std::string& path);
    // Waits until no running conversion holds path, then reserves it: the way to replace a file
    // another running conversion is about to write.
    void reserveWhenFree(const std::string& path);
    bool isReserved(const std::string& path) const;
    void release(const std::string& path);

private:
    // "out//a.mp3" and "out/a.mp3" are one file.
    static std::string key(const std::string& path);

    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::set<std::string> m_paths;
};

// Holds one reservation and releases it when it goes out of scope.
class OutputNameReservation {
public:
    OutputNameReservation() = default;
    OutputNameReservation(OutputNameReservations& owner, std::string path)
        : m_owner(&owner), m_path(std::move(path)) {}
    OutputNameReservation(OutputNameReservation&& other) noexcept
        : m_owner(std::exchange(other.m_owner, nullptr)), m_path(std::move(other.m_path)) {}
    OutputNameReservation& operator=(OutputNameReservation&& other) noexcept {
        if (this != &other) {
            release();
            m_owner = std::exchange(other.m_owner, nullptr);
            m_path = std::move(other.m_path);
        }
        return *this;
    }
    ~OutputNameReservation() { release(); }

    void release() {
        if (m_owner)
            m_owner->release(m_path);
        m_owner = nullptr;
    }

private:
    OutputNameReservations* m_owner = nullptr;
    std::string m_path;
};

} // namespace velmora
