#include "bluetooth/BluetoothMakers.h"

#include "bluetooth/BluetoothMicrosoftBus.h"
#include "bluetooth/GattBus.h"
#include "bluetooth/WinRTBluetoothBus.h"
#include "bluetooth/WinRTBinding.h"

namespace devio {

BluetoothBusMakers bluetooth_bus_makers()
{
    BluetoothBusMakers makers;
    makers.runtimeAvailable = [] { return winrt_available(); };
    makers.makeMicrosoftBus = [](std::shared_ptr<Win32Bus> parent, bool enabled,
                                 BluetoothBusMakers::DeviceChangeForward& forward) -> std::shared_ptr<IBluetoothBus> {
        auto bus = std::make_shared<BluetoothMicrosoftBus>(std::move(parent), enabled);
        std::weak_ptr<BluetoothMicrosoftBus> weak = bus;
        forward = [weak](std::uint32_t event, const DEV_BROADCAST_HDR* header) {
            // The window thread must never see an exception of a Bluetooth bus.
            try {
                if (auto b = weak.lock())
                    b->onDeviceChange(event, header);
            } catch (...) {
            }
        };
        return bus;
    };
    makers.makeRuntimeBus = [](std::shared_ptr<Win32Bus> parent, bool watchLowEnergy) -> std::shared_ptr<IHardwareSecondaryBus> {
        return WinRTBluetoothBus::create(parent, watchLowEnergy);
    };
    makers.makeGattBus = [](std::shared_ptr<Win32Bus> parent) -> std::shared_ptr<IHardwareSecondaryBus> {
        return std::make_shared<GattBus>(std::move(parent));
    };
    return makers;
}

} // namespace devio
