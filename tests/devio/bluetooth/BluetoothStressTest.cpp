// Races of the Bluetooth transports: the radio flapping under enumerate, advertisement floods
// while active scanning is switched, and enumerate/refresh against radio arrivals and removals.
#include "../Windows/ManagerTestSupport.h"

#include "bluetooth/BluetoothMakers.h"
#include "bluetooth/WinRTBluetoothBus.h"
#include "core/CDevio.h"
#include "core/Timing.h"
#include "devices/SimBluetoothDevice.h"
#include "Windows/Win32Bus.h"

#include <sim/Bluetooth.h>
#include <sim/Kernel.h>
#include <sim/WinRT.h>
#include <sim/WinRTBluetooth.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace devio::test {
namespace {

using platform::sim::DevInst;

class BluetoothStress : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::sim::reset_machine();
        platform::sim::remove_all_dev_nodes();
        Timing::setScale(1, 50);
        Win32Bus::setBluetoothMakers(bluetooth_bus_makers());
        manager->set_run_loop(manager);
        host = std::make_unique<LoopHost>(manager);
        radio = platform::sim::add_radio("a");
    }
    void TearDown() override
    {
        bus.reset();
        win32.reset();
        devices.clear();
        host.reset();
        platform::sim::remove_all_dev_nodes();
        platform::sim::wait_runtime_events(10000);
        Timing::reset();
    }
    platform::sim::SimBluetoothDevice& add(std::uint64_t address, bool lowEnergy = true)
    {
        platform::sim::SimBluetoothConfig config;
        config.address = address;
        config.lowEnergy = lowEnergy;
        config.serial = "SN" + std::to_string(address);
        auto protocol = platform::sim::sim_mouse_config();
        protocol.product_id = 0xB010;
        devices.push_back(std::make_unique<platform::sim::SimBluetoothDevice>(protocol, config));
        devices.back()->pair(radio);
        devices.back()->connect(radio);
        return *devices.back();
    }
    std::shared_ptr<WinRTBluetoothBus> winrt_bus()
    {
        manager->setConfig(ConfigBluetoothLE, true);
        manager->setConfig(ConfigWinRTBluetooth, true);
        win32 = Win32Bus::create(manager);
        bus = std::dynamic_pointer_cast<WinRTBluetoothBus>(win32->getSecondaryBuses().at(0));
        return bus;
    }

    struct Plugs : Subscriber<IHardwareBus::PlugUnplug> {
        std::atomic<int> plugs{0}, unplugs{0};
        void onPlug(std::shared_ptr<IHardwareDevice>) override { ++plugs; }
        void onUnplug(std::shared_ptr<IHardwareDevice>) override { ++unplugs; }
    };

    std::shared_ptr<DeviceManager> manager = std::make_shared<DeviceManager>(nullptr);
    std::unique_ptr<LoopHost> host;
    DevInst radio = 0;
    std::vector<std::unique_ptr<platform::sim::SimBluetoothDevice>> devices;
    std::shared_ptr<Win32Bus> win32;
    std::shared_ptr<WinRTBluetoothBus> bus;
};

TEST_F(BluetoothStress, RadioFlappingNeverHoldsEnumerate)
{
    add(0x100000000001);
    add(0x100000000002);
    winrt_bus();
    Plugs plugs;
    ASSERT_TRUE(plugs.Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, 1, ""));
    std::atomic<bool> done{false};
    std::thread flapper([&] {
        for (int i = 0; i < 40; ++i)
            platform::sim::set_radio_on(radio, i % 2 == 1);
        platform::sim::set_radio_on(radio, true);
        done = true;
    });
    int rounds = 0;
    while (!done || rounds < 5) {
        bus->enumerate();
        ++rounds;
    }
    flapper.join();
    ASSERT_TRUE(platform::sim::wait_runtime_events(10000));
    EXPECT_EQ(bus->enumerate().size(), 2u);
    EXPECT_EQ(plugs.unplugs.load(), 0);  // radio off leaves devices announced
}

TEST_F(BluetoothStress, AdvertisementFloodsWhileActiveScanningToggles)
{
    auto& sim = add(0x200000000001);
    platform::sim::runtime_remove_device(sim.address());
    winrt_bus();
    Plugs plugs;
    ASSERT_TRUE(plugs.Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, 1, ""));
    platform::sim::RuntimeDevice known;
    known.address = sim.address();
    known.name = "Sim Mouse";
    known.paired = false;
    known.connected = true;
    known.gatt = sim.gatt();
    platform::sim::runtime_set_device(known);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        while (!stop)
            sim.advertise(true, true);
    });
    for (int i = 0; i < 60; ++i)
        bus->onConfigChanged(ConfigDetection, i % 2 == 0);
    stop = true;
    flood.join();
    ASSERT_TRUE(platform::sim::wait_runtime_events(10000));
    // However often it was seen, the device was announced once.
    EXPECT_LE(plugs.plugs.load(), 1);
    EXPECT_EQ(plugs.unplugs.load(), 0);
}

TEST_F(BluetoothStress, EnumerateAndRefreshRaceRadioEvents)
{
    CDevio& facade = CDevio::instance();
    for (int i = 0; i <= 4; ++i)
        facade.setConfig(ConfigItem(i), false);
    ASSERT_TRUE(facade.setConfig(ConfigClassicBluetooth, true));
    auto facadeManager = facade.get_or_create_manager();
    LoopHost facadeHost(facadeManager);
    Changes changes;
    ASSERT_TRUE(
        changes.subscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(facadeManager), 0, ""));
    add(0x300000000001, false);
    std::atomic<bool> stop{false};
    std::thread radios([&] {
        for (int i = 0; i < 15; ++i) {
            const DevInst extra = platform::sim::add_radio("x" + std::to_string(i));
            platform::sim::unplug(extra);
        }
        stop = true;
    });
    // On the host thread, the only one that touches the manager's devices; the radios come and
    // go meanwhile on the window thread of the buses.
    bool ran = true;
    while (!stop && ran)
        ran = facadeHost.run_on([&facade] { facade.getDevices(); });
    radios.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(facadeHost.run_on([] {}));
    EXPECT_TRUE(changes.wait_for(Changes::key("+", TransportClassicBluetooth, 0xB010)));
    changes.unsubscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(facadeManager));
    changes.clear();
    facadeHost.stop();
    facadeManager.reset();
    facade.close();
}

} // namespace
} // namespace devio::test
