#include "bluetooth/BluetoothMakers.h"

#include "bluetooth/BluetoothMicrosoftBus.h"
#include "bluetooth/GattBus.h"
#include "bluetooth/WinRTBinding.h"
#ifdef QUILLON_WINRT_BLUETOOTH
#include "bluetooth/WinRTBluetoothBus.h"
#endif

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
#ifdef QUILLON_WINRT_BLUETOOTH
    makers.makeRuntimeBus = [](std::shared_ptr<Win32Bus> parent, bool watchLowEnergy) -> std::shared_ptr<IHardwareSecondaryBus> {
        return WinRTBluetoothBus::create(parent, watchLowEnergy);
    };
#else
    // Built without the runtime bus: the HID bus takes the Win32 GATT path even on Windows 10.
    makers.runtimeAvailable = [] { return false; };
#endif
    makers.makeGattBus = [](std::shared_ptr<Win32Bus> parent) -> std::shared_ptr<IHardwareSecondaryBus> {
        return std::make_shared<GattBus>(std::move(parent));
    };
    return makers;
}

} // namespace devio
