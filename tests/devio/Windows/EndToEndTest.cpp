// A simulated keyboard on USB and one behind a simulated receiver reach the application's
// facade (the real platform bus, combiner, receiver bus and devices) and answer a feature
// request; unplugging them reaches it as removals.
#include "core/CDevio.h"
#include "core/Subscriber.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "devices/SimHidDevice.h"
#include "devices/SimHidReceiver.h"
#include "quillon/ProductIds.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace devio {
namespace {

using namespace std::chrono_literals;

// The run-loop host of the application: drains the facade's queue whenever work is posted.
class Host : public Subscriber<IRunLoopManager::RunLoopEvent> {
public:
    void onRunLoopEvent() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = true;
        m_condition.notify_all();
    }
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            m_condition.wait(lock, [&] { return m_stop || m_pending; });
            m_pending = false;
            lock.unlock();
            CDevio::instance().process();
            lock.lock();
        }
    }
    void stop()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_condition.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_pending = false;
    bool m_stop = false;
};

// Arrivals and removals as the application sees them, by transport and product id.
class Arrivals : public Subscriber<IDeviceManager::ArrivalRemoval> {
public:
    void onDeviceArrival(std::shared_ptr<IDevice> device) override { add(device, true); }
    void onDeviceRemoval(std::shared_ptr<IDevice> device) override { add(device, false); }

    std::shared_ptr<IDevice> wait_for(bool arrival, std::uint32_t transport, std::uint16_t productId)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        std::shared_ptr<IDevice> found;
        m_condition.wait_for(lock, 20s, [&] {
            for (const auto& d : m_seen)
                if (d.arrival == arrival && d.transport == transport && d.productId == productId)
                    found = d.device;
            return found != nullptr;
        });
        return found;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.clear();
    }

private:
    struct Seen {
        std::shared_ptr<IDevice> device;
        bool arrival;
        std::uint32_t transport;
        std::uint16_t productId;
    };
    void add(const std::shared_ptr<IDevice>& device, bool arrival)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.push_back({device, arrival, device->getTransport(), static_cast<std::uint16_t>(device->getProductId())});
        m_condition.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<Seen> m_seen;
};

TEST(EndToEnd, KeyboardsOnUsbAndBehindAReceiverReachTheFacadeAndAnswerFeatureRequests)
{
    platform::sim::reset_machine();
    Timing::setScale(1, 20);
    const auto usbIds = quillon::ids::kKeyboardA;
    const auto pairedIds = quillon::ids::kKeyboardB;

    auto config = platform::sim::sim_keyboard_config();
    config.product_id = usbIds.productId;
    platform::sim::SimHidProtocolDevice usbKeyboard(config);
    platform::sim::SimHidReceiver receiver(quillon::ids::kMiraReceiver[0], 0x1A2B3C4D);
    auto paired = platform::sim::sim_keyboard_config();
    paired.product_id = pairedIds.productId;
    paired.name = "Paired Board";
    ASSERT_NE(receiver.pair(1, paired), nullptr);

    CDevio& facade = CDevio::instance();
    ASSERT_TRUE(facade.setConfig(ConfigReceivers, true));
    ASSERT_TRUE(facade.setConfig(ConfigUsbHid, true));
    auto manager = facade.get_or_create_manager();
    ASSERT_TRUE(manager);
    Host host;
    ASSERT_TRUE(host.subscribe(std::static_pointer_cast<Producer<IRunLoopManager::RunLoopEvent>>(manager), 1, ""));
    std::thread hostThread([&] { host.run(); });
    Arrivals arrivals;
    // The first subscriber starts the buses; the devices arrive after it.
    ASSERT_TRUE(arrivals.subscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager), 0, ""));
    usbKeyboard.plug();
    receiver.plug();

    auto onUsb = arrivals.wait_for(true, TransportUsbHid, usbIds.productId);
    auto behind = arrivals.wait_for(true, TransportReceiver, pairedIds.productId);
    EXPECT_TRUE(onUsb);
    EXPECT_TRUE(behind);
    if (onUsb) {
        EXPECT_GT(onUsb->getFeatureCountSync(), 0u);
    }
    if (behind) {
        EXPECT_GT(behind->getFeatureCountSync(), 0u);
        EXPECT_EQ(behind->getDeviceIndex(), 1u);
        EXPECT_EQ(behind->getName(), "Paired Board");
    }

    // Unplugged, each reaches the application as a removal.
    usbKeyboard.unplug();
    receiver.unpair(1);
    EXPECT_TRUE(arrivals.wait_for(false, TransportUsbHid, usbIds.productId));
    EXPECT_TRUE(arrivals.wait_for(false, TransportReceiver, pairedIds.productId));

    arrivals.unsubscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager));
    arrivals.clear();
    onUsb.reset();
    behind.reset();
    host.stop();
    hostThread.join();
    host.unsubscribe(std::static_pointer_cast<Producer<IRunLoopManager::RunLoopEvent>>(manager));
    manager.reset();
    facade.close();
    platform::sim::remove_all_dev_nodes();
    Timing::reset();
}

} // namespace
} // namespace devio
