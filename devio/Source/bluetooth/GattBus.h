// Bluetooth LE devices with the protocol's GATT service, found through the Win32 GATT functions:
// each interface of the service's class is a GattDevice; arrivals and removals come from the HID
// bus's window.
#pragma once

#include "core/IHardwareSecondaryBus.h"
#include "core/Producer.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devio {

class IWin32System;
class Win32Bus;

// 00010000-0000-1000-8000-011f20007e51: the service and the interface class.
extern const GUID kProtocolServiceUuid;

class GattBus : public IHardwareSecondaryBus,
                public Producer<IHardwareBus::PlugUnplug>,
                public std::enable_shared_from_this<GattBus> {
public:
    explicit GattBus(std::shared_ptr<Win32Bus> parent);
    ~GattBus() override;

    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override;
    void onDeviceChange(std::uint32_t event, const DEV_BROADCAST_HDR* header) override;
    bool isDevicePresent(const std::string& path);
    void unplugPath(const std::string& path);
    bool start();

protected:
    bool on_subscribe(IHardwareBus::PlugUnplug* subscriber) override;

private:
    std::vector<std::string> list_interfaces();

    const std::weak_ptr<Win32Bus> m_parent;
    std::mutex m_start_mutex;
    bool m_started = false;
    HWND m_window = nullptr;
    std::shared_ptr<IWin32System> m_system;
    HDEVNOTIFY m_notification = reinterpret_cast<HDEVNOTIFY>(INVALID_HANDLE_VALUE);
};

} // namespace devio
