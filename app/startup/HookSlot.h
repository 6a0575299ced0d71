// A replaceable hook that any thread may call or replace: read and swapped under its own lock, and
// called outside it, so a hook may replace itself.
#pragma once

#include <mutex>
#include <utility>

template <class Hook>
class HookSlot {
public:
    Hook get() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_hook;
    }
    // Installs `hook`; returns the one it replaces.
    Hook exchange(Hook hook)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::swap(m_hook, hook);
        return hook;
    }

private:
    mutable std::mutex m_mutex;
    Hook m_hook;
};
