// The one registered callback. Every engine thread reports through it; calls never overlap and
// none is made once the callback is cleared.
#pragma once

#include "QVApi.h"

#include <cstdint>
#include <mutex>

namespace qv {

class EventHolder {
public:
    static EventHolder& instance();

    void set(QV_Callback callback, void* context);
    // Waits for a callback in progress on another thread, then no further call is made.
    void clear();
    void fire(std::uint64_t handle, std::uint32_t event, std::uint64_t value);

private:
    // Re-entrant: a callback may itself lead to an event on its own thread.
    std::recursive_mutex m_mutex;
    QV_Callback m_callback = nullptr;
    void* m_context = nullptr;
};

}  // namespace qv
