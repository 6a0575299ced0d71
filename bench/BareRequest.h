#pragma once
// The bare baseline of the request benchmarks: one command written to the simulated device and
// its reply awaited on a condition, with nothing of the framework in between.
#include "BenchSupport.h"
#include "devices/SimProtocolDevice.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace bench {

// Writes one command at a time to the simulated device and waits on a condition for its reply.
class RoundTrip {
public:
    explicit RoundTrip(platform::sim::SimProtocolDevice& model) : m_model(model)
    {
        m_model.set_sink([this](const platform::sim::Bytes& reply) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_replies;
            if (m_keep)
                m_reply = reply;
            m_condition.notify_all();
        });
    }
    ~RoundTrip() { m_model.set_sink(nullptr); }
    RoundTrip(const RoundTrip&) = delete;
    RoundTrip& operator=(const RoundTrip&) = delete;

    // False when no reply came within five seconds. With `reply`, the reply is copied there.
    bool operator()(const platform::sim::Bytes& command, platform::sim::Bytes* reply = nullptr)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const std::uint64_t target = m_replies + 1;
        m_keep = reply != nullptr;
        lock.unlock();
        m_model.write(command);
        lock.lock();
        if (!m_condition.wait_for(lock, std::chrono::seconds(5), [&] { return m_replies >= target; }))
            return false;
        if (reply)
            *reply = m_reply;
        return true;
    }

private:
    platform::sim::SimProtocolDevice& m_model;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::uint64_t m_replies = 0;
    bool m_keep = false;
    platform::sim::Bytes m_reply;
};

inline void bare_request(benchmark::State& state)
{
    platform::sim::SimProtocolDevice model(platform::sim::sim_keyboard_config());
    RoundTrip round_trip(model);
    const platform::sim::Bytes command = {0x10, 0xFF, 0x05, 0x01};
    platform::sim::Bytes reply;
    CpuMeter cpu;
    for (auto _ : state) {
        if (failed())
            continue;
        if (!round_trip(command, &reply))
            fail("no reply within 5 s");
        // An error report (0xFF at byte 2) answers too, but is not the request's reply.
        else if (reply.size() < 7 || reply[2] != command[2])
            fail("the device refused the request");
    }
    cpu.report(state);
}

} // namespace bench
