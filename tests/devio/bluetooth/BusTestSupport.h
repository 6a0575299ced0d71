#pragma once
// A device manager of a test's own (not the facade's) as the Bluetooth bus tests run it.
#include "../Windows/ManagerTestSupport.h"

#include "bluetooth/BluetoothMakers.h"
#include "Windows/Win32Bus.h"

#include <initializer_list>
#include <memory>

namespace devio::test {

// Installs the Bluetooth bus makers, turns `buses` on and drains the manager's run loop on the
// host returned.
inline std::unique_ptr<LoopHost> host_bluetooth_manager(const std::shared_ptr<DeviceManager>& manager,
                                                         std::initializer_list<int> buses)
{
    Win32Bus::setBluetoothMakers(bluetooth_bus_makers());
    manager->set_run_loop(manager);
    for (int bus : buses)
        manager->setConfig(ConfigItem(bus), true);
    return std::make_unique<LoopHost>(manager);
}

} // namespace devio::test
