#pragma once
#include <cstdint>
#include <string>

namespace devio {

// Advisory, time-bounded cross-process lock of one device: a named system mutex taken around
// each transmission. A peer that keeps it too long only halves our next wait.
class DeviceLock {
public:
    DeviceLock(const std::string& path, std::uint32_t seconds, bool lockNow);
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Waits up to the current wait; proceeds whatever the outcome. True when acquired.
    bool acquire();
    void release();

    // "tarn.tsl:" + the path with every backslash turned into a slash.
    static std::string mutex_name(const std::string& path);
    std::uint32_t current_wait() const { return m_current_wait; }

private:
    bool m_lock_at_start = false;
    std::uint32_t m_full_wait;
    std::uint32_t m_current_wait;
    void* m_mutex = nullptr;
};

} // namespace devio
