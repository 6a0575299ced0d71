// Settings features against a real devio::Device and the simulated device: queued LED writes
// replaced while the device is busy, and firmware properties reloaded while the device
// notifies their values.
#include "devio/device/DeviceTestSupport.h"
#include "support/Within.h"

#include "core/Request.h"
#include "features/IFeature1300LEDControl.h"
#include "features/IFeature1F1FFirmwareProperties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <thread>

using namespace devio;
using namespace devio::test;
using quillon::test::within;
using platform::sim::Bytes;

namespace {

// Two asynchronous state writes for LED 3 queued behind a request the device has not answered
// yet: the first value is never sent; a write for LED 4 between them is.
TEST(LedControlOnDevice, AQueuedWriteForTheSameLedIsReplaced)
{
    Rig rig(keyboard_with({0x1300}));
    auto leds = std::dynamic_pointer_cast<IFeature1300LEDControl>(rig.device->getFeatureSync(0x1300));
    ASSERT_TRUE(leds);
    rig.model->set_latency(std::chrono::milliseconds(200));
    const auto before = rig.model->write_count();
    std::thread busy([&] {
        std::uint32_t count = 0;
        EXPECT_TRUE(leds->GetLedCount(count));
    });
    ASSERT_TRUE(rig.model->wait_for_writes(before + 1, std::chrono::seconds(10)));
    ASSERT_TRUE(leds->SetLedState(3, 0x1111, 0, 0, 0, true));
    ASSERT_TRUE(leds->SetLedState(4, 0x2222, 0, 0, 0, true));
    auto last = leds->SetLedStateAsync(3, 0x3333, 0, 0, 0);
    ASSERT_TRUE(last);
    EXPECT_TRUE(within([last] { return last->wait(); }, "the last LED write"));
    busy.join();

    std::vector<Bytes> stateWrites;
    for (const auto& w : rig.model->written())
        if (w.size() > 5 && (w[3] >> 4) == 5)
            stateWrites.push_back(Bytes(w.begin() + 4, w.begin() + 7));
    // The earlier value for LED 3 never reaches the device (the queue lets the newer one take
    // its place); the write for LED 4 goes out, and LED 3 ends with the newer value.
    EXPECT_EQ(std::count(stateWrites.begin(), stateWrites.end(), Bytes{3, 0x11, 0x11}), 0);
    EXPECT_EQ(std::count(stateWrites.begin(), stateWrites.end(), Bytes{4, 0x22, 0x22}), 1);
    ASSERT_FALSE(stateWrites.empty());
    EXPECT_EQ(stateWrites.back(), (Bytes{3, 0x33, 0x33}));
}

// LoadProperties replaces the list on the caller's thread while the report thread walks it for
// the device's notifications: neither blocks the other, and every property stays usable.
TEST(FirmwarePropertiesOnDevice, NotificationsWhileLoading)
{
    Rig rig(keyboard_with({0x1F1F}));
    auto props = std::dynamic_pointer_cast<IFeature1F1FFirmwareProperties>(rig.device->getFeatureSync(0x1F1F));
    ASSERT_TRUE(props);
    // A burst of notifications per load, so replies never queue behind an endless flood.
    std::mutex mutex;
    std::condition_variable condition;
    int rounds = 0;
    bool done = false;
    std::thread loader([&] {
        for (int round = 0; round < 20; ++round) {
            EXPECT_TRUE(props->LoadProperties());
            std::lock_guard<std::mutex> lock(mutex);
            ++rounds;
            condition.notify_all();
        }
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        condition.notify_all();
    });
    within(
        [&] {
            int seen = -1;
            for (;;) {
                for (int k = 0; k < 10; ++k)
                    rig.model->notify(0x1F1F, 0, {0, 4, 5, 0, 0, 0, 1, 4, 0, 0, 0x80, 0x3F, 0xFF});
                std::unique_lock<std::mutex> lock(mutex);
                condition.wait(lock, [&] { return done || rounds != seen; });
                if (done)
                    return;
                seen = rounds;
            }
        },
        "notifications while loading");
    loader.join();
    ASSERT_EQ(props->GetPropertyCount(), 2u);
    const auto before = rig.model->write_count();
    // The report is zero-filled to 16 bytes: an end mark stops the walk before the zeros.
    rig.model->notify(0x1F1F, 0, {0, 4, 5, 0, 0, 0, 0xFF});
    EXPECT_TRUE(eventually([&] { return props->GetProperty(0)->GetIntValue() == 5; }));
    EXPECT_TRUE(within([&] { return props->GetProperty(0)->SetIntValue(6); }, "a write after the storm"));
    EXPECT_GT(rig.model->write_count(), before);
}

} // namespace
