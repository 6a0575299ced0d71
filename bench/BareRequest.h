#pragma once
// The bare baseline of the request benchmarks: one command written to the simulated device and
// its reply awaited on a condition, with nothing of the framework in between.
#include "devices/SimProtocolDevice.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>

namespace bench {

inline double process_cpu_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline void bare_request(benchmark::State& state)
{
    using platform::sim::Bytes;
    platform::sim::SimProtocolDevice model(platform::sim::sim_keyboard_config());
    std::mutex mutex;
    std::condition_variable condition;
    std::uint64_t replies = 0;
    model.set_sink([&](const Bytes&) {
        std::lock_guard<std::mutex> lock(mutex);
        ++replies;
        condition.notify_all();
    });
    const Bytes command = {0x10, 0xFF, 0x05, 0x01};
    const double cpu0 = process_cpu_seconds();
    for (auto _ : state) {
        std::unique_lock<std::mutex> lock(mutex);
        const std::uint64_t target = replies + 1;
        lock.unlock();
        model.write(command);
        lock.lock();
        condition.wait(lock, [&] { return replies >= target; });
    }
    state.counters["process_cpu_us"] =
        benchmark::Counter((process_cpu_seconds() - cpu0) * 1e6 / static_cast<double>(state.iterations()));
    model.set_sink(nullptr);
}

} // namespace bench
