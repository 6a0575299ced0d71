// Simulated GATT servers and the Win32 GATT functions of "BluetoothApis.dll" over them.
#include "BluetoothStack.h"
#include "DeviceTree.h"

#include <bluetoothleapis.h>
#include <sim/Gatt.h>

#include <algorithm>
#include <cstring>

namespace platform::sim {

GattUuid GattUuid::of_short(std::uint16_t id)
{
    GattUuid u;
    u.isShort = true;
    u.shortId = id;
    return u;
}

GattUuid GattUuid::of(const GUID& id)
{
    GattUuid u;
    u.full = id;
    return u;
}

GUID GattUuid::as_full() const
{
    if (!isShort)
        return full;
    // 0000xxxx-0000-1000-8000-00805F9B34FB
    return GUID{shortId, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};
}

GattServer::GattServer(std::vector<GattService> services) : m_services(std::move(services)) {}

std::vector<GattService> GattServer::services() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_services;
}

const GattCharacteristic* GattServer::find_locked(std::uint16_t handle) const
{
    for (const auto& s : m_services)
        for (const auto& c : s.characteristics)
            if (c.handle == handle)
                return &c;
    return nullptr;
}

HRESULT GattServer::write(std::uint16_t characteristic, const GattBytes& value, bool withResponse)
{
    WriteHandler handler;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_reachable)
            return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
        const GattCharacteristic* c = find_locked(characteristic);
        if (!c || (withResponse ? !c->writable : !c->writableWithoutResponse))
            return E_INVALIDARG;
        if (m_write_failure)
            return m_write_failure;
        m_written.push_back(value);
        handler = m_write_handler;
    }
    if (handler)
        handler(characteristic, value);
    return S_OK;
}

HRESULT GattServer::read(std::uint16_t characteristic, GattBytes& value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_reachable)
        return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    const GattCharacteristic* c = find_locked(characteristic);
    if (!c)
        return E_INVALIDARG;
    value = c->value;
    return S_OK;
}

HRESULT GattServer::cached_value(std::uint16_t characteristic, GattBytes& value) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const GattCharacteristic* c = find_locked(characteristic);
    if (!c)
        return E_INVALIDARG;
    value = c->value;
    return S_OK;
}

HRESULT GattServer::set_notifying(std::uint16_t characteristic, bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_reachable)
        return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    const GattCharacteristic* c = find_locked(characteristic);
    if (!c || !c->notifiable)
        return E_INVALIDARG;
    m_notifying[characteristic] = on;
    return S_OK;
}

bool GattServer::notifying(std::uint16_t characteristic) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_notifying.find(characteristic);
    return it != m_notifying.end() && it->second;
}

HRESULT GattServer::descriptor_value(std::uint16_t characteristic, bool& notify) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_reachable)
        return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    auto it = m_notifying.find(characteristic);
    notify = it != m_notifying.end() && it->second;
    return S_OK;
}

int GattServer::add_watcher(std::uint16_t characteristic, Watcher watcher)
{
    std::lock_guard<std::mutex> lock(m_watcher_mutex);
    const int id = m_next_watcher++;
    m_watchers[id] = WatcherEntry{characteristic, std::move(watcher)};
    return id;
}

void GattServer::remove_watcher(int id)
{
    // Waits for a delivery in progress on another thread (recursive: a watcher may remove itself).
    std::lock_guard<std::recursive_mutex> delivery(m_delivery_mutex);
    std::lock_guard<std::mutex> lock(m_watcher_mutex);
    m_watchers.erase(id);
}

void GattServer::set_write_handler(WriteHandler handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_write_handler = std::move(handler);
}

void GattServer::notify(std::uint16_t characteristic, const GattBytes& value)
{
    if (!notifying(characteristic) || !reachable())
        return;
    std::lock_guard<std::recursive_mutex> delivery(m_delivery_mutex);
    std::vector<Watcher> targets;
    {
        std::lock_guard<std::mutex> lock(m_watcher_mutex);
        for (const auto& entry : m_watchers)
            if (entry.second.characteristic == characteristic)
                targets.push_back(entry.second.watcher);
    }
    for (const auto& w : targets)
        w(characteristic, value);
}

void GattServer::set_value(std::uint16_t characteristic, const GattBytes& value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& s : m_services)
        for (auto& c : s.characteristics)
            if (c.handle == characteristic)
                c.value = value;
}

void GattServer::set_reachable(bool reachable)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reachable = reachable;
    if (!reachable)
        m_notifying.clear();  // a new link starts without subscriptions
}

bool GattServer::reachable() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reachable;
}

void GattServer::set_write_failure(HRESULT error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_write_failure = error;
}

std::vector<GattBytes> GattServer::written() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
}

namespace {

struct Servers {
    std::mutex mutex;
    std::map<DevInst, std::shared_ptr<GattServer>> byNode;
};

Servers& servers()
{
    static Servers& s = *new Servers;
    return s;
}

HANDLE open_gatt_node(DevInst node, const std::u16string& path, DWORD, DWORD)
{
    if (!gatt_server_of(node)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!platform::detail::DeviceTree::instance().is_present(node)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return platform::detail::insert_handle(std::make_shared<platform::detail::NodeFile>(node, path));
}

}  // namespace

void register_gatt_server(DevInst node, std::shared_ptr<GattServer> server)
{
    {
        std::lock_guard<std::mutex> lock(servers().mutex);
        if (server)
            servers().byNode[node] = server;
        else
            servers().byNode.erase(node);
    }
    platform::detail::add_node_opener(node, server ? &open_gatt_node : nullptr);
}

std::shared_ptr<GattServer> gatt_server_of(DevInst node)
{
    std::lock_guard<std::mutex> lock(servers().mutex);
    auto it = servers().byNode.find(node);
    return it == servers().byNode.end() ? nullptr : it->second;
}

}  // namespace platform::sim

namespace platform::detail {
namespace {

using namespace platform::sim;

std::shared_ptr<GattServer> server_of(HANDLE device)
{
    auto file = lookup_handle_as<NodeFile>(device);
    return file ? gatt_server_of(file->node()) : nullptr;
}

// The server of a call's device: E_HANDLE for a handle that is no GATT device, then E_INVALIDARG
// where the caller left out what the call needs (`given` false).
HRESULT server_for_call(HANDLE device, bool given, std::shared_ptr<GattServer>& server)
{
    server = server_of(device);
    if (!server)
        return E_HANDLE;
    return given ? S_OK : E_INVALIDARG;
}

// Tells the caller the size a value needs; false when its buffer is missing or smaller.
bool value_fits(std::size_t needed, const void* buffer, ULONG size, USHORT* required)
{
    if (required)
        *required = static_cast<USHORT>(needed);
    return buffer && size >= needed;
}

BTH_LE_UUID to_bth(const GattUuid& u)
{
    BTH_LE_UUID out{};
    out.IsShortUuid = u.isShort;
    if (u.isShort)
        out.Value.ShortUuid = u.shortId;
    else
        out.Value.LongUuid = u.full;
    return out;
}

// The count asked for, the records copied: never more than `count`.
template <class Record, class Source, class Make>
HRESULT fill(const std::vector<Source>& items, USHORT count, Record* out, USHORT* actual, Make make)
{
    if (!actual)
        return E_INVALIDARG;
    *actual = static_cast<USHORT>(items.size());
    if (!out || count < items.size()) {
        if (out)
            for (USHORT i = 0; i < count && i < items.size(); ++i)
                out[i] = make(items[i]);
        return HRESULT_FROM_WIN32(ERROR_MORE_DATA);
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        out[i] = make(items[i]);
    return S_OK;
}

// Event registrations: a handle whose close removes the watchers.
class GattRegistration : public KernelObject {
public:
    std::weak_ptr<GattServer> server;
    std::vector<int> watchers;
    void on_close() override
    {
        if (auto s = server.lock())
            for (int id : watchers)
                s->remove_watcher(id);
    }
};

template <class F>
FARPROC entry(F* function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const bool g_installed = [] {
    register_module("BluetoothApis.dll", {
        {"BluetoothGATTGetServices", entry(&BluetoothGATTGetServices)},
        {"BluetoothGATTGetIncludedServices", entry(&BluetoothGATTGetIncludedServices)},
        {"BluetoothGATTGetCharacteristics", entry(&BluetoothGATTGetCharacteristics)},
        {"BluetoothGATTGetDescriptors", entry(&BluetoothGATTGetDescriptors)},
        {"BluetoothGATTGetCharacteristicValue", entry(&BluetoothGATTGetCharacteristicValue)},
        {"BluetoothGATTGetDescriptorValue", entry(&BluetoothGATTGetDescriptorValue)},
        {"BluetoothGATTSetDescriptorValue", entry(&BluetoothGATTSetDescriptorValue)},
        {"BluetoothGATTRegisterEvent", entry(&BluetoothGATTRegisterEvent)},
        {"BluetoothGATTUnregisterEvent", entry(&BluetoothGATTUnregisterEvent)},
        {"BluetoothGATTSetCharacteristicValue", entry(&BluetoothGATTSetCharacteristicValue)},
    });
    return true;
}();

}  // namespace
}  // namespace platform::detail

using namespace platform::detail;
using platform::sim::GattServer;

HRESULT BluetoothGATTGetServices(HANDLE device, USHORT count, PBTH_LE_GATT_SERVICE services, USHORT* actual, ULONG)
{
    auto server = server_of(device);
    if (!server)
        return E_HANDLE;
    if (!server->reachable())
        return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    return fill(server->services(), count, services, actual, [](const platform::sim::GattService& s) {
        BTH_LE_GATT_SERVICE out{};
        out.ServiceUuid = to_bth(s.uuid);
        out.AttributeHandle = s.handle;
        return out;
    });
}

HRESULT BluetoothGATTGetIncludedServices(HANDLE device, PBTH_LE_GATT_SERVICE parent, USHORT count,
                                         PBTH_LE_GATT_SERVICE services, USHORT* actual, ULONG)
{
    std::shared_ptr<GattServer> server;
    if (HRESULT hr = server_for_call(device, parent != nullptr, server); FAILED(hr))
        return hr;
    std::vector<int> none;
    return fill(none, count, services, actual, [](int) { return BTH_LE_GATT_SERVICE{}; });
}

HRESULT BluetoothGATTGetCharacteristics(HANDLE device, PBTH_LE_GATT_SERVICE service, USHORT count,
                                        PBTH_LE_GATT_CHARACTERISTIC characteristics, USHORT* actual, ULONG)
{
    std::shared_ptr<GattServer> server;
    if (HRESULT hr = server_for_call(device, service != nullptr, server); FAILED(hr))
        return hr;
    if (!server->reachable())
        return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    for (const auto& s : server->services())
        if (s.handle == service->AttributeHandle)
            return fill(s.characteristics, count, characteristics, actual,
                        [&s](const platform::sim::GattCharacteristic& c) {
                            BTH_LE_GATT_CHARACTERISTIC out{};
                            out.ServiceHandle = s.handle;
                            out.CharacteristicUuid = to_bth(c.uuid);
                            out.AttributeHandle = c.handle;
                            out.CharacteristicValueHandle = static_cast<USHORT>(c.handle + 1);
                            out.IsReadable = c.readable;
                            out.IsWritable = c.writable;
                            out.IsWritableWithoutResponse = c.writableWithoutResponse;
                            out.IsNotifiable = c.notifiable;
                            return out;
                        });
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

HRESULT BluetoothGATTGetDescriptors(HANDLE device, PBTH_LE_GATT_CHARACTERISTIC characteristic, USHORT count,
                                    PBTH_LE_GATT_DESCRIPTOR descriptors, USHORT* actual, ULONG)
{
    std::shared_ptr<GattServer> server;
    if (HRESULT hr = server_for_call(device, characteristic != nullptr, server); FAILED(hr))
        return hr;
    for (const auto& s : server->services())
        for (const auto& c : s.characteristics)
            if (c.handle == characteristic->AttributeHandle)
                return fill(c.descriptors, count, descriptors, actual, [&](const platform::sim::GattDescriptor& d) {
                    BTH_LE_GATT_DESCRIPTOR out{};
                    out.ServiceHandle = s.handle;
                    out.CharacteristicHandle = c.handle;
                    out.DescriptorType = static_cast<BTH_LE_GATT_DESCRIPTOR_TYPE>(d.type);
                    out.DescriptorUuid = to_bth(d.uuid);
                    out.AttributeHandle = d.handle;
                    return out;
                });
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

HRESULT BluetoothGATTGetCharacteristicValue(HANDLE device, PBTH_LE_GATT_CHARACTERISTIC characteristic, ULONG size,
                                            PBTH_LE_GATT_CHARACTERISTIC_VALUE value, USHORT* required, ULONG)
{
    std::shared_ptr<GattServer> server;
    if (HRESULT hr = server_for_call(device, characteristic != nullptr, server); FAILED(hr))
        return hr;
    platform::sim::GattBytes bytes;
    HRESULT hr = server->read(characteristic->AttributeHandle, bytes);
    if (FAILED(hr))
        return hr;
    const std::size_t needed = offsetof(BTH_LE_GATT_CHARACTERISTIC_VALUE, Data) + std::max<std::size_t>(bytes.size(), 1);
    if (!value_fits(needed, value, size, required))
        return HRESULT_FROM_WIN32(ERROR_MORE_DATA);
    value->DataSize = static_cast<ULONG>(bytes.size());
    if (!bytes.empty())
        std::memcpy(value->Data, bytes.data(), bytes.size());
    return S_OK;
}

HRESULT BluetoothGATTGetDescriptorValue(HANDLE device, PBTH_LE_GATT_DESCRIPTOR descriptor, ULONG size,
                                        PBTH_LE_GATT_DESCRIPTOR_VALUE value, USHORT* required, ULONG)
{
    std::shared_ptr<GattServer> server;
    if (HRESULT hr = server_for_call(device, descriptor != nullptr, server); FAILED(hr))
        return hr;
    bool notify = false;
    HRESULT hr = server->descriptor_value(descriptor->CharacteristicHandle, notify);
    if (FAILED(hr))
        return hr;
    const std::size_t needed = offsetof(BTH_LE_GATT_DESCRIPTOR_VALUE, Data) + 2;
    if (!value_fits(needed, value, size, required))
        return HRESULT_FROM_WIN32(ERROR_MORE_DATA);
    value->DescriptorType = descriptor->DescriptorType;
    value->DescriptorUuid = descriptor->DescriptorUuid;
    value->ClientCharacteristicConfiguration.IsSubscribeToNotification = notify;
    value->ClientCharacteristicConfiguration.IsSubscribeToIndication = FALSE;
    value->DataSize = 2;
    value->Data[0] = notify ? 1 : 0;
    value->Data[1] = 0;
    return S_OK;
}

HRESULT BluetoothGATTSetDescriptorValue(HANDLE device, PBTH_LE_GATT_DESCRIPTOR descriptor,
                                        PBTH_LE_GATT_DESCRIPTOR_VALUE value, ULONG)
{
    std::shared_ptr<GattServer> server;
    const bool given = descriptor && value && value->DescriptorType == ClientCharacteristicConfiguration;
    if (HRESULT hr = server_for_call(device, given, server); FAILED(hr))
        return hr;
    return server->set_notifying(descriptor->CharacteristicHandle,
                                 value->ClientCharacteristicConfiguration.IsSubscribeToNotification != 0);
}

HRESULT BluetoothGATTRegisterEvent(HANDLE device, BTH_LE_GATT_EVENT_TYPE type, PVOID parameter,
                                   PFNBLUETOOTH_GATT_EVENT_CALLBACK callback, PVOID context,
                                   BLUETOOTH_GATT_EVENT_HANDLE* event, ULONG)
{
    std::shared_ptr<GattServer> server;
    const bool given = type == CharacteristicValueChangedEvent && parameter && callback && event;
    if (HRESULT hr = server_for_call(device, given, server); FAILED(hr))
        return hr;
    const auto* registration = static_cast<const BLUETOOTH_GATT_VALUE_CHANGED_EVENT_REGISTRATION*>(parameter);
    if (registration->NumCharacteristics != 1)
        return E_INVALIDARG;
    auto object = std::make_shared<GattRegistration>();
    object->server = server;
    const USHORT handle = registration->Characteristics[0].AttributeHandle;
    object->watchers.push_back(
        server->add_watcher(handle, [callback, context](std::uint16_t changed, const platform::sim::GattBytes& bytes) {
            std::vector<std::uint64_t> storage((offsetof(BTH_LE_GATT_CHARACTERISTIC_VALUE, Data) + bytes.size() + 8) / 8);
            auto* value = reinterpret_cast<PBTH_LE_GATT_CHARACTERISTIC_VALUE>(storage.data());
            value->DataSize = static_cast<ULONG>(bytes.size());
            if (!bytes.empty())
                std::memcpy(value->Data, bytes.data(), bytes.size());
            BLUETOOTH_GATT_VALUE_CHANGED_EVENT e{};
            e.ChangedAttributeHandle = changed;
            e.CharacteristicValueDataSize = bytes.size();
            e.CharacteristicValue = value;
            callback(CharacteristicValueChangedEvent, &e, context);
        }));
    *event = insert_handle(object);
    return S_OK;
}

HRESULT BluetoothGATTUnregisterEvent(BLUETOOTH_GATT_EVENT_HANDLE event, ULONG)
{
    if (!lookup_handle_as<GattRegistration>(event))
        return E_HANDLE;
    close_handle(event);
    return S_OK;
}

HRESULT BluetoothGATTSetCharacteristicValue(HANDLE device, PBTH_LE_GATT_CHARACTERISTIC characteristic,
                                            PBTH_LE_GATT_CHARACTERISTIC_VALUE value, ULONGLONG, ULONG flags)
{
    std::shared_ptr<GattServer> server;
    if (HRESULT hr = server_for_call(device, characteristic != nullptr && value != nullptr, server); FAILED(hr))
        return hr;
    platform::sim::GattBytes bytes(value->Data, value->Data + value->DataSize);
    return server->write(characteristic->AttributeHandle, bytes, !(flags & BLUETOOTH_GATT_FLAG_WRITE_WITHOUT_RESPONSE));
}
