#include "DeviceNotifications.h"

#include "HidFile.h"
#include "NodeFile.h"

#include <dbt.h>

#include <cstring>
#include <memory>
#include <vector>

namespace platform::detail {

namespace {

// Bounded like every broadcast, so a window that stopped pumping delays a plug but never hangs it.
// The header is the system's: a handler slower than the time-out still reads a live copy.
void deliver(HWND window, DWORD event, const void* header)
{
    const DWORD size = static_cast<const DEV_BROADCAST_HDR*>(header)->dbch_size;
    auto copy = std::shared_ptr<std::uint64_t[]>(new std::uint64_t[(size + 7) / 8]());
    std::memcpy(copy.get(), header, size);
    DWORD_PTR result = 0;
    send_message_with_data(window, WM_DEVICECHANGE, event, std::shared_ptr<const void>(copy, copy.get()), SMTO_BLOCK,
                           broadcast_timeout(), &result);
}

}  // namespace

DeviceNotifications& DeviceNotifications::instance()
{
    static DeviceNotifications& notifications = *new DeviceNotifications;  // never destroyed: threads may still use it at exit
    return notifications;
}

HDEVNOTIFY DeviceNotifications::add(HANDLE recipient, LPVOID filter, DWORD flags)
{
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(filter);
    if ((flags & DEVICE_NOTIFY_SERVICE_HANDLE) || !header) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HWND window = static_cast<HWND>(recipient);
    if (!IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Registration reg;
    reg.window = window;
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
        if (header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)) {
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        const auto* itf = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(filter);
        reg.interfaceClass = itf->dbcc_classguid;
        reg.allClasses = (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0;
    } else if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
        if (header->dbch_size < offsetof(DEV_BROADCAST_HANDLE, dbch_data)) {
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        const auto* h = static_cast<const DEV_BROADCAST_HANDLE*>(filter);
        auto object = lookup_handle(h->dbch_handle);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        reg.isHandle = true;
        reg.file = h->dbch_handle;
        // Handles of anything but a device never hear of a removal.
        if (auto file = std::dynamic_pointer_cast<HidFile>(object))
            reg.node = file->collection()->dev_inst();
        else if (auto nodeFile = std::dynamic_pointer_cast<NodeFile>(object))
            reg.node = nodeFile->node();
    } else {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::uintptr_t id = m_next++;
    m_registrations.emplace(id, reg);
    return reinterpret_cast<HDEVNOTIFY>(id);
}

bool DeviceNotifications::remove(HDEVNOTIFY notification)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_registrations.erase(reinterpret_cast<std::uintptr_t>(notification)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

bool DeviceNotifications::still_registered(std::uintptr_t id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_registrations.count(id) != 0;
}

void DeviceNotifications::sendInterfaceEvent(DWORD event, const InterfaceRef& itf)
{
    std::vector<std::pair<std::uintptr_t, HWND>> targets;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [id, reg] : m_registrations)
            if (!reg.isHandle && (reg.allClasses || reg.interfaceClass == itf.interfaceClass))
                targets.emplace_back(id, reg.window);
    }
    if (targets.empty())
        return;
    // The name runs past the declared structure; the size field covers it and its NUL.
    const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (itf.path.size() + 1) * sizeof(WCHAR);
    std::vector<std::uint64_t> storage((std::max(size, sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)) + 7) / 8, 0);
    auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage.data());
    header->dbcc_size = static_cast<DWORD>(size);
    header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header->dbcc_classguid = itf.interfaceClass;
    std::memcpy(header->dbcc_name, itf.path.c_str(), (itf.path.size() + 1) * sizeof(WCHAR));
    for (const auto& [id, window] : targets)
        if (still_registered(id))
            deliver(window, event, header);
}

void DeviceNotifications::sendHandleEvent(DWORD event, DevInst node)
{
    std::vector<std::pair<std::uintptr_t, Registration>> targets;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [id, reg] : m_registrations)
            if (reg.isHandle && reg.node == node && node != 0)
                targets.emplace_back(id, reg);
    }
    for (const auto& [id, reg] : targets) {
        if (!still_registered(id))
            continue;
        DEV_BROADCAST_HANDLE header{};
        header.dbch_size = sizeof(DEV_BROADCAST_HANDLE);
        header.dbch_devicetype = DBT_DEVTYP_HANDLE;
        header.dbch_handle = reg.file;
        header.dbch_hdevnotify = reinterpret_cast<HDEVNOTIFY>(id);
        header.dbch_nameoffset = -1;
        deliver(reg.window, event, &header);
    }
}

void DeviceNotifications::sendCustomEvent(DevInst node, const GUID& eventGuid, const std::vector<std::uint8_t>& data)
{
    std::vector<std::pair<std::uintptr_t, Registration>> targets;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [id, reg] : m_registrations)
            if (reg.isHandle && reg.node == node && node != 0)
                targets.emplace_back(id, reg);
    }
    const std::size_t size = offsetof(DEV_BROADCAST_HANDLE, dbch_data) + data.size();
    std::vector<std::uint64_t> storage((std::max(size, sizeof(DEV_BROADCAST_HANDLE)) + 7) / 8, 0);
    auto* header = reinterpret_cast<DEV_BROADCAST_HANDLE*>(storage.data());
    for (const auto& [id, reg] : targets) {
        if (!still_registered(id))
            continue;
        header->dbch_size = static_cast<DWORD>(size);
        header->dbch_devicetype = DBT_DEVTYP_HANDLE;
        header->dbch_handle = reg.file;
        header->dbch_hdevnotify = reinterpret_cast<HDEVNOTIFY>(id);
        header->dbch_eventguid = eventGuid;
        header->dbch_nameoffset = -1;
        if (!data.empty())
            std::memcpy(header->dbch_data, data.data(), data.size());
        deliver(reg.window, DBT_CUSTOMEVENT, header);
    }
}

}  // namespace platform::detail

HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags)
{
    return platform::detail::DeviceNotifications::instance().add(recipient, filter, flags);
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY notification)
{
    return platform::detail::DeviceNotifications::instance().remove(notification) ? TRUE : FALSE;
}
