// Simulated Bluetooth keyboards reach the application's facade (the real buses and devices)
// through the Windows Runtime (items 1 and 3) or the Microsoft stack with a classic link
// (item 0), answer feature requests, and follow the radio, their range, the bootloader switch
// and a configuration change.
#include "../Windows/ManagerTestSupport.h"

#include "core/CDevio.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "devices/SimBluetoothDevice.h"
#include "quillon/DfuImage.h"
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

// A device whose link just came back answers once the runtime has delivered the link's events
// and the run loop has handled them (each attempt first lets both drain what is queued).
bool answers_again(LoopHost& host, const std::shared_ptr<IDevice>& device)
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (!platform::sim::wait_runtime_events(10000) || !host.run_on([] {}))
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
    // Announced on its watcher's Added, ahead of the Updated that tells it is connected.
    EXPECT_TRUE(answers_again(*host, moved_device));

    // A configuration change rebuilds the buses: the device leaves and comes back. It runs on the
    // host thread, the only one that touches the manager's devices and buses.
    ASSERT_TRUE(host->run_on([] { CDevio::instance().setConfig(ConfigGattBus, true); }));
    EXPECT_TRUE(changes.wait_for(removal));
    auto again = changes.wait_for(arrival);
    ASSERT_TRUE(again);
    // Announced while the new bus's watcher may still be setting its connection state.
    EXPECT_TRUE(answers_again(*host, again));
}

TEST_F(BluetoothEndToEnd, RestartsIntoOtherFirmwareAreFoundAnew)
{
    // The switch, the restart after a radio image and the one after the main image each bring the
    // device back as a new arrival, announced with its link up; the bootloader at its own address
    // when it has one, the application back at the device's.
    const std::uint16_t pid = quillon::ids::kKeyboardA.bluetoothProductId;
    const std::string arrival = Changes::key("+", TransportBluetoothLE, pid);
    const std::string removal = Changes::key("-", TransportBluetoothLE, pid);
    struct Case {
        const char* name;
        std::uint64_t bootloaderAddress;
        const char* bootloaderPath;
    };
    const Case cases[] = {
        {"at its own address", 0, "a0:b1:c2:d3:e4:f5"},
        {"at the bootloader's", 0xA0B1C2D3E4F6, "a0:b1:c2:d3:e4:f6"},
    };
    start({ConfigBluetoothLE, ConfigWinRTBluetooth});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        devices.clear();  // the last case's device leaves first
        ASSERT_TRUE(platform::sim::wait_runtime_events(10000));
        ASSERT_TRUE(host->run_on([] {}));
        changes.clear();
        SimBluetoothConfig config;
        config.bootloaderAddress = c.bootloaderAddress;
        auto& sim = add(true, pid, config);
        auto device = changes.wait_for(arrival);
        ASSERT_TRUE(device);
        EXPECT_TRUE(answers_again(*host, device));
        platform::sim::SimProtocolDevice& model = sim.model();

        // Each step restarts the device; the n-th arrival after it is the device found anew.
        auto restarted = [&](int n, const char* path) {
            auto again = changes.wait_for(arrival, n);
            EXPECT_TRUE(again);
            if (!again)
                return;
            EXPECT_EQ(changes.count(removal), n - 1);
            EXPECT_EQ(again->getPath(), path);
            EXPECT_TRUE(answers_again(*host, again));
        };
        // An image through the bootloader's update feature (index 3): start, the rest, restart.
        auto send_image = [&](bool radio) {
            quillon::dfu::Header h;
            h.productId = pid;
            h.length = 16;
            h.radioStack = radio;
            std::vector<Byte> start = {0x11, 0xFF, 0x03, 0x4F};
            const auto header = quillon::dfu::encodeHeader(h);
            start.insert(start.end(), header.begin(), header.end());
            std::vector<Byte> data = {0x11, 0xFF, 0x03, 0x2F};
            data.resize(20, 0xAB);
            EXPECT_TRUE(model.write(start));
            EXPECT_TRUE(model.write(data));
            EXPECT_TRUE(model.write({0x11, 0xFF, 0x03, 0x5F, radio ? Byte(0xFF) : Byte(0x00)}));
        };

        EXPECT_TRUE(model.write({0x11, 0xFF, 0x07, 0x1F, 1, 0, 0, 0, 0x44, 0x46, 0x55}));  // 0x00C2
        restarted(2, c.bootloaderPath);
        EXPECT_TRUE(model.in_bootloader());
        send_image(true);
        restarted(3, c.bootloaderPath);
        EXPECT_TRUE(model.in_bootloader());
        send_image(false);
        restarted(4, "a0:b1:c2:d3:e4:f5");
        EXPECT_FALSE(model.in_bootloader());
        EXPECT_EQ(model.dfu_completed(), 2u);
    }
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
