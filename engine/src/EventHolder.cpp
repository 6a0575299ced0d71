#include "EventHolder.h"

namespace qv {

EventHolder& EventHolder::instance()
{
    // Never destroyed: threads still finishing at exit may report.
    static EventHolder* holder = new EventHolder;
    return *holder;
}

void EventHolder::set(QV_Callback callback, void* context)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_callback = callback;
    m_context = context;
}

void EventHolder::clear()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_callback = nullptr;
    m_context = nullptr;
}

void EventHolder::fire(std::uint64_t handle, std::uint32_t event, std::uint64_t value)
{
    // Tested and called under the lock, so a clear() never races a call in flight.
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_callback)
        m_callback(m_context, handle, event, value);
}

}  // namespace qv
