// Simulated Bluetooth keyboards reach the application's facade (the real buses and devices)
// through the Windows Runtime (items 1 and 3) or the Microsoft stack with a classic link
// (item 0), answer feature requests, and follow the radio, their range, the bootloader switch
// and a configuration change.
#include "../Windows/ManagerTestSupport.h"

#include "core/CDevio.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "devices/SimBluetoothDevice.h"
#include "quillon/ProductIds.h"

#include <sim/Bluetooth.h>
#include <sim/Kernel.h>
#include <sim/WinRT.h>
#include <sim/WinRTBluetooth.h>

#include <gtest/gtest.h>

namespace devio::test {
namespace {

using platform::sim::DevInst;
using platform::sim::SimBluetoothConfig;
using platform::sim::SimBluetoothDevice;

const std::vector<Byte> kRootPing = {0x10, 0xFF, 0x00, 0x1A, 0x00, 0x00, 0x5A};

bool answers(const std::shared_ptr<IDevice>& device)
{
    std::vector<Byte> reply;
    return device && device->execute(kRootPing, reply, 0, {}) && reply.size() >= 7 && reply[6] == 0x5A;
}

// A device whose link just came back answers once the run loop has handled the link's events
// (each attempt first lets the loop drain what is queued).
bool answers_again(LoopHost& host, const std::shared_ptr<IDevice>& device)
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (!host.run_on([] {}))
            return false;
        if (answers(device))
            return true;
    }
    return false;
}

class BluetoothEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::sim::reset_machine();
        platform::sim::remove_all_dev_nodes();
        Timing::setScale(1, 20);
        radio = platform::sim::add_radio("a");
    }
    void TearDown() override
    {
        if (manager)
            changes.unsubscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager));
        changes.clear();
        host.reset();
        manager.reset();
        CDevio::instance().close();
        devices.clear();
        platform::sim::remove_all_dev_nodes();
        platform::sim::wait_runtime_events(10000);
        Timing::reset();
    }
    void start(std::initializer_list<ConfigItem> items)
    {
        CDevio& facade = CDevio::instance();
        for (int i = 0; i <= 4; ++i)
            facade.setConfig(ConfigItem(i), false);
        ASSERT_TRUE(host_facade(items, manager, host, changes));
    }
    SimBluetoothDevice& add(bool lowEnergy, std::uint16_t pid, SimBluetoothConfig config = {})
    {
        config.lowEnergy = lowEnergy;
        auto protocol = platform::sim::sim_keyboard_config();
        protocol.product_id = pid;
        protocol.bootloader_product_id = pid;
        protocol.dfu_switch_delay = std::chrono::milliseconds(20);
        devices.push_back(std::make_unique<SimBluetoothDevice>(protocol, config));
        devices.back()->pair(radio);
        devices.back()->connect(radio);
        return *devices.back();
    }

    DevInst radio = 0;
    std::shared_ptr<DeviceManager> manager;
    std::unique_ptr<LoopHost> host;
    Changes changes;
    std::vector<std::unique_ptr<SimBluetoothDevice>> devices;
};

TEST_F(BluetoothEndToEnd, LowEnergyKeyboardThroughTheRuntime)
{
    const std::uint16_t pid = quillon::ids::kKeyboardA.bluetoothProductId;
    // The first subscriber starts the buses; the device arrives after it.
    start({ConfigBluetoothLE, ConfigWinRTBluetooth});
    auto& sim = add(true, pid);
    const std::string arrival = Changes::key("+", TransportBluetoothLE, pid);
    const std::string removal = Changes::key("-", TransportBluetoothLE, pid);
    auto device = changes.wait_for(arrival);
    ASSERT_TRUE(device);
    // Announced before its connection state arrives: the first request may find it not yet connected.
    EXPECT_TRUE(answers_again(*host, device));
    EXPECT_EQ(device->getPath(), "a0:b1:c2:d3:e4:f5");

    // The radio goes off and on: the device stays announced and answers again.
    platform::sim::set_radio_on(radio, false);
    platform::sim::set_radio_on(radio, true);
    ASSERT_TRUE(platform::sim::wait_runtime_events(10000));
    EXPECT_EQ(changes.count(removal), 0);
    EXPECT_TRUE(answers(device));

    // Out of range and back: the request of the returned device is answered.
    sim.leave_range();
    ASSERT_TRUE(platform::sim::wait_runtime_events(10000));
    std::vector<Byte> reply;
    EXPECT_FALSE(device->execute(kRootPing, reply, 0, {}));
    sim.enter_range();
    ASSERT_TRUE(platform::sim::wait_runtime_events(10000));
    EXPECT_TRUE(answers_again(*host, device));

    // The device restarts at a new address with the same serial (as its bootloader does):
    // one removal, one arrival.
    changes.clear();
    sim.disconnect();
    SimBluetoothConfig moved;
    moved.address = 0x0A0B0C0D0E0F;
    add(true, pid, moved);
    auto moved_device = changes.wait_for(arrival);
    ASSERT_TRUE(moved_device);
    EXPECT_TRUE(changes.wait_for(removal));
    EXPECT_EQ(changes.count(removal), 1);
    EXPECT_EQ(changes.count(arrival), 1);
    EXPECT_EQ(moved_device->getPath(), "0a:0b:0c:0d:0e:0f");
    EXPECT_TRUE(answers(moved_device));

    // A configuration change rebuilds the buses: the device leaves and comes back.
    CDevio::instance().setConfig(ConfigGattBus, true);
    EXPECT_TRUE(changes.wait_for(removal));
    auto again = changes.wait_for(arrival);
    ASSERT_TRUE(again);
    EXPECT_TRUE(answers(again));
}

TEST_F(BluetoothEndToEnd, ClassicKeyboardThroughTheMicrosoftStack)
{
    const std::uint16_t pid = quillon::ids::kKeyboardA.bluetoothProductId;
    SimBluetoothConfig config;
    config.address = 0x00AABBCCDDEE;
    start({ConfigClassicBluetooth});
    auto& sim = add(false, pid, config);
    const std::string arrival = Changes::key("+", TransportClassicBluetooth, pid);
    auto device = changes.wait_for(arrival);
    ASSERT_TRUE(device);
    EXPECT_TRUE(answers(device));

    // The link drops and returns: the remembered device comes back and answers.
    sim.leave_range();
    std::vector<Byte> reply;
    EXPECT_FALSE(device->execute(kRootPing, reply, 0, {}));
    sim.enter_range();
    EXPECT_TRUE(answers_again(*host, device));
    EXPECT_EQ(changes.count(Changes::key("-", TransportClassicBluetooth, pid)), 0);
}

} // namespace
} // namespace devio::test
