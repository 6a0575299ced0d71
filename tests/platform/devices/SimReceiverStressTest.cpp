// Many hosts at once on one receiver, and receivers that go while their late steps are pending.
#include "platform/devices/HidPort.h"
#include "devices/SimHidReceiver.h"

#include <sim/DeviceTree.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace platform::sim;
using namespace std::chrono_literals;
using simtest::HidPort;

namespace {

class ReceiverStress : public ::testing::Test {
protected:
    void SetUp() override { remove_all_dev_nodes(); }
    void TearDown() override { remove_all_dev_nodes(); }
};

TEST_F(ReceiverStress, EveryHostSeesItsOwnRepliesThroughTheLatency)
{
    SimHidReceiver rx(0xC520, 0x0A0B0C0D);
    rx.pair(1, sim_keyboard_config());
    rx.receiver().set_latency(500us);
    rx.plug();
    constexpr int kHosts = 4;
    constexpr int kRounds = 40;
    std::atomic<int> answered{0};
    std::vector<std::thread> hosts;
    for (int h = 0; h < kHosts; ++h) {
        hosts.emplace_back([&, h] {
            HidPort port(rx.hid().short_collection());
            for (int i = 0; i < kRounds; ++i) {
                // Each host asks for its own parameter; every host also sees the others' replies.
                const std::uint8_t parameter = static_cast<std::uint8_t>(1 + (h + i) % 4);
                if (!port.write({0x10, 0xFF, 0x81, 0xF1, parameter, 0, 0}))
                    continue;
                const Bytes r = port.read_until([&](const Bytes& x) { return x[2] == 0x81 && x[4] == parameter; });
                if (r.size() == 7)
                    ++answered;
            }
        });
    }
    for (auto& t : hosts)
        t.join();
    EXPECT_EQ(answered.load(), kHosts * kRounds);
}

TEST_F(ReceiverStress, AReceiverGoesWhileItsStepsArePending)
{
    // Replies held back, a switch into the bootloader under way, routed devices relinking: the
    // receiver is destroyed in each of these moments and nothing runs after it.
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        auto rx = std::make_unique<SimHidReceiver>(0xC510, 0x01020304);
        SimProtocolConfig config = sim_keyboard_config();
        config.features.back() = {0x00C0, 0, 0};
        rx->pair(1, config);
        rx->set_switch_delays(std::chrono::milliseconds(round % 3), std::chrono::milliseconds(round % 2));
        rx->receiver().set_latency(std::chrono::microseconds(100 * (round % 4)));
        rx->plug();
        {
            HidPort port(rx->hid().short_collection());
            HidPort longPort(rx->hid().long_collection());
            port.write({0x10, 0xFF, 0x80, 0x00, 0, 0x01, 0});
            longPort.write({0x11, 0x01, 0x07, 0x02, 'D', 'F', 'U'});
            port.write({0x10, 0xFF, 0x80, 0xF0, 'L', 'T', 1});
            port.write({0x10, 0xFF, 0x81, 0xF1, 1, 0, 0});
            if (round % 2)
                port.write({0x10, 0xFF, 0x80, 0xF0, 'I', 'C', 'P'});
            if (round % 10 == 5)
                rx->wait_for_mode(true, 2s);
        }
        rx.reset();
    }
    SUCCEED();
}

}  // namespace
