// The simulated Bluetooth stack: radios, the devices it knows, BluetoothGetDeviceInfo
// ("bthprops.cpl"), custom events to watchers of a radio handle, registry keys of paired devices.
#include "BluetoothStack.h"

#include "DeviceNotifications.h"
#include "DeviceTree.h"
#include "NodeFile.h"

#include <bluetoothapis.h>
#include <sim/Bluetooth.h>
#include <sim/Kernel.h>
#include <sim/WinRTBluetooth.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace platform::detail {

namespace {

struct Radio {
    std::string path;
    bool accessDenied = false;
    bool on = true;
};

struct Stack {
    std::mutex mutex;
    std::map<sim::DevInst, Radio> radios;
    std::map<std::uint64_t, sim::StackDevice> devices;
    std::map<sim::DevInst, NodeOpener> openers;  // other kinds of node (GATT services)
    DWORD infoFailure = 0;
    unsigned infoCalls = 0;
    unsigned nextRadio = 0;
};

Stack& stack()
{
    static Stack& s = *new Stack;  // threads may still ask at exit
    return s;
}

NodeOpener& fallback_opener()
{
    static NodeOpener opener = nullptr;
    return opener;
}

HANDLE open_radio(sim::DevInst node, const std::u16string& path, DWORD, DWORD)
{
    {
        std::lock_guard<std::mutex> lock(stack().mutex);
        auto it = stack().radios.find(node);
        if (it == stack().radios.end()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (it->second.accessDenied) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (!DeviceTree::instance().is_present(node)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return insert_handle(std::make_shared<NodeFile>(node, path));
}

HANDLE dispatch_open(sim::DevInst node, const std::u16string& path, DWORD access, DWORD flags)
{
    NodeOpener opener = nullptr;
    {
        std::lock_guard<std::mutex> lock(stack().mutex);
        if (stack().radios.count(node))
            opener = &open_radio;
        else if (auto it = stack().openers.find(node); it != stack().openers.end())
            opener = it->second;
    }
    if (!opener) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return opener(node, path, access, flags);
}

void reset_stack()
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    stack().radios.clear();
    stack().devices.clear();
    stack().openers.clear();
    stack().infoFailure = 0;
    stack().infoCalls = 0;
}

template <class F>
FARPROC entry(F* function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const bool g_installed = [] {
    set_node_opener(&dispatch_open);
    add_reset_hook(&reset_stack);
    register_module("bthprops.cpl", {{"BluetoothGetDeviceInfo", entry(&BluetoothGetDeviceInfo)}});
    return true;
}();

}  // namespace

void set_node_opener(NodeOpener opener) { fallback_opener() = opener; }

HANDLE open_node_file(sim::DevInst node, const std::u16string& path, DWORD access, DWORD flags)
{
    NodeOpener opener = fallback_opener();
    if (!opener) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return opener(node, path, access, flags);
}

void add_node_opener(sim::DevInst node, NodeOpener opener)
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    if (opener)
        stack().openers[node] = opener;
    else
        stack().openers.erase(node);
}

}  // namespace platform::detail

namespace platform::sim {

using namespace platform::detail;

const GUID& radio_interface_class()
{
    static const GUID id = {0x0850302A, 0xB344, 0x4FDA, {0x9B, 0xE9, 0x90, 0x57, 0x6B, 0x8D, 0x46, 0xF0}};
    return id;
}

const GUID& l2cap_event_guid()
{
    static const GUID id = {0x7EAE4030, 0xB709, 0x4AA8, {0xAC, 0x55, 0xE9, 0x53, 0x82, 0x9C, 0x9D, 0xAA}};
    return id;
}

const GUID& radio_in_range_event_guid()
{
    static const GUID id = {0xEA3B5B82, 0x26EE, 0x450E, {0xB0, 0xD8, 0xD2, 0x6F, 0xE3, 0x0A, 0x38, 0x69}};
    return id;
}

DevInst add_radio(const std::string& name)
{
    DevNodeLayout layout;
    layout.instanceId = "USB\\VID_0A12&PID_0001\\RADIO_" + name;
    layout.enumeratorName = "USB";
    const DevInst node = add_dev_node(layout);
    const std::string path = "\\\\?\\usb#vid_0a12&pid_0001#radio_" + name + "#{0850302a-b344-4fda-9be9-90576b8d46f0}";
    add_interface(node, radio_interface_class(), path);
    {
        std::lock_guard<std::mutex> lock(stack().mutex);
        std::string lower = path;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        stack().radios[node] = Radio{lower, false, true};
    }
    plug(node);
    return node;
}

std::string radio_path(DevInst radio)
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    auto it = stack().radios.find(radio);
    return it == stack().radios.end() ? std::string() : it->second.path;
}

void set_radio_access_denied(DevInst radio, bool denied)
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    stack().radios[radio].accessDenied = denied;
}

void set_radio_on(DevInst radio, bool on)
{
    {
        std::lock_guard<std::mutex> lock(stack().mutex);
        stack().radios[radio].on = on;
    }
    runtime_radio_changed();
}

bool radio_on(DevInst radio)
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    auto it = stack().radios.find(radio);
    return it != stack().radios.end() && it->second.on && DeviceTree::instance().is_present(radio);
}

std::vector<DevInst> radios()
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    std::vector<DevInst> out;
    for (const auto& entry : stack().radios)
        out.push_back(entry.first);
    return out;
}

void set_stack_device(const StackDevice& device)
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    stack().devices[device.address & 0xFFFFFFFFFFFFull] = device;
}

std::optional<StackDevice> stack_device(std::uint64_t address)
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    auto it = stack().devices.find(address & 0xFFFFFFFFFFFFull);
    if (it == stack().devices.end())
        return std::nullopt;
    return it->second;
}

void remove_stack_device(std::uint64_t address)
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    stack().devices.erase(address & 0xFFFFFFFFFFFFull);
}

void set_device_info_failure(DWORD error)
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    stack().infoFailure = error;
}

unsigned device_info_calls()
{
    std::lock_guard<std::mutex> lock(stack().mutex);
    return stack().infoCalls;
}

void send_l2cap_event(DevInst radio, std::uint64_t address, std::uint16_t psm, bool connected)
{
    std::vector<std::uint8_t> data(16, 0);
    std::memcpy(data.data(), &address, 8);
    std::memcpy(data.data() + 8, &psm, 2);
    data[10] = connected ? 1 : 0;
    DeviceNotifications::instance().sendCustomEvent(radio, l2cap_event_guid(), data);
}

void send_radio_in_range_event(DevInst radio, std::uint64_t address, std::uint32_t flags, std::uint32_t previousFlags)
{
    std::vector<std::uint8_t> data(276, 0);
    std::memcpy(data.data(), &flags, 4);
    std::memcpy(data.data() + 8, &address, 8);
    std::memcpy(data.data() + 272, &previousFlags, 4);
    DeviceNotifications::instance().sendCustomEvent(radio, radio_in_range_event_guid(), data);
}

void add_bluetooth_registry_entry(const std::string& root, const std::string& service, const std::string& instance,
                                  const std::optional<std::string>& parentIdPrefix,
                                  const std::optional<std::uint64_t>& address, bool deviceParameters)
{
    const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\" + root + "\\" + service + "\\" + instance;
    registry_create_key(HKEY_LOCAL_MACHINE, key);
    if (parentIdPrefix)
        registry_set_string(HKEY_LOCAL_MACHINE, key, "ParentIDPrefix", *parentIdPrefix);
    if (deviceParameters)
        registry_create_key(HKEY_LOCAL_MACHINE, key + "\\Device Parameters");
    if (deviceParameters && address) {
        std::vector<std::uint8_t> bytes(8);
        std::memcpy(bytes.data(), &*address, 8);
        registry_set_binary(HKEY_LOCAL_MACHINE, key + "\\Device Parameters", "BluetoothAddress", bytes);
    }
}

}  // namespace platform::sim

DWORD BluetoothGetDeviceInfo(HANDLE radio, BLUETOOTH_DEVICE_INFO* info)
{
    using namespace platform::detail;
    if (!info)
        return ERROR_INVALID_PARAMETER;
    if (info->dwSize != sizeof(BLUETOOTH_DEVICE_INFO))
        return ERROR_REVISION_MISMATCH;
    auto file = lookup_handle_as<NodeFile>(radio);
    std::lock_guard<std::mutex> lock(stack().mutex);
    ++stack().infoCalls;
    if (!file || !stack().radios.count(file->node()))
        return ERROR_INVALID_HANDLE;
    if (stack().infoFailure)
        return stack().infoFailure;
    auto it = stack().devices.find(info->Address.ullLong & 0xFFFFFFFFFFFFull);
    if (it == stack().devices.end())
        return ERROR_NOT_FOUND;
    const platform::sim::StackDevice& d = it->second;
    const bool paired = std::find(d.pairedRadios.begin(), d.pairedRadios.end(), file->node()) != d.pairedRadios.end();
    info->fRemembered = paired ? TRUE : FALSE;
    info->fConnected = d.connectedRadio == file->node() ? TRUE : FALSE;
    info->fAuthenticated = paired ? TRUE : FALSE;
    info->ulClassofDevice = d.lowEnergy ? 0 : 0x2540;
    const std::u16string name = utf8_to_utf16(d.name);
    const std::size_t count = std::min<std::size_t>(name.size(), BLUETOOTH_MAX_NAME_SIZE - 1);
    std::memset(info->szName, 0, sizeof info->szName);
    std::memcpy(info->szName, name.data(), count * sizeof(WCHAR));
    return ERROR_SUCCESS;
}
