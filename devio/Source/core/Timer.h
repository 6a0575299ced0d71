#pragma once
#include "core/ITimer.h"
#include "core/Producer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace devio {

// One-shot timer: one thread per start; publishes TimerEvent with its id when the period ends.
// A handler that controls its own timer must subscribe queued.
class Timer : public ITimer, public Producer<ITimer::TimerEvent>, public std::enable_shared_from_this<Timer> {
public:
    Timer(std::weak_ptr<IRunLoopManager> runLoop, std::uint32_t id);
    ~Timer() override;

    bool kick(unsigned ms) override;
    bool start(unsigned ms) override;
    bool stop() override;

    std::uint32_t id() const { return m_id; }

private:
    void start_locked(unsigned ms);
    void run(unsigned ms, std::weak_ptr<Timer> weak);
    void stop_thread(bool fromDestructor);

    // Start, kick and stop one at a time, whatever their threads: a device's worker starts a
    // timer that a disconnection on the run loop stops. Never taken by the timer thread.
    std::mutex m_control_mutex;
    std::unique_ptr<std::thread> m_thread;
    bool m_stop = false;
    std::condition_variable m_condition;
    std::mutex m_mutex;
    std::uint32_t m_id;
    std::atomic<bool> m_second_half{false};
};

} // namespace devio
