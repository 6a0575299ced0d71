#pragma once
// Fakes shared by the runtime tests: an event source with its listener, a timer-event recorder
// and a host standing in for the device behind device requests.

#include "core/DeviceRequest.h"
#include "core/ITimer.h"
#include "core/Producer.h"
#include "core/Subscriber.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace devio::test {

struct ISource {
    class Value {
    public:
        virtual void onValue(int /*v*/) {}
        virtual ~Value() = default;
    };
    virtual ~ISource() = default;
};

class Source : public ISource, public Producer<ISource::Value> {
public:
    void send(int v) { notify([v](ISource::Value* s) { s->onValue(v); }, "Source::Value::onValue"); }
};

class Listener : public Subscriber<ISource::Value> {
public:
    std::vector<int> seen;
    void onValue(int v) override { seen.push_back(v); }
};

// Stands in for the device: queues continuations, wakes waiters.
class FakeRequestHost : public IDeviceRequestHost {
public:
    void post_continuation(std::function<void(bool)> task) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
        m_cv.notify_all();
    }
    void wait_for_work(const std::function<bool()>& done) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return !m_tasks.empty() || done(); });
    }
    bool run_pending_write() override { return false; }
    bool run_continuation() override
    {
        std::function<void(bool)> task;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_tasks.empty())
                return false;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task(true);
        return true;
    }
    // What the device does when a matching reply arrives. Marked under the lock so a waiter
    // cannot check between the mark and the wake-up and miss both.
    void complete(const std::shared_ptr<DeviceRequest>& r, const std::vector<Byte>& reply)
    {
        r->set_response(reply);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            r->mark_complete();
            m_cv.notify_all();
        }
        r->run_continuation(r, false);
    }
    void discard_all()
    {
        std::deque<std::function<void(bool)>> tasks;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            tasks.swap(m_tasks);
        }
        for (auto& t : tasks)
            t(false);
    }
    std::size_t queued()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_tasks.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void(bool)>> m_tasks;
};

// Records timer events with their times.
class TimerRecorder : public Subscriber<ITimer::TimerEvent> {
public:
    void onTimerEvent(int id) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ids.push_back(id);
        m_times.push_back(std::chrono::steady_clock::now());
        m_cv.notify_all();
    }
    // Waits up to `within` for the n-th event; its time, or nothing.
    bool wait_for(std::size_t n, std::chrono::milliseconds within, std::chrono::steady_clock::time_point* at = nullptr)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_cv.wait_for(lock, within, [&] { return m_ids.size() >= n; }))
            return false;
        if (at)
            *at = m_times[n - 1];
        return true;
    }
    std::size_t count()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ids.size();
    }
    int id(std::size_t i)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ids.at(i);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<int> m_ids;
    std::vector<std::chrono::steady_clock::time_point> m_times;
};

inline std::shared_ptr<DeviceRequest> device_request(const std::shared_ptr<FakeRequestHost>& host,
                                                     std::vector<Byte> command, std::vector<unsigned> positions = {})
{
    return std::make_shared<DeviceRequest>(host, std::move(command), 0, std::move(positions));
}

} // namespace devio::test
