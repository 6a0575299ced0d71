#pragma once
// The bare baseline of the request benchmarks: one command written to the simulated device and
// its reply awaited on a condition, with nothing of the framework in between.
#include "BenchSupport.h"
#include "devices/SimProtocolDevice.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace bench {

// Writes one command at a time to the simulated device and waits on a condition for its reply.
class RoundTrip {
public:
    explicit RoundTrip(platform::sim::SimProtocolDevice& model) : m_model(model)
    {
        m_model.set_sink([this](const platform::sim::Bytes&) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_replies;
            m_condition.notify_all();
        });
    }
    ~RoundTrip() { m_model.set_sink(nullptr); }
    RoundTrip(const RoundTrip&) = delete;
    RoundTrip& operator=(const RoundTrip&) = delete;

    void operator()(const platform::sim::Bytes& command)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const std::uint64_t target = m_replies + 1;
        lock.unlock();
        m_model.write(command);
        lock.lock();
        m_condition.wait(lock, [&] { return m_replies >= target; });
    }

private:
    platform::sim::SimProtocolDevice& m_model;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::uint64_t m_replies = 0;
};

inline void bare_request(benchmark::State& state)
{
    platform::sim::SimProtocolDevice model(platform::sim::sim_keyboard_config());
    RoundTrip round_trip(model);
    const platform::sim::Bytes command = {0x10, 0xFF, 0x05, 0x01};
    const double cpu0 = process_cpu_seconds();
    for (auto _ : state)
        round_trip(command);
    state.counters["process_cpu_us"] =
        benchmark::Counter((process_cpu_seconds() - cpu0) * 1e6 / static_cast<double>(state.iterations()));
}

} // namespace bench
