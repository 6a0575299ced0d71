// A thread of its own that runs tasks at their due time, in due order (equal times in the order
// they were posted). Device models use it for reply latency and for what they do later on their
// own: leave, come back, restart. The thread starts with the first post.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform::sim {

class SimScheduler {
public:
    using Clock = std::chrono::steady_clock;
    using Task = std::function<void()>;

    SimScheduler() = default;
    ~SimScheduler();
    SimScheduler(const SimScheduler&) = delete;
    SimScheduler& operator=(const SimScheduler&) = delete;

    void post(Clock::time_point due, Task task);
    void post_after(std::chrono::microseconds delay, Task task) { post(Clock::now() + delay, std::move(task)); }
    // Drops what is queued, waits for a task in progress and ends the thread; later posts are
    // dropped. Not to be called from a task.
    void stop();
    bool on_thread() const { return std::this_thread::get_id() == m_thread.get_id(); }
    // Waits until nothing is queued or running.
    bool wait_idle(std::chrono::milliseconds deadline);

private:
    struct Item {
        Clock::time_point due;
        Task task;
    };
    void run();

    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::deque<Item> m_items;
    bool m_running = false;   // a task is running
    bool m_stopped = false;
    std::thread m_thread;
};

}  // namespace platform::sim
