#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

namespace devio {

// One process-wide scale for the system's long waits (reply time-outs, back-offs, retry
// timers, quarantine periods). 1/1 by default; tests shrink it to keep the suite fast.
class Timing {
public:
    static void setScale(std::uint32_t num, std::uint32_t den)
    {
        if (den == 0)
            den = 1;
        s_num.store(num, std::memory_order_relaxed);
        s_den.store(den, std::memory_order_relaxed);
    }
    static void reset() { setScale(1, 1); }

    // ms scaled; a non-zero wait never becomes 0 so ordering between waits is kept.
    static std::uint32_t scaled(std::uint64_t ms)
    {
        const std::uint64_t num = s_num.load(std::memory_order_relaxed);
        const std::uint64_t den = s_den.load(std::memory_order_relaxed);
        std::uint64_t v = ms * num / den;
        if (v == 0 && ms != 0 && num != 0)
            v = 1;
        return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
    }
    static std::chrono::milliseconds scaledDuration(std::uint64_t ms)
    {
        return std::chrono::milliseconds(scaled(ms));
    }

private:
    static inline std::atomic<std::uint32_t> s_num{1};
    static inline std::atomic<std::uint32_t> s_den{1};
};

} // namespace devio
