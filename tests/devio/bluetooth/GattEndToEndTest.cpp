// Without the Windows Runtime a Bluetooth LE keyboard reaches the facade through the Win32 GATT
// functions (items 1 and 3): the pairing bus remembers it by its GATT interface and relays it.
#include "../Windows/ManagerTestSupport.h"

#include "core/CDevio.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "devices/SimBluetoothDevice.h"
#include "quillon/ProductIds.h"

#include <sim/Bluetooth.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

namespace devio::test {
namespace {

TEST(GattEndToEnd, LowEnergyKeyboardThroughTheGattFunctions)
{
    platform::sim::reset_machine();
    platform::sim::set_module_absent("combase.dll", true);
    platform::sim::remove_all_dev_nodes();
    Timing::setScale(1, 20);
    const platform::sim::DevInst radio = platform::sim::add_radio("a");
    const std::uint16_t pid = quillon::ids::kMouseA.bluetoothProductId;

    CDevio& facade = CDevio::instance();
    for (int i = 0; i <= 4; ++i)
        facade.setConfig(ConfigItem(i), false);
    ASSERT_TRUE(facade.setConfig(ConfigBluetoothLE, true));
    ASSERT_TRUE(facade.setConfig(ConfigWinRTBluetooth, true));
    auto manager = facade.get_or_create_manager();
    ASSERT_TRUE(manager);
    LoopHost host(manager);
    Changes changes;
    ASSERT_TRUE(changes.subscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager), 0, ""));

    auto protocol = platform::sim::sim_mouse_config();
    protocol.product_id = pid;
    platform::sim::SimBluetoothConfig config;
    config.hidCollections = false;
    platform::sim::SimBluetoothDevice sim(protocol, config);
    sim.pair(radio);
    sim.connect(radio);

    auto device = changes.wait_for(Changes::key("+", TransportBluetoothLE, pid));
    ASSERT_TRUE(device);
    std::vector<Byte> reply;
    const std::vector<Byte> ping = {0x10, 0xFF, 0x00, 0x1A, 0x00, 0x00, 0x5A};
    bool answered = false;
    for (int attempt = 0; attempt < 40 && !answered; ++attempt)
        answered = host.run_on([] {}) && device->execute(ping, reply, 0, {}) && reply.size() >= 7 && reply[6] == 0x5A;
    EXPECT_TRUE(answered);
    EXPECT_EQ(device->getPath(), sim.gatt_path());

    changes.unsubscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager));
    changes.clear();
    device.reset();
    host.stop();
    manager.reset();
    facade.close();
    platform::sim::remove_all_dev_nodes();
    Timing::reset();
}

} // namespace
} // namespace devio::test
