#include "bluetooth/BluetoothMicrosoftBus.h"

#include "bluetooth/BluetoothEntries.h"
#include "bluetooth/BluetoothEvents.h"
#include "bluetooth/BluetoothMicrosoftDevice.h"
#include "core/IDeviceManager.h"
#include "Windows/Win32Bus.h"
#include "Windows/Win32System.h"

#include <quillon/WideText.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace devio {

namespace {

const GUID kRadioClass = {0x0850302A, 0xB344, 0x4FDA, {0x9B, 0xE9, 0x90, 0x57, 0x6B, 0x8D, 0x46, 0xF0}};
const GUID kL2capEvent = {0x7EAE4030, 0xB709, 0x4AA8, {0xAC, 0x55, 0xE9, 0x53, 0x82, 0x9C, 0x9D, 0xAA}};
const GUID kRadioInRange = {0xEA3B5B82, 0x26EE, 0x450E, {0xB0, 0xD8, 0xD2, 0x6F, 0xE3, 0x0A, 0x38, 0x69}};
constexpr std::uint16_t kHidInterruptPsm = 0x13;
constexpr std::uint32_t kConnectedMask = 0x20020;
constexpr std::uint32_t kRememberedMask = 0x20010;

// Closes a registry key on every path out.
struct Key {
    HKEY handle = nullptr;
    ~Key()
    {
        if (handle)
            RegCloseKey(handle);
    }
    bool open(HKEY parent, const quillon::WString& name, REGSAM access)
    {
        return RegOpenKeyExW(parent, name.c_str(), 0, access, &handle) == 0;
    }
    bool sub_key(DWORD index, quillon::WString& name) const
    {
        WCHAR buffer[256] = {};
        DWORD length = 256;
        if (RegEnumKeyExW(handle, index, buffer, &length, nullptr, nullptr, nullptr, nullptr) != 0)
            return false;
        name.assign(buffer, std::min<DWORD>(length, 255));
        return true;
    }
};

std::string narrow_lower(const quillon::WString& text)
{
    std::vector<WCHAR> z(text.begin(), text.end());
    z.push_back(0);
    return wide_to_lower_utf8(z.data());
}

} // namespace

BluetoothMicrosoftBus::BluetoothMicrosoftBus(std::shared_ptr<Win32Bus> parent, bool enabled)
    : m_parent(parent), m_enabled(enabled)
{
    if (parent)
        set_run_loop(parent->Producer<IHardwareBus::PlugUnplug>::get_run_loop());
}

BluetoothMicrosoftBus::~BluetoothMicrosoftBus()
{
    Subscriber<IBluetoothBus::RadioArrivalRemovalInternal>::stop_deliveries();
    stop();
}

void BluetoothMicrosoftBus::report(const char* context)
{
    if (auto parent = m_parent.lock())
        if (auto manager = parent->device_manager().lock())
            manager->reportError(context);
}

bool BluetoothMicrosoftBus::start()
{
    if (m_started)
        return true;
    std::lock_guard<std::recursive_mutex> lock(m_start_mutex);
    // A radio arrival during the first start can lead back here (the pairing bus checks its
    // devices' pairings): the radios found so far answer it.
    if (m_started || m_starting)
        return true;
    if (!m_enabled) {
        set_last_error(64);
        return false;
    }
    m_starting = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_starting};

    Subscriber<IBluetoothBus::RadioArrivalRemovalInternal>::subscribe(shared_from_this(), 0, "");
    auto parent = m_parent.lock();
    if (!parent) {
        set_last_error(72);
        return false;
    }
    try {
        std::shared_ptr<IWin32System> system;
        parent->start(nullptr, &system);
        m_system = system;
        HDEVNOTIFY notification = parent->registerDeviceInterfaceNotification(kRadioClass);
        std::lock_guard<std::mutex> radios(m_radio_mutex);
        m_radio_class_notification = notification;
    } catch (const DevioException& e) {
        e.to_last_error();
        return false;
    }
    try {
        enumerateRadios();
    } catch (const DevioException& e) {
        e.to_last_error();
        return false;
    }
    m_started = true;
    return true;
}

void BluetoothMicrosoftBus::enumerateRadios()
{
    for (const auto& path : present_interface_paths(*m_system, kRadioClass))
        onRadioArrival(path);
}

void BluetoothMicrosoftBus::stop()
{
    std::map<HDEVNOTIFY, std::string> notifications;
    std::map<std::string, HANDLE> handles;
    HDEVNOTIFY classNotification;
    {
        std::lock_guard<std::mutex> lock(m_radio_mutex);
        notifications.swap(m_notification_paths);
        handles.swap(m_radio_handles);
        m_handle_notifications.clear();
        classNotification = std::exchange(m_radio_class_notification, nullptr);
    }
    auto parent = m_parent.lock();
    for (const auto& entry : notifications) {
        auto handle = handles.find(entry.second);
        if (parent && handle != handles.end())
            parent->unregisterDeviceNotificationAndCloseHandle(entry.first, handle->second);
    }
    if (parent && classNotification)
        parent->unregisterDeviceInterfaceNotification(classNotification);
}

void BluetoothMicrosoftBus::publish_external(bool arrival, const std::string& radioPath)
{
    if (arrival)
        Producer<IBluetoothBus::RadioArrivalRemovalExternal>::notify(
            [radioPath](IBluetoothBus::RadioArrivalRemovalExternal* s) { s->onRadioArrival(radioPath); },
            "RadioArrivalRemovalInternal::onRadioArrival");
    else
        Producer<IBluetoothBus::RadioArrivalRemovalExternal>::notify(
            [radioPath](IBluetoothBus::RadioArrivalRemovalExternal* s) { s->onRadioRemoval(radioPath); },
            "RadioArrivalRemovalInternal::onRadioRemoval");
}

void BluetoothMicrosoftBus::onRadioArrival(std::string radioPath)
{
    bool known;
    {
        std::lock_guard<std::mutex> lock(m_radio_mutex);
        known = m_radio_handles.count(radioPath) != 0;
    }
    // Announced again, opened once.
    if (known) {
        publish_external(true, radioPath);
        return;
    }
    if (!m_system)
        return;
    std::vector<WCHAR> wide = utf8_to_wide(radioPath);
    HANDLE handle = m_system->CreateFileW(wide.data(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        set_last_error(42, GetLastError(), "CreateFile");
        report("BluetoothMicrosoftBus::onRadioArrival");
        return;
    }
    auto parent = m_parent.lock();
    if (!parent) {
        set_last_error(72);
        report("BluetoothMicrosoftBus::onRadioArrival");
        CloseHandle(handle);
        return;
    }
    HDEVNOTIFY notification = parent->registerDeviceNotificationAndTakeOwnershipOfHandle(handle);
    if (!notification) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        set_last_error(42, error, "registerDeviceNotificationAndTakeOwnershipOfHandle");
        report("BluetoothMicrosoftBus::onRadioArrival");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_radio_mutex);
        m_radio_handles[radioPath] = handle;
        m_handle_notifications[handle] = notification;
        m_notification_paths[notification] = radioPath;
    }
    publish_external(true, radioPath);
}

void BluetoothMicrosoftBus::onRadioRemoval(std::string radioPath)
{
    HANDLE handle = nullptr;
    HDEVNOTIFY notification = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_radio_mutex);
        auto it = m_radio_handles.find(radioPath);
        if (it == m_radio_handles.end()) {
            handle = INVALID_HANDLE_VALUE;
        } else {
            handle = it->second;
            notification = m_handle_notifications[handle];
            m_radio_handles.erase(it);
            m_handle_notifications.erase(handle);
            m_notification_paths.erase(notification);
        }
    }
    if (handle != INVALID_HANDLE_VALUE) {
        if (auto parent = m_parent.lock())
            parent->unregisterDeviceNotificationAndCloseHandle(notification, handle);
        std::vector<std::shared_ptr<BluetoothMicrosoftDevice>> devices;
        {
            std::lock_guard<std::mutex> lock(m_device_mutex);
            for (const auto& entry : m_devices)
                devices.push_back(entry.second);
        }
        for (const auto& device : devices)
            if (device->getRadioPath("", kNoInterfaceLookup) == radioPath)
                device->onDisconnect(radioPath);
    }
    publish_external(false, radioPath);
}

std::string BluetoothMicrosoftBus::radioPathForNotification(HDEVNOTIFY notification)
{
    std::lock_guard<std::mutex> lock(m_radio_mutex);
    auto it = m_notification_paths.find(notification);
    return it == m_notification_paths.end() ? std::string() : it->second;
}

bool BluetoothMicrosoftBus::hasRadio(const std::string& radioPath)
{
    std::lock_guard<std::mutex> lock(m_radio_mutex);
    if (radioPath == kUnknownRadio)
        return !m_radio_handles.empty();
    return m_radio_handles.count(radioPath) != 0;
}

void BluetoothMicrosoftBus::onDeviceChange(std::uint32_t event, const DEV_BROADCAST_HDR* header)
{
    if (!header)
        return;
    if (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEQUERYREMOVEFAILED || event == DBT_DEVICEQUERYREMOVE ||
        event == DBT_DEVICEREMOVECOMPLETE) {
        if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
            header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W))
            return;
        const auto* iface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
        if (!(iface->dbcc_classguid == kRadioClass))
            return;
        const std::string path = wide_to_lower_utf8(iface->dbcc_name);
        const bool arrival = event == DBT_DEVICEARRIVAL || event == DBT_DEVICEQUERYREMOVEFAILED;
        if (arrival)
            Producer<IBluetoothBus::RadioArrivalRemovalInternal>::notify(
                [path](IBluetoothBus::RadioArrivalRemovalInternal* s) { s->onRadioArrival(path); },
                "RadioArrivalRemovalInternal::onRadioArrival");
        else
            Producer<IBluetoothBus::RadioArrivalRemovalInternal>::notify(
                [path](IBluetoothBus::RadioArrivalRemovalInternal* s) { s->onRadioRemoval(path); },
                "RadioArrivalRemovalInternal::onRadioRemoval");
        return;
    }
    if (event != DBT_CUSTOMEVENT || header->dbch_devicetype != DBT_DEVTYP_HANDLE ||
        header->dbch_size < offsetof(DEV_BROADCAST_HANDLE, dbch_data))
        return;
    const auto* handle = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(header);
    const std::string radio = radioPathForNotification(handle->dbch_hdevnotify);
    const std::size_t dataSize = header->dbch_size - offsetof(DEV_BROADCAST_HANDLE, dbch_data);
    if (handle->dbch_eventguid == kL2capEvent) {
        auto e = parse_l2cap_event(handle->dbch_data, dataSize);
        if (!e || e->psm != kHidInterruptPsm)
            return;
        if (e->connected) {
            if (auto device = getOrCreateDevice(e->address, BluetoothClassic))
                device->onConnect(radio);
        } else if (auto device = lookupDevice(e->address)) {
            device->onDisconnect(radio);
        }
    } else if (handle->dbch_eventguid == kRadioInRange) {
        auto e = parse_radio_in_range_event(handle->dbch_data, dataSize);
        if (!e)
            return;
        auto device = lookupDevice(e->address);
        const bool wasConnected = (e->previousFlags & kConnectedMask) == kConnectedMask;
        const bool isConnected = (e->flags & kConnectedMask) == kConnectedMask;
        if (device) {
            device->onPairingUpdate(radio);
            if (wasConnected && !isConnected)
                device->onDisconnect(radio);
            if ((e->previousFlags & kRememberedMask) & ~e->flags)
                device->onUnpair(radio);
        }
        if (isConnected && !wasConnected) {
            if (!device)
                device = getOrCreateDevice(e->address, BluetoothLowEnergy);
            if (device)
                device->onConnect(radio);
        }
    }
}

std::shared_ptr<BluetoothMicrosoftDevice> BluetoothMicrosoftBus::lookupDevice(std::uint64_t address)
{
    std::lock_guard<std::mutex> lock(m_device_mutex);
    auto it = m_devices.find(address);
    return it == m_devices.end() ? nullptr : it->second;
}

std::shared_ptr<BluetoothMicrosoftDevice> BluetoothMicrosoftBus::getOrCreateDevice(std::uint64_t address,
                                                                                   std::uint32_t kind)
{
    if (auto found = lookupDevice(address))
        return found;
    auto device = std::make_shared<BluetoothMicrosoftDevice>(shared_from_this(), bluetooth_address_text(address),
                                                             address, kind);
    std::lock_guard<std::mutex> lock(m_device_mutex);
    m_devices[address] = device;
    return device;
}

std::shared_ptr<IBluetoothDevice> BluetoothMicrosoftBus::findDevice(const std::string& path)
{
    {
        std::lock_guard<std::mutex> lock(m_device_mutex);
        auto it = m_path_cache.find(path);
        if (it != m_path_cache.end())
            return it->second;
    }
    std::shared_ptr<IBluetoothDevice> found = findDeviceInRegistry(path, BluetoothClassic);
    if (!found)
        found = findDeviceInRegistry(path, BluetoothLowEnergy);
    std::lock_guard<std::mutex> lock(m_device_mutex);
    m_path_cache[path] = found;
    return found;
}

std::shared_ptr<IBluetoothDevice> BluetoothMicrosoftBus::findDeviceInRegistry(const std::string& path,
                                                                            std::uint32_t kind)
{
    const WCHAR* rootName = kind == BluetoothClassic     ? QUILLON_W("SYSTEM\\CurrentControlSet\\Enum\\BTHENUM")
                               : kind == BluetoothLowEnergy ? QUILLON_W("SYSTEM\\CurrentControlSet\\Enum\\BTHLEDevice")
                                                            : nullptr;
    if (!rootName)
        return nullptr;
    Key root;
    if (!root.open(HKEY_LOCAL_MACHINE, rootName, KEY_ENUMERATE_SUB_KEYS))
        return nullptr;
    quillon::WString serviceName;
    for (DWORD s = 0; root.sub_key(s, serviceName); ++s) {
        if (path.find(narrow_lower(serviceName)) == std::string::npos)
            continue;
        Key service;
        if (!service.open(root.handle, serviceName, KEY_ENUMERATE_SUB_KEYS))
            continue;
        quillon::WString instanceName;
        for (DWORD i = 0; service.sub_key(i, instanceName); ++i) {
            Key instance;
            if (!instance.open(service.handle, instanceName, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE))
                continue;
            const std::string instanceLower = narrow_lower(instanceName);
            if (path.find(instanceLower) == std::string::npos) {
                // 80 bytes at most, and terminated within them whatever the value holds.
                WCHAR prefix[41] = {};
                DWORD size = 80;
                DWORD type = 0;
                if (RegQueryValueExW(instance.handle, QUILLON_W("ParentIDPrefix"), nullptr, &type,
                                     reinterpret_cast<LPBYTE>(prefix), &size) != 0)
                    continue;
                prefix[std::min<DWORD>(size / sizeof(WCHAR), 40)] = 0;
                const std::string prefixLower = wide_to_lower_utf8(prefix);
                if (prefixLower.empty() || path.find(prefixLower) == std::string::npos)
                    continue;
            }
            Key parameters;
            if (!parameters.open(instance.handle, QUILLON_W("Device Parameters"), KEY_QUERY_VALUE))
                continue;
            std::uint8_t value[8] = {};
            DWORD size = sizeof value;
            DWORD type = 0;
            std::optional<std::uint64_t> address;
            if (RegQueryValueExW(parameters.handle, QUILLON_W("BluetoothAddress"), nullptr, &type, value, &size) == 0)
                address = address_from_registry_value(value, size);
            if (!address) {
                std::string narrow(instanceName.begin(), instanceName.end());
                for (std::size_t k = 0; k < instanceName.size(); ++k)
                    if (instanceName[k] > 0x7F)
                        narrow[k] = '?';
                address = address_from_instance_name(narrow);
            }
            if (address)
                return getOrCreateDevice(*address, kind);
        }
    }
    return nullptr;
}

bool BluetoothMicrosoftBus::get_connect_state_via_bgdi(std::uint64_t address, std::uint32_t kind, bool* connected,
                                                       std::string* radioPath, std::string* name)
{
    std::vector<std::pair<std::string, HANDLE>> radios;
    {
        std::lock_guard<std::mutex> lock(m_radio_mutex);
        radios.assign(m_radio_handles.begin(), m_radio_handles.end());
    }
    ErrorCode code = 73;
    std::uint32_t detail = 0;
    bool answered = false;
    bool anyConnected = false;
    try {
        for (const auto& radio : radios) {
            BLUETOOTH_DEVICE_INFO info{};
            info.dwSize = sizeof info;
            info.Address.ullLong = address;
            const DWORD result = BluetoothEntries::BluetoothGetDeviceInfo(*m_system, radio.second, &info);
            if (result == ERROR_SUCCESS) {
                if (name) {
                    WCHAR text[BLUETOOTH_MAX_NAME_SIZE + 1] = {};
                    std::memcpy(text, info.szName, sizeof info.szName);
                    wide_to_utf8(text, *name);
                }
                const bool isConnected = info.fConnected && (kind != BluetoothClassic || info.fRemembered);
                // One radio's "not connected" does not undo another's "connected".
                if (isConnected || !anyConnected) {
                    if (connected)
                        *connected = isConnected;
                    if (radioPath)
                        *radioPath = isConnected ? radio.first : std::string();
                }
                anyConnected = anyConnected || isConnected;
                code = 0;
                detail = 0;
                answered = true;
            } else if (!answered) {
                answered = true;
                code = 74;
                detail = result;
                set_last_error(74, result);
                report("get_connect_state_via_bgdi");
            }
        }
    } catch (const DevioException& e) {
        e.to_last_error();
        report("update_connect_state exception");
        return false;
    }
    set_last_error(code, detail);
    return code == 0;
}

bool BluetoothMicrosoftBus::verify_pairing(std::uint64_t address, std::string& radioPath, std::uint32_t kind)
{
    if (radioPath == kUnknownRadio)
        return true;
    HANDLE handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_radio_mutex);
        auto it = m_radio_handles.find(radioPath);
        if (it == m_radio_handles.end()) {
            set_last_error(73);
            return false;
        }
        handle = it->second;
    }
    try {
        BLUETOOTH_DEVICE_INFO info{};
        info.dwSize = sizeof info;
        info.Address.ullLong = address;
        const DWORD result = BluetoothEntries::BluetoothGetDeviceInfo(*m_system, handle, &info);
        if (result != ERROR_SUCCESS) {
            set_last_error(74, result);
            report("verify_pairing");
            return false;
        }
        if (kind == BluetoothClassic && !info.fRemembered)
            radioPath.clear();
        set_last_error(0);
        return true;
    } catch (const DevioException& e) {
        e.to_last_error();
        report("verify_pairing exception");
        return false;
    }
}

std::string BluetoothMicrosoftBus::findRadioForInterface(const std::string& interfacePath, std::uint32_t)
{
    if (!m_system) {
        set_last_error(72);
        return {};
    }
    try {
        std::string id = m_system->getInstanceIdOfInterface(interfacePath);
        for (int level = 1; level <= 4 && !id.empty(); ++level) {
            const std::string parent = m_system->getParentInstanceId(id);
            if (parent == id)
                break;
            id = parent;
            if (level >= 3) {
                const std::string radio = m_system->findInterfacePath(id, kRadioClass);
                if (!radio.empty())
                    return radio;
            }
        }
    } catch (const DevioException& e) {
        e.to_last_error();
        return {};
    }
    set_last_error(72);
    return {};
}

} // namespace devio
