// The stand-in Windows Runtime's Bluetooth classes over the simulated Bluetooth world.
#include "WinRTGatt.h"

#include <sim/Bluetooth.h>
#include <sim/WinRTBluetooth.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>

namespace platform::detail {
namespace {

using namespace ABI::Windows::Foundation;
using namespace ABI::Windows::Foundation::Collections;
using namespace ABI::Windows::Devices::Bluetooth;
using namespace ABI::Windows::Devices::Bluetooth::GenericAttributeProfile;
using namespace ABI::Windows::Devices::Bluetooth::Advertisement;
using namespace ABI::Windows::Devices::Enumeration;
using namespace ABI::Windows::Devices::Radios;
using sim::GattServer;
using sim::RuntimeDevice;

const char16_t kLeSelector[] = u"System.Devices.Aep.ProtocolId:=\"{bb7bb05e-5972-42b5-94fc-76eaa7084d49}\"";
const char16_t kClassicSelector[] = u"System.Devices.Aep.ProtocolId:=\"{e0cbf06c-cd8b-4647-bb8a-263b43f0f974}\"";
const char16_t kAddressKey[] = u"System.Devices.Aep.DeviceAddress";
const char16_t kConnectedKey[] = u"System.Devices.Aep.IsConnected";
const char16_t kPairedKey[] = u"System.Devices.Aep.IsPaired";

std::u16string address_text(std::uint64_t address)
{
    char text[20];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", unsigned(address >> 40 & 0xFF),
                  unsigned(address >> 32 & 0xFF), unsigned(address >> 24 & 0xFF), unsigned(address >> 16 & 0xFF),
                  unsigned(address >> 8 & 0xFF), unsigned(address & 0xFF));
    return std::u16string(text, text + 17);
}

// Shared state of a COM object that the world fires events on; `self` is the object while it lives.
template <class I>
struct Core {
    std::recursive_mutex mutex;
    I* self = nullptr;
};

struct WatcherCore : Core<IDeviceWatcher> {
    bool lowEnergy = false;
    std::set<std::u16string> properties;
    DeviceWatcherStatus status = DeviceWatcherStatus_Created;
    EventSource<IDeviceWatcher::Added> added;
    EventSource<IDeviceWatcher::Updated> updated;
    EventSource<IDeviceWatcher::Updated> removed;
    EventSource<IDeviceWatcher::Completed> completed;
};

struct LinkCore : Core<IInspectable> {
    std::uint64_t address = 0;
    bool lowEnergy = true;
    EventSource<IBluetoothLEDevice::StatusChanged> le;
    EventSource<IBluetoothDevice::StatusChanged> classic;
};

struct RadioCore : Core<IRadio> {
    EventSource<ITypedEventHandler<IRadio*, IInspectable*>> changed;
};

struct AdvertisementCore : Core<IBluetoothLEAdvertisementWatcher> {
    bool started = false;
    EventSource<IBluetoothLEAdvertisementWatcher::Received> received;
};

struct World {
    std::mutex mutex;
    std::map<std::uint64_t, RuntimeDevice> devices;
    std::vector<std::weak_ptr<WatcherCore>> watchers;
    std::vector<std::weak_ptr<LinkCore>> links;
    std::vector<std::weak_ptr<RadioCore>> radios;
    std::vector<std::weak_ptr<AdvertisementCore>> advertisers;
    int radioAccess = RadioAccessStatus_Allowed;
    int serviceAccess = DeviceAccessStatus_Allowed;
    bool watchersAbort = false;
    bool noLeDevice = false;
    HRESULT resultsFailure = 0;
    unsigned watchersStarted = 0;
};

World& world()
{
    static World& w = *new World;
    return w;
}

}  // namespace

HRESULT runtime_results_failure()
{
    std::lock_guard<std::mutex> lock(world().mutex);
    return world().resultsFailure;
}

int runtime_service_access()
{
    std::lock_guard<std::mutex> lock(world().mutex);
    return world().serviceAccess;
}

namespace {

template <class C>
std::vector<std::shared_ptr<C>> live(std::vector<std::weak_ptr<C>>& list)
{
    std::vector<std::shared_ptr<C>> out;
    for (auto it = list.begin(); it != list.end();) {
        if (auto c = it->lock()) {
            out.push_back(c);
            ++it;
        } else {
            it = list.erase(it);
        }
    }
    return out;
}

// An operation that completes on a runtime thread, or fails its results when asked to.
bool radio_is_on()
{
    auto radios = sim::radios();
    return !radios.empty() && sim::radio_on(radios.front());
}

// ---- enumeration ----

class DeviceInformation : public RuntimeClass<IDeviceInformation, IDeviceInformationUpdate, FtmBase> {
public:
    DeviceInformation(std::u16string id, std::u16string name, ComPtr<PropertyMap> properties)
        : m_id(std::move(id)), m_name(std::move(name)), m_properties(std::move(properties))
    {
    }
    HRESULT get_Id(HSTRING* value) override
    {
        *value = make_hstring(m_id);
        return S_OK;
    }
    HRESULT get_Name(HSTRING* value) override
    {
        *value = make_hstring(m_name);
        return S_OK;
    }
    HRESULT get_Properties(ABI::Windows::Devices::Enumeration::PropertyMap** value) override
    {
        return m_properties.CopyTo(value);
    }

private:
    std::u16string m_id, m_name;
    ComPtr<PropertyMap> m_properties;
};

ComPtr<DeviceInformation> information_of(const WatcherCore& core, const RuntimeDevice& d, bool withConnected)
{
    auto properties = Make<PropertyMap>();
    const std::u16string address = address_text(d.address);
    if (core.properties.count(kAddressKey))
        properties->set(kAddressKey, Make<PropertyValue>(address));
    if (withConnected && core.properties.count(kConnectedKey))
        properties->set(kConnectedKey, Make<PropertyValue>(d.connected));
    if (core.properties.count(kPairedKey))
        properties->set(kPairedKey, Make<PropertyValue>(d.paired));
    const std::u16string id = (d.lowEnergy ? u"BluetoothLE#BluetoothLE00:1a:7d:da:71:13-" : u"Bluetooth#Bluetooth00:1a:7d:da:71:13-") + address;
    return Make<DeviceInformation>(id, sim::to_utf16(d.name), properties);
}

bool listening(const WatcherCore& core)
{
    return core.status == DeviceWatcherStatus_Started || core.status == DeviceWatcherStatus_EnumerationCompleted;
}

class DeviceWatcher : public RuntimeClass<IDeviceWatcher, FtmBase> {
public:
    explicit DeviceWatcher(std::shared_ptr<WatcherCore> core) : m_core(std::move(core))
    {
        m_core->self = this;
        std::lock_guard<std::mutex> lock(world().mutex);
        world().watchers.push_back(m_core);
    }
    ~DeviceWatcher() override
    {
        std::lock_guard<std::recursive_mutex> lock(m_core->mutex);
        m_core->self = nullptr;
    }
    HRESULT add_Added(Added* h, EventRegistrationToken* t) override { return m_core->added.add(h, t); }
    HRESULT remove_Added(EventRegistrationToken t) override { return m_core->added.remove(t); }
    HRESULT add_Updated(Updated* h, EventRegistrationToken* t) override { return m_core->updated.add(h, t); }
    HRESULT remove_Updated(EventRegistrationToken t) override { return m_core->updated.remove(t); }
    HRESULT add_Removed(Updated* h, EventRegistrationToken* t) override { return m_core->removed.add(h, t); }
    HRESULT remove_Removed(EventRegistrationToken t) override { return m_core->removed.remove(t); }
    HRESULT add_EnumerationCompleted(Completed* h, EventRegistrationToken* t) override { return m_core->completed.add(h, t); }
    HRESULT remove_EnumerationCompleted(EventRegistrationToken t) override { return m_core->completed.remove(t); }
    HRESULT get_Status(DeviceWatcherStatus* status) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_core->mutex);
        *status = m_core->status;
        return S_OK;
    }
    HRESULT Start() override
    {
        {
            std::lock_guard<std::recursive_mutex> lock(m_core->mutex);
            if (m_core->status != DeviceWatcherStatus_Created && m_core->status != DeviceWatcherStatus_Stopped &&
                m_core->status != DeviceWatcherStatus_Aborted)
                return E_ILLEGAL_METHOD_CALL;
            m_core->status = DeviceWatcherStatus_Started;
        }
        {
            std::lock_guard<std::mutex> lock(world().mutex);
            ++world().watchersStarted;
        }
        std::weak_ptr<WatcherCore> weak = m_core;
        post_runtime_event([weak] {
            auto core = weak.lock();
            if (!core)
                return;
            std::vector<RuntimeDevice> devices;
            bool abort;
            {
                std::lock_guard<std::mutex> lock(world().mutex);
                for (const auto& entry : world().devices)
                    if (entry.second.lowEnergy == core->lowEnergy && entry.second.paired)
                        devices.push_back(entry.second);
                abort = world().watchersAbort;
            }
            std::lock_guard<std::recursive_mutex> lock(core->mutex);
            if (!core->self || core->status != DeviceWatcherStatus_Started)
                return;
            if (abort) {
                core->status = DeviceWatcherStatus_Aborted;
                return;
            }
            for (const auto& d : devices)
                core->added.invoke(core->self, static_cast<IDeviceInformation*>(information_of(*core, d, true).Get()));
            core->status = DeviceWatcherStatus_EnumerationCompleted;
            core->completed.invoke(core->self, static_cast<IInspectable*>(nullptr));
        });
        return S_OK;
    }
    HRESULT Stop() override
    {
        std::lock_guard<std::recursive_mutex> lock(m_core->mutex);
        if (!listening(*m_core))
            return E_ILLEGAL_METHOD_CALL;
        m_core->status = DeviceWatcherStatus_Stopped;
        return S_OK;
    }

private:
    std::shared_ptr<WatcherCore> m_core;
};

class DeviceInformationStatics : public RuntimeClass<IDeviceInformationStatics, FtmBase> {
public:
    HRESULT CreateWatcherAqsFilterAndAdditionalProperties(HSTRING filter, IIterable<HSTRING>* properties,
                                                          IDeviceWatcher** watcher) override
    {
        if (!watcher)
            return E_POINTER;
        const std::u16string text = hstring_text(filter);
        if (text != kLeSelector && text != kClassicSelector)
            return E_INVALIDARG;
        auto core = std::make_shared<WatcherCore>();
        core->lowEnergy = text == kLeSelector;
        if (properties) {
            ComPtr<IIterator<HSTRING>> it;
            HRESULT hr = properties->First(it.GetAddressOf());
            if (FAILED(hr))
                return hr;
            boolean has = false;
            for (hr = it->get_HasCurrent(&has); SUCCEEDED(hr) && has; hr = it->MoveNext(&has)) {
                HSTRING item = nullptr;
                if (FAILED(it->get_Current(&item)))
                    return E_INVALIDARG;
                core->properties.insert(hstring_text(item));
            }
        }
        return Make<DeviceWatcher>(core).CopyTo(watcher);
    }
};

// ---- devices ----

class LinkDevice : public RuntimeClass<IBluetoothLEDevice, IBluetoothLEDevice3, IBluetoothDevice, IClosable, FtmBase> {
public:
    LinkDevice(const RuntimeDevice& d) : m_address(d.address), m_name(sim::to_utf16(d.name)), m_gatt(d.gatt)
    {
        m_core->address = d.address;
        m_core->lowEnergy = d.lowEnergy;
        m_core->self = static_cast<IBluetoothLEDevice*>(this);
        std::lock_guard<std::mutex> lock(world().mutex);
        world().links.push_back(m_core);
    }
    ~LinkDevice() override { Close(); }
    HRESULT get_Name(HSTRING* value) override
    {
        *value = make_hstring(m_name);
        return S_OK;
    }
    HRESULT get_ConnectionStatus(BluetoothConnectionStatus* value) override
    {
        std::lock_guard<std::mutex> lock(world().mutex);
        auto it = world().devices.find(m_address);
        *value = it != world().devices.end() && it->second.connected ? BluetoothConnectionStatus_Connected
                                                                    : BluetoothConnectionStatus_Disconnected;
        return S_OK;
    }
    HRESULT add_ConnectionStatusChanged(IBluetoothLEDevice::StatusChanged* h, EventRegistrationToken* t) override
    {
        return m_core->le.add(h, t);
    }
    HRESULT add_ConnectionStatusChanged(IBluetoothDevice::StatusChanged* h, EventRegistrationToken* t) override
    {
        return m_core->classic.add(h, t);
    }
    HRESULT remove_ConnectionStatusChanged(EventRegistrationToken t) override
    {
        m_core->le.remove(t);
        return m_core->classic.remove(t);
    }
    HRESULT GetGattServicesWithCacheModeAsync(BluetoothCacheMode mode, IAsyncOperation<IGattDeviceServicesResult*>** operation) override
    {
        return complete_later<IGattDeviceServicesResult*>(services_result(m_gatt, mode), operation);
    }
    HRESULT Close() override
    {
        std::lock_guard<std::recursive_mutex> lock(m_core->mutex);
        m_core->self = nullptr;
        return S_OK;
    }

private:
    std::uint64_t m_address;
    std::u16string m_name;
    std::shared_ptr<GattServer> m_gatt;
    std::shared_ptr<LinkCore> m_core = std::make_shared<LinkCore>();
};

template <class I>
HRESULT from_address(std::uint64_t address, bool lowEnergy, IAsyncOperation<I*>** operation)
{
    ComPtr<I> device;
    {
        std::unique_lock<std::mutex> lock(world().mutex);
        auto it = world().devices.find(address);
        const bool none = it == world().devices.end() || it->second.lowEnergy != lowEnergy ||
                          (lowEnergy && world().noLeDevice);
        if (!none) {
            const RuntimeDevice d = it->second;
            lock.unlock();
            device = Make<LinkDevice>(d);
        }
    }
    return complete_later<I*>(device, operation);
}

class LeDeviceStatics : public RuntimeClass<IBluetoothLEDeviceStatics, FtmBase> {
public:
    HRESULT FromBluetoothAddressAsync(std::uint64_t address, IAsyncOperation<IBluetoothLEDevice*>** operation) override
    {
        return from_address<IBluetoothLEDevice>(address, true, operation);
    }
    HRESULT GetDeviceSelector(HSTRING* selector) override
    {
        *selector = make_hstring(kLeSelector);
        return S_OK;
    }
};

class ClassicDeviceStatics : public RuntimeClass<IBluetoothDeviceStatics, FtmBase> {
public:
    HRESULT FromBluetoothAddressAsync(std::uint64_t address, IAsyncOperation<IBluetoothDevice*>** operation) override
    {
        return from_address<IBluetoothDevice>(address, false, operation);
    }
    HRESULT GetDeviceSelector(HSTRING* selector) override
    {
        *selector = make_hstring(kClassicSelector);
        return S_OK;
    }
};

// ---- radio ----

class Radio : public RuntimeClass<IRadio, FtmBase> {
public:
    Radio()
    {
        m_core->self = this;
        std::lock_guard<std::mutex> lock(world().mutex);
        world().radios.push_back(m_core);
    }
    ~Radio() override
    {
        std::lock_guard<std::recursive_mutex> lock(m_core->mutex);
        m_core->self = nullptr;
    }
    HRESULT add_StateChanged(ITypedEventHandler<IRadio*, IInspectable*>* h, EventRegistrationToken* t) override
    {
        return m_core->changed.add(h, t);
    }
    HRESULT remove_StateChanged(EventRegistrationToken t) override { return m_core->changed.remove(t); }
    HRESULT get_State(RadioState* value) override
    {
        *value = radio_is_on() ? RadioState_On : RadioState_Off;
        return S_OK;
    }
    HRESULT get_Kind(RadioKind* value) override
    {
        *value = RadioKind_Bluetooth;
        return S_OK;
    }

private:
    std::shared_ptr<RadioCore> m_core = std::make_shared<RadioCore>();
};

class RadioStatics : public RuntimeClass<IRadioStatics, FtmBase> {
public:
    HRESULT GetRadiosAsync(IAsyncOperation<IVectorView<IRadio*>*>** operation) override
    {
        std::vector<ComPtr<IRadio>> items;
        if (!sim::radios().empty())
            items.push_back(Make<Radio>());
        return complete_later<IVectorView<IRadio*>*>(
            ComPtr<IVectorView<IRadio*>>(Make<VectorView<IRadio*>>(items)), operation);
    }
    HRESULT RequestAccessAsync(IAsyncOperation<RadioAccessStatus>** operation) override
    {
        int access;
        {
            std::lock_guard<std::mutex> lock(world().mutex);
            access = world().radioAccess;
        }
        return complete_later<RadioAccessStatus>(static_cast<RadioAccessStatus>(access), operation);
    }
};

// ---- advertisements ----

class AdvertisementData : public RuntimeClass<IBluetoothLEAdvertisement, FtmBase> {
public:
    AdvertisementData(std::u16string name, std::vector<GUID> services) : m_name(std::move(name)), m_services(std::move(services)) {}
    HRESULT get_LocalName(HSTRING* value) override
    {
        *value = make_hstring(m_name);
        return S_OK;
    }
    HRESULT get_ServiceUuids(IVectorView<GUID>** value) override
    {
        return Make<VectorView<GUID>>(m_services).CopyTo(value);
    }

private:
    std::u16string m_name;
    std::vector<GUID> m_services;
};

class ReceivedArgs : public RuntimeClass<IBluetoothLEAdvertisementReceivedEventArgs, FtmBase> {
public:
    ReceivedArgs(std::uint64_t address, ComPtr<IBluetoothLEAdvertisement> data) : m_address(address), m_data(std::move(data)) {}
    HRESULT get_BluetoothAddress(std::uint64_t* value) override
    {
        *value = m_address;
        return S_OK;
    }
    HRESULT get_Advertisement(IBluetoothLEAdvertisement** value) override { return m_data.CopyTo(value); }

private:
    std::uint64_t m_address;
    ComPtr<IBluetoothLEAdvertisement> m_data;
};

class AdvertisementWatcher : public RuntimeClass<IBluetoothLEAdvertisementWatcher, FtmBase> {
public:
    AdvertisementWatcher()
    {
        m_core->self = this;
        std::lock_guard<std::mutex> lock(world().mutex);
        world().advertisers.push_back(m_core);
    }
    ~AdvertisementWatcher() override
    {
        std::lock_guard<std::recursive_mutex> lock(m_core->mutex);
        m_core->self = nullptr;
    }
    HRESULT put_ScanningMode(BluetoothLEScanningMode) override { return S_OK; }
    HRESULT Start() override
    {
        std::lock_guard<std::recursive_mutex> lock(m_core->mutex);
        m_core->started = true;
        return S_OK;
    }
    HRESULT Stop() override
    {
        std::lock_guard<std::recursive_mutex> lock(m_core->mutex);
        m_core->started = false;
        return S_OK;
    }
    HRESULT add_Received(Received* h, EventRegistrationToken* t) override { return m_core->received.add(h, t); }
    HRESULT remove_Received(EventRegistrationToken t) override { return m_core->received.remove(t); }

private:
    std::shared_ptr<AdvertisementCore> m_core = std::make_shared<AdvertisementCore>();
};

template <class T>
platform::sim::ActivationFactory factory_of()
{
    return [](REFIID iid, void** out) { return Make<T>()->QueryInterface(iid, out); };
}

const bool g_installed = [] {
    using platform::sim::register_activation_factory;
    register_activation_factory(u"Windows.Devices.Enumeration.DeviceInformation", factory_of<DeviceInformationStatics>());
    register_activation_factory(u"Windows.Devices.Bluetooth.BluetoothLEDevice", factory_of<LeDeviceStatics>());
    register_activation_factory(u"Windows.Devices.Bluetooth.BluetoothDevice", factory_of<ClassicDeviceStatics>());
    register_activation_factory(u"Windows.Devices.Radios.Radio", factory_of<RadioStatics>());
    platform::sim::register_activatable_class(
        u"Windows.Devices.Bluetooth.Advertisement.BluetoothLEAdvertisementWatcher", [](IInspectable** out) {
            return Make<AdvertisementWatcher>().CopyTo(reinterpret_cast<IBluetoothLEAdvertisementWatcher**>(out));
        });
    add_reset_hook([] {
        std::lock_guard<std::mutex> lock(world().mutex);
        world().devices.clear();
        world().radioAccess = RadioAccessStatus_Allowed;
        world().serviceAccess = DeviceAccessStatus_Allowed;
        world().watchersAbort = false;
        world().noLeDevice = false;
        world().resultsFailure = 0;
    });
    return true;
}();

void fire_watchers(std::function<void(WatcherCore&)> fire)
{
    std::vector<std::shared_ptr<WatcherCore>> cores;
    {
        std::lock_guard<std::mutex> lock(world().mutex);
        cores = live(world().watchers);
    }
    post_runtime_event([cores, fire] {
        for (const auto& core : cores) {
            std::lock_guard<std::recursive_mutex> lock(core->mutex);
            if (core->self && listening(*core))
                fire(*core);
        }
    });
}

}  // namespace
}  // namespace platform::detail

namespace platform::sim {

using namespace platform::detail;

void runtime_set_device(const RuntimeDevice& device)
{
    bool added;
    {
        std::lock_guard<std::mutex> lock(world().mutex);
        auto& slot = world().devices[device.address];
        added = !(slot.address == device.address && slot.paired) && device.paired;
        slot = device;
    }
    if (added)
        fire_watchers([device](WatcherCore& core) {
            if (core.lowEnergy == device.lowEnergy)
                core.added.invoke(core.self, static_cast<IDeviceInformation*>(information_of(core, device, true).Get()));
        });
}

void runtime_remove_device(std::uint64_t address)
{
    RuntimeDevice gone;
    {
        std::lock_guard<std::mutex> lock(world().mutex);
        auto it = world().devices.find(address);
        if (it == world().devices.end())
            return;
        gone = it->second;
        world().devices.erase(it);
    }
    fire_watchers([gone](WatcherCore& core) {
        if (core.lowEnergy == gone.lowEnergy)
            core.removed.invoke(core.self, static_cast<IDeviceInformationUpdate*>(information_of(core, gone, false).Get()));
    });
}

void runtime_set_connected(std::uint64_t address, bool connected)
{
    RuntimeDevice d;
    std::vector<std::shared_ptr<LinkCore>> links;
    {
        std::lock_guard<std::mutex> lock(world().mutex);
        auto it = world().devices.find(address);
        if (it == world().devices.end())
            return;
        it->second.connected = connected;
        d = it->second;
        links = live(world().links);
    }
    fire_watchers([d](WatcherCore& core) {
        if (core.lowEnergy == d.lowEnergy)
            core.updated.invoke(core.self, static_cast<IDeviceInformationUpdate*>(information_of(core, d, true).Get()));
    });
    post_runtime_event([links, address] {
        for (const auto& link : links) {
            if (link->address != address)
                continue;
            std::lock_guard<std::recursive_mutex> lock(link->mutex);
            if (!link->self)
                continue;
            auto* le = static_cast<IBluetoothLEDevice*>(link->self);
            link->le.invoke(le, static_cast<IInspectable*>(nullptr));
            // The classic face of the same object.
            ComPtr<IBluetoothDevice> classic;
            if (SUCCEEDED(le->QueryInterface(IBluetoothDevice::iid(), reinterpret_cast<void**>(classic.GetAddressOf()))))
                link->classic.invoke(classic.Get(), static_cast<IInspectable*>(nullptr));
        }
    });
}

void runtime_advertise(std::uint64_t address, const std::string& localName, const std::vector<GUID>& services)
{
    std::vector<std::shared_ptr<AdvertisementCore>> cores;
    {
        std::lock_guard<std::mutex> lock(world().mutex);
        cores = live(world().advertisers);
    }
    const std::u16string name = to_utf16(localName);
    post_runtime_event([cores, address, name, services] {
        for (const auto& core : cores) {
            std::lock_guard<std::recursive_mutex> lock(core->mutex);
            if (!core->self || !core->started)
                continue;
            auto args = Make<ReceivedArgs>(address, Make<AdvertisementData>(name, services));
            core->received.invoke(core->self, static_cast<IBluetoothLEAdvertisementReceivedEventArgs*>(args.Get()));
        }
    });
}

void runtime_radio_changed()
{
    std::vector<std::shared_ptr<RadioCore>> cores;
    {
        std::lock_guard<std::mutex> lock(world().mutex);
        cores = live(world().radios);
    }
    if (!radio_is_on()) {
        // The radio going off stops the device watchers (the platform aborts them).
        std::vector<std::shared_ptr<WatcherCore>> watchers;
        {
            std::lock_guard<std::mutex> lock(world().mutex);
            watchers = live(world().watchers);
        }
        for (const auto& w : watchers) {
            std::lock_guard<std::recursive_mutex> lock(w->mutex);
            if (listening(*w))
                w->status = DeviceWatcherStatus_Aborted;
        }
    }
    post_runtime_event([cores] {
        for (const auto& core : cores) {
            std::lock_guard<std::recursive_mutex> lock(core->mutex);
            if (core->self)
                core->changed.invoke(core->self, static_cast<IInspectable*>(nullptr));
        }
    });
}

void set_runtime_radio_access(int status)
{
    std::lock_guard<std::mutex> lock(world().mutex);
    world().radioAccess = status;
}

void set_runtime_watchers_abort(bool abort)
{
    std::lock_guard<std::mutex> lock(world().mutex);
    world().watchersAbort = abort;
}

void set_runtime_no_le_device(bool none)
{
    std::lock_guard<std::mutex> lock(world().mutex);
    world().noLeDevice = none;
}

void set_runtime_service_access(int status)
{
    std::lock_guard<std::mutex> lock(world().mutex);
    world().serviceAccess = status;
}

void set_runtime_results_failure(HRESULT error)
{
    std::lock_guard<std::mutex> lock(world().mutex);
    world().resultsFailure = error;
}

unsigned runtime_watchers_started()
{
    std::lock_guard<std::mutex> lock(world().mutex);
    return world().watchersStarted;
}

std::size_t runtime_live_watchers()
{
    std::lock_guard<std::mutex> lock(world().mutex);
    return live(world().watchers).size();
}

}  // namespace platform::sim
