#include "device/DeviceLock.h"

#include "core/Timing.h"

#include <windows.h>

namespace devio {

std::string DeviceLock::mutex_name(const std::string& path)
{
    std::string name = "tarn.tsl:" + path;
    for (char& c : name)
        if (c == '\\')
            c = '/';
    return name;
}

DeviceLock::DeviceLock(const std::string& path, std::uint32_t seconds, bool lockNow)
    : m_full_wait(Timing::scaled(std::uint64_t(seconds) * 1000)), m_current_wait(m_full_wait)
{
    if (!path.empty())
        m_mutex = CreateMutexA(nullptr, FALSE, mutex_name(path).c_str());
    if (lockNow)
        m_lock_at_start = acquire();
}

DeviceLock::~DeviceLock()
{
    if (m_lock_at_start)
        release();
    if (m_mutex)
        CloseHandle(static_cast<HANDLE>(m_mutex));
}

bool DeviceLock::acquire()
{
    const DWORD result = WaitForSingleObject(static_cast<HANDLE>(m_mutex), m_full_wait == 0 ? INFINITE : m_current_wait);
    if (result == WAIT_TIMEOUT) {
        m_current_wait >>= 1;
        return false;
    }
    // Acquired, abandoned by a dead owner, or no mutex at all: go ahead with the full wait.
    m_current_wait = m_full_wait;
    return true;
}

void DeviceLock::release()
{
    if (m_mutex)
        ReleaseMutex(static_cast<HANDLE>(m_mutex));
}

} // namespace devio
