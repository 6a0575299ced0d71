#include "devices/SimScheduler.h"

#include <algorithm>

namespace platform::sim {

SimScheduler::~SimScheduler()
{
    stop();
}

void SimScheduler::post(Clock::time_point due, Task task)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopped)
        return;
    auto it = std::upper_bound(m_items.begin(), m_items.end(), due,
                               [](const Clock::time_point& t, const Item& i) { return t < i.due; });
    m_items.insert(it, Item{due, std::move(task)});
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_condition.notify_all();
}

void SimScheduler::stop()
{
    std::deque<Item> dropped;   // destroyed outside the lock: tasks may hold anything
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        dropped.swap(m_items);
    }
    m_condition.notify_all();
    if (m_thread.joinable() && !on_thread())
        m_thread.join();
}

bool SimScheduler::wait_idle(std::chrono::milliseconds deadline)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_condition.wait_for(lock, deadline, [&] { return m_items.empty() && !m_running; });
}

void SimScheduler::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_stopped)
            break;
        if (m_items.empty()) {
            m_condition.wait(lock);
            continue;
        }
        const auto due = m_items.front().due;
        if (Clock::now() < due) {
            m_condition.wait_until(lock, due);
            continue;
        }
        Task task = std::move(m_items.front().task);
        m_items.pop_front();
        m_running = true;
        lock.unlock();
        try {
            task();
        } catch (...) {
            // A model's late step may find its device node already gone; nothing to tell.
        }
        task = nullptr;
        lock.lock();
        m_running = false;
        m_condition.notify_all();
    }
    m_running = false;
    m_condition.notify_all();
}

}  // namespace platform::sim
