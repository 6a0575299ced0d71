// A simulated keyboard on USB and one behind a simulated receiver reach the device manager
// through the platform bus, the combiner and the receiver bus, and answer a feature request.
#include "Windows/RavelinBus.h"
#include "Windows/Win32Bus.h"
#include "core/DeviceManager.h"
#include "core/IDeviceFactory.h"
#include "core/Subscriber.h"
#include "core/Timing.h"
#include "device/CombinerBus.h"
#include "device/Device.h"
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

// The makers the application's facade uses, over the simulated machine.
class Factory : public IDeviceFactory {
public:
    std::shared_ptr<IHardwareBus> make_platform_bus(std::shared_ptr<IDeviceManager> manager) override
    {
        return devio::make_platform_bus(std::move(manager));
    }
    std::shared_ptr<IHardwareBus> make_combiner_bus(std::shared_ptr<IDeviceManager> manager,
                                                    std::shared_ptr<IHardwareBus> child) override
    {
        return CombinerBus::create(std::move(manager), std::move(child));
    }
    std::shared_ptr<IHardwareBus> make_pairing_bus(std::shared_ptr<IDeviceManager>,
                                                   std::shared_ptr<IHardwareBus> child) override
    {
        return child;  // the stand-in has no Bluetooth buses
    }
    std::shared_ptr<IDevice> make_device(std::shared_ptr<IDeviceManager> manager,
                                         std::shared_ptr<IHardwareDevice> hardware,
                                         std::shared_ptr<Configuration> configuration,
                                         const std::string& cacheDirectory) override
    {
        give_run_loop(hardware, manager);
        auto device = Device::create(manager, hardware, std::move(configuration));
        device->initDevice(manager);
        device->set_cache_directory(cacheDirectory);
        return device;
    }
    std::shared_ptr<IDevice> make_receiver(std::shared_ptr<IDeviceManager> manager,
                                           std::shared_ptr<IHardwareDevice> hardware, std::uint32_t slotCount,
                                           std::shared_ptr<Configuration> configuration) override
    {
        give_run_loop(hardware, manager);
        auto receiver = RavelinBus::create(manager, hardware, slotCount, std::move(configuration));
        receiver->initDevice(manager);
        return receiver;
    }
    std::shared_ptr<IHardwareBus> as_bus(const std::shared_ptr<IDevice>& device) override
    {
        return std::dynamic_pointer_cast<IHardwareBus>(device);
    }
    void set_cache_directory(const std::shared_ptr<IDevice>& device, const std::string& directory) override
    {
        if (auto d = std::dynamic_pointer_cast<Device>(device))
            d->set_cache_directory(directory);
    }
    void release_configuration(const std::shared_ptr<IDevice>& device) override { device->release_configuration(); }
    void replay_connect(const std::shared_ptr<IDevice>& device) override { device->replay_connect(); }

private:
    // A combined device made by the combiner knows no run loop of its own yet.
    static void give_run_loop(const std::shared_ptr<IHardwareDevice>& hardware,
                              const std::shared_ptr<IDeviceManager>& manager)
    {
        if (auto access = std::dynamic_pointer_cast<IRunLoopAccess>(hardware))
            if (!access->lock_run_loop())
                access->set_run_loop(std::weak_ptr<IRunLoopManager>(manager));
    }
};

// The run-loop host: drains the manager's queue whenever work is posted.
class Host : public Subscriber<IRunLoopManager::RunLoopEvent> {
public:
    explicit Host(std::shared_ptr<DeviceManager> manager) : m_manager(std::move(manager)) {}
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
            m_manager->process();
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
    std::shared_ptr<DeviceManager> m_manager;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_pending = false;
    bool m_stop = false;
};

class Arrivals : public Subscriber<IDeviceManager::ArrivalRemoval> {
public:
    void onDeviceArrival(std::shared_ptr<IDevice> device) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_devices.push_back({device, device->getTransport(), device->getProductId()});
        m_condition.notify_all();
    }
    std::shared_ptr<IDevice> wait_for(std::uint32_t transport, std::uint16_t productId)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        std::shared_ptr<IDevice> found;
        m_condition.wait_for(lock, 20s, [&] {
            for (const auto& d : m_devices)
                if (d.transport == transport && d.productId == productId)
                    found = d.device;
            return found != nullptr;
        });
        return found;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_devices.clear();
    }

private:
    struct Seen {
        std::shared_ptr<IDevice> device;
        std::uint32_t transport;
        std::uint16_t productId;
    };
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<Seen> m_devices;
};

TEST(EndToEnd, KeyboardsOnUsbAndBehindAReceiverAnswerFeatureRequests)
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

    auto manager = std::make_shared<DeviceManager>(std::make_shared<Factory>());
    manager->set_run_loop(std::weak_ptr<IRunLoopManager>(manager));
    ASSERT_TRUE(manager->setConfig(ConfigReceivers, true));
    ASSERT_TRUE(manager->setConfig(ConfigUsbHid, true));
    Host host(manager);
    ASSERT_TRUE(host.subscribe(std::static_pointer_cast<Producer<IRunLoopManager::RunLoopEvent>>(manager), 1, ""));
    std::thread hostThread([&] { host.run(); });
    Arrivals arrivals;
    // The first subscriber starts the buses; the devices arrive after it.
    ASSERT_TRUE(arrivals.subscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager), 0, ""));
    usbKeyboard.plug();
    receiver.plug();

    auto onUsb = arrivals.wait_for(TransportUsbHid, usbIds.productId);
    auto behind = arrivals.wait_for(TransportReceiver, pairedIds.productId);
    EXPECT_TRUE(onUsb);
    EXPECT_TRUE(behind);
    if (onUsb)
        EXPECT_GT(onUsb->getFeatureCountSync(), 0u);
    if (behind) {
        EXPECT_GT(behind->getFeatureCountSync(), 0u);
        EXPECT_EQ(behind->getDeviceIndex(), 1u);
        EXPECT_EQ(behind->getName(), "Paired Board");
    }

    arrivals.clear();
    arrivals.unsubscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager));
    onUsb.reset();
    behind.reset();
    host.stop();
    hostThread.join();
    host.unsubscribe(std::static_pointer_cast<Producer<IRunLoopManager::RunLoopEvent>>(manager));
    for (const auto& device : manager->getDevices())
        device->close();
    manager.reset();
    platform::sim::remove_all_dev_nodes();
    Timing::reset();
}

} // namespace
} // namespace devio
