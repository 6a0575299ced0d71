#pragma once
// A watchdog for calls that might hang: the call runs on a thread of its own, and one that has
// not ended by the deadline aborts the program with a message (a hang fails a suite at once
// instead of stalling it until the test runner's timeout).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

namespace quillon::test {

constexpr std::chrono::seconds kWatchdogDeadline{20};

template <class F>
auto within(F work, const char* what = "a call", std::chrono::milliseconds deadline = kWatchdogDeadline)
    -> decltype(work())
{
    auto task = std::make_shared<std::packaged_task<decltype(work())()>>(std::move(work));
    auto future = task->get_future();
    std::thread thread([task] { (*task)(); });
    if (future.wait_for(deadline) != std::future_status::ready) {
        std::fprintf(stderr, "watchdog: %s did not end within %lld ms\n", what,
                     static_cast<long long>(deadline.count()));
        std::abort();
    }
    thread.join();
    return future.get();
}

} // namespace quillon::test
