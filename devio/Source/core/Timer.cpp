#include "core/Timer.h"

#include <chrono>
#include <system_error>

namespace devio {

Timer::Timer(std::weak_ptr<IRunLoopManager> runLoop, std::uint32_t id) : m_id(id)
{
    set_run_loop(std::move(runLoop));
}

Timer::~Timer() { stop_thread(true); }

bool Timer::kick(unsigned ms)
{
    std::lock_guard<std::mutex> control(m_control_mutex);
    if (m_thread && !m_second_half.load())
        return false;
    start_locked(ms);
    return true;
}

bool Timer::start(unsigned ms)
{
    std::lock_guard<std::mutex> control(m_control_mutex);
    start_locked(ms);
    return true;
}

void Timer::start_locked(unsigned ms)
{
    stop_thread(false);
    m_second_half.store(false);
    // The new thread starts by taking the lock, so it cannot fire (and perhaps end the timer)
    // before m_thread is stored.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = false;
    m_thread = std::make_unique<std::thread>([this, ms, weak = weak_from_this()] { run(ms, weak); });
}

bool Timer::stop()
{
    std::lock_guard<std::mutex> control(m_control_mutex);
    stop_thread(false);
    return true;
}

void Timer::stop_thread(bool fromDestructor)
{
    if (!m_thread)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_condition.notify_all();
    if (m_thread->get_id() == std::this_thread::get_id()) {
        // Last reference dropped by a handler on the timer's own thread: it cannot be joined,
        // and the thread touches nothing of the timer once the handler returns.
        if (fromDestructor) {
            m_thread->detach();
            m_thread.reset();
            return;
        }
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
    }
    m_thread->join();
    m_thread.reset();
}

void Timer::run(unsigned ms, std::weak_ptr<Timer> weak)
{
    const bool owned = !weak.expired();
    std::shared_ptr<Timer> keep;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // Unsigned: a period above 2^31 ms must not turn negative and fire at once.
        const auto half = std::chrono::milliseconds(ms / 2);
        auto deadline = std::chrono::steady_clock::now() + half;
        m_condition.wait_until(lock, deadline, [this] { return m_stop; });
        m_second_half.store(true);
        if (m_stop)
            return;
        deadline = std::chrono::steady_clock::now() + half;
        m_condition.wait_until(lock, deadline, [this] { return m_stop; });
        if (m_stop)
            return;
        // Held across the handlers so a handler that drops the last reference does not
        // destroy the timer under this thread; the destructor then runs below.
        keep = weak.lock();
        if (owned && !keep)
            return; // destruction has begun and waits for this thread
    }
    // Published unlocked: a stop still returns only after the handlers (it joins), and what they
    // release (even the run loop, whose last reference this thread may hold) never takes locks
    // against the order of a queued handler that restarts this timer.
    const int id = static_cast<int>(m_id);
    notify([id](ITimer::TimerEvent* s) { s->onTimerEvent(id); }, "Timer::TimerEvent::onTimerEvent");
    keep.reset(); // may destroy the timer; nothing of it is touched afterwards
}

} // namespace devio
