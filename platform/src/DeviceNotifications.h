// Registrations of windows for device-change notifications, and their delivery.
#pragma once

#include "DeviceTree.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace platform::detail {

class DeviceNotifications {
public:
    static DeviceNotifications& instance();

    HDEVNOTIFY add(HANDLE recipient, LPVOID filter, DWORD flags);
    bool remove(HDEVNOTIFY notification);

    // Sends WM_DEVICECHANGE to every window watching that interface's class, in registration
    // order, and returns once each handled it (or its time-out passed).
    void sendInterfaceEvent(DWORD event, const InterfaceRef& itf);
    // The same for every window watching a file handle opened on that device node.
    void sendHandleEvent(DWORD event, DevInst node);
    // DBT_CUSTOMEVENT with that event id and data to every window watching a handle of the node.
    void sendCustomEvent(DevInst node, const GUID& eventGuid, const std::vector<std::uint8_t>& data);

private:
    struct Registration {
        HWND window = nullptr;
        bool isHandle = false;
        bool allClasses = false;
        GUID interfaceClass{};
        HANDLE file = nullptr;
        DevInst node = 0;
    };

    bool still_registered(std::uintptr_t id) const;

    mutable std::mutex m_mutex;
    std::map<std::uintptr_t, Registration> m_registrations;  // ordered by registration
    std::uintptr_t m_next = 0x10000;
};

}  // namespace platform::detail
