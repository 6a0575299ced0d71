// Running the engine in a test: a thread that starts it and pumps messages, and a record of
// every event its callback delivered.
#pragma once

#include "QVApi.h"
#include "quillon/WideText.h"
#include "core/Timing.h"

#include <sim/Kernel.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace enginetest {

struct Event {
    std::uint64_t handle;
    std::uint32_t event;
    std::uint64_t value;
};

class EventLog {
public:
    static int callback(void* context, std::uint64_t handle, std::uint32_t event, std::uint64_t value)
    {
        static_cast<EventLog*>(context)->add({handle, event, value});
        return 0;
    }

    virtual ~EventLog() = default;

    virtual void add(const Event& e)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(e);
        m_changed.notify_all();
    }

    std::vector<Event> events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

    // Waits until the predicate holds over the events (generous deadline, no sleeping).
    bool wait(const std::function<bool(const std::vector<Event>&)>& predicate,
              std::chrono::milliseconds deadline = std::chrono::seconds(20)) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, deadline, [&] { return predicate(m_events); });
    }

    std::size_t count(std::uint32_t event, std::uint64_t handle = 0, bool anyHandle = true) const
    {
        std::size_t n = 0;
        for (const auto& e : events())
            if (e.event == event && (anyHandle || e.handle == handle))
                ++n;
        return n;
    }

    bool wait_count(std::uint32_t event, std::size_t n, std::chrono::milliseconds deadline = std::chrono::seconds(20)) const
    {
        return wait(
            [&](const std::vector<Event>& all) {
                std::size_t k = 0;
                for (const auto& e : all)
                    k += e.event == event ? 1 : 0;
                return k >= n;
            },
            deadline);
    }

    // Waits for an event of that code for the handle with that value.
    bool wait_for(std::uint32_t event, std::uint64_t handle, std::uint64_t value,
                  std::chrono::milliseconds deadline = std::chrono::seconds(20)) const
    {
        return wait(
            [&](const std::vector<Event>& all) {
                for (const auto& e : all)
                    if (e.event == event && e.handle == handle && e.value == value)
                        return true;
                return false;
            },
            deadline);
    }

    // The values of that event for the handle, in order.
    std::vector<std::uint64_t> values(std::uint32_t event, std::uint64_t handle) const
    {
        std::vector<std::uint64_t> out;
        for (const auto& e : events())
            if (e.event == event && e.handle == handle)
                out.push_back(e.value);
        return out;
    }

    // The final status of the update of `handle`: the first status change after an "in progress"
    // one (0 on the deadline).
    int final_dfu_status(std::uint64_t handle) const
    {
        int status = 0;
        wait([&](const std::vector<Event>& all) {
            bool running = false;
            for (const auto& e : all) {
                if (e.handle != handle || e.event != QV_EVENT_DFU_STATUS_CHANGED)
                    continue;
                if (e.value == QV_DFU_IN_PROGRESS_STATUS)
                    running = true;
                else if (running)
                    status = static_cast<int>(e.value);
            }
            return status != 0;
        });
        return status;
    }

    std::vector<std::uint64_t> arrivals() const
    {
        std::vector<std::uint64_t> out;
        for (const auto& e : events())
            if (e.event == QV_EVENT_DEVICE_ARRIVAL)
                out.push_back(e.handle);
        return out;
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Event> m_events;
};

// Starts the engine on a thread of its own that pumps messages, as the application does, and
// shuts it down there.
class EngineHost {
public:
    explicit EngineHost(EventLog& log) : m_log(log)
    {
        std::mutex m;
        std::condition_variable cv;
        bool ready = false;
        m_thread = std::thread([&] {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
            const int r = QV_Init(&EventLog::callback, &m_log);
            {
                // Notified under the lock: the waiter's condition variable goes once it returns.
                std::lock_guard<std::mutex> lock(m);
                m_threadId = GetCurrentThreadId();
                m_initResult = r;
                ready = true;
                cv.notify_all();
            }
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            QV_Shutdown();
        });
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return ready; });
    }

    ~EngineHost() { stop(); }

    void stop()
    {
        if (!m_thread.joinable())
            return;
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
    }

    int init_result() const { return m_initResult; }

private:
    EventLog& m_log;
    std::thread m_thread;
    DWORD m_threadId = 0;
    int m_initResult = -1;
};

inline QV_DEVICE_INFO info_of(std::uint64_t handle)
{
    QV_DEVICE_INFO info{};
    QV_GetDeviceInfo(static_cast<std::int64_t>(handle), &info);
    return info;
}

// The first device announced behind a receiver (DevType not 0), 0 when none came within 20 s.
// Completion waits for the devices a receiver reports, but no longer than the first enumeration's
// wait, which tests shorten: on a very loaded machine an announcement may still follow it.
inline std::uint64_t wait_paired_device(const EventLog& log)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        const std::size_t seen = log.events().size();
        for (std::uint64_t h : log.arrivals())
            if (info_of(h).DevType != 0)
                return h;
        if (std::chrono::steady_clock::now() >= deadline)
            return 0;
        log.wait([&](const std::vector<Event>& all) { return all.size() > seen; }, std::chrono::milliseconds(100));
    }
}

inline std::string text(const WCHAR* w)
{
    std::string out;
    for (; *w; ++w)
        out.push_back(static_cast<char>(*w));
    return out;
}

inline std::u16string wide(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

// A fresh machine and short engine waits for each test.
inline void fresh_machine(std::uint32_t den = 20)
{
    platform::sim::reset_machine();
    devio::Timing::setScale(1, den);
}

}  // namespace enginetest
