// A device behind a receiver that drops its link right after a reply: the reply must leave
// first, however late the writing thread runs, or the receiver (already unlinked) loses it.
#include "devices/SimOta.h"
#include "devices/SimProtocolDevice.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

using namespace platform::sim;
using namespace std::chrono_literals;

namespace {

// What the device sends, in order: 'r' a report, 'L' leaving, 'A' arriving.
class Trace {
public:
    explicit Trace(SimProtocolDevice& device) : m_device(device)
    {
        device.set_sink([this](const Bytes&) { add('r'); });
        device.set_presence_handler([this](bool present) { add(present ? 'A' : 'L'); });
    }
    ~Trace()
    {
        m_device.set_sink(nullptr);
        m_device.set_presence_handler(nullptr);
    }
    // The trace once it has `n` entries; shorter on the deadline.
    std::string wait(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, 5s, [&] { return m_log.size() >= n; });
        return m_log;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.clear();
    }

private:
    void add(char c)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.push_back(c);
        m_changed.notify_all();
    }

    SimProtocolDevice& m_device;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_log;
};

// Into the bootloader by 0x00C0 and out again by command 4, many times on several devices at
// once, so some writing thread is held up between handling a request and queueing its reply.
TEST(OverTheAirStress, TheReplyLeavesBeforeTheLinkDrops)
{
    constexpr int kDevices = 6;
    constexpr int kCycles = 150;
    std::vector<std::string> failures(kDevices);
    std::vector<std::thread> threads;
    for (int d = 0; d < kDevices; ++d) {
        threads.emplace_back([&failures, d] {
            SimProtocolConfig config = sim_keyboard_config();
            config.features.back() = {0x00C0, 0, 0};
            SimProtocolDevice device(config);
            device.ota().set_enabled(true);
            device.ota().set_relink_delay(0ms);
            Trace trace(device);
            Bytes leave{0x11, 0x01, 0x82, 0xE2, 4};
            leave.resize(20, 0xFF);
            for (int i = 0; i < kCycles && failures[d].empty(); ++i) {
                trace.clear();
                if (!device.write({0x11, 0x01, 0x07, 0x02, 'D', 'F', 'U'}))
                    failures[d] = "switch not taken";
                else if (const std::string t = trace.wait(2); t != "rL")
                    failures[d] = "switch: " + t;
                device.ota().route(true);
                if (const std::string t = trace.wait(3); failures[d].empty() && t != "rLA")
                    failures[d] = "route: " + t;
                if (failures[d].empty() && !device.write(leave))
                    failures[d] = "command 4 not taken";
                else if (const std::string t = trace.wait(6); failures[d].empty() && t != "rLArLA")
                    failures[d] = "command 4: " + t;
                if (!failures[d].empty())
                    failures[d] += " in cycle " + std::to_string(i);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    for (int d = 0; d < kDevices; ++d)
        EXPECT_EQ(failures[d], "") << "device " << d;
}

}  // namespace
