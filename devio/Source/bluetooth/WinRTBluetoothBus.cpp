#include "bluetooth/WinRTBluetoothBus.h"

#include "bluetooth/AsyncBridge.h"
#include "bluetooth/WinRTBinding.h"
#include "bluetooth/WinRTBluetoothDevice.h"
#include "bluetooth/WinRTDelegate.h"
#include "bluetooth/WinRTFactories.h"
#include "bluetooth/WinRTVector.h"
#include "core/Timing.h"
#include "Windows/Win32Bus.h"

#include <cstdio>

namespace devio {

using Microsoft::WRL::ComPtr;
using namespace ABI::Windows::Foundation;
using namespace ABI::Windows::Foundation::Collections;
using namespace ABI::Windows::Devices::Enumeration;
using namespace ABI::Windows::Devices::Radios;
using namespace ABI::Windows::Devices::Bluetooth;
using namespace ABI::Windows::Devices::Bluetooth::Advertisement;

namespace {

const WCHAR kAddressKey[] = QUILLON_W("System.Devices.Aep.DeviceAddress");
const WCHAR kConnectedKey[] = QUILLON_W("System.Devices.Aep.IsConnected");
const WCHAR kPairedKey[] = QUILLON_W("System.Devices.Aep.IsPaired");
const GUID kProtocolService = {0x00010000, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};
const GUID kSecondService = {0x00050000, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};
constexpr std::size_t kAddressTextLength = 17;
// However the platform behaves, enumerate does not wait longer than this for the watchers.
constexpr std::uint64_t kEnumerationBackstopMs = 30000;

// The named property's value, null where the map or the name is missing.
ComPtr<IPropertyValue> property_value(const WCHAR* name, PropertyMap* properties)
{
    if (!properties)
        return nullptr;
    HString key = hstring_create(name);
    boolean found = false;
    check_hresult(properties->HasKey(key.get(), &found));
    if (!found)
        return nullptr;
    ComPtr<IInspectable> value;
    check_hresult(properties->Lookup(key.get(), value.GetAddressOf()));
    ComPtr<IPropertyValue> property;
    check_hresult(value.As(&property));
    return property;
}

} // namespace

std::shared_ptr<WinRTBluetoothBus> WinRTBluetoothBus::create(const std::shared_ptr<Win32Bus>& parent, bool watchLowEnergy)
{
    auto bus = std::make_shared<WinRTBluetoothBus>(parent, watchLowEnergy);
    bus->setup();
    return bus;
}

WinRTBluetoothBus::WinRTBluetoothBus(const std::shared_ptr<Win32Bus>& parent, bool watchLowEnergy)
    : m_watch_le(watchLowEnergy)
{
    if (parent) {
        m_manager = parent->device_manager();
        set_run_loop(parent->Producer<IHardwareBus::PlugUnplug>::get_run_loop());
    }
}

void WinRTBluetoothBus::setup()
{
    if (auto manager = m_manager.lock())
        Subscriber<IDeviceManager::ConfigChanged>::subscribe(manager, 0, "");
    // The watchers take the additional properties as a collection; the strings outlive it.
    HString names[] = {hstring_create(kAddressKey), hstring_create(kConnectedKey), hstring_create(kPairedKey)};
    auto properties = Microsoft::WRL::Make<WinRTVector<HSTRING>>();
    for (auto& n : names)
        check_hresult(properties->Append(n.get()));
    auto information = get_device_information_statics();
    auto create_watcher = [&](HSTRING selector, WatcherTokens& w, bool lowEnergy) {
        ComPtr<IIterable<HSTRING>> iterable;
        check_hresult(properties.As(&iterable));
        check_hresult(information->CreateWatcherAqsFilterAndAdditionalProperties(selector, iterable.Get(),
                                                                                 w.watcher.GetAddressOf()));
        register_watcher(w, lowEnergy);
    };
    if (!m_watch_le) {
        m_le_completed = true;
    } else {
        HString selector;
        check_hresult(get_bluetooth_le_device_statics()->GetDeviceSelector(selector.put()));
        create_watcher(selector.get(), m_le, true);
    }
    {
        HString selector;
        check_hresult(get_bluetooth_device_statics()->GetDeviceSelector(selector.put()));
        create_watcher(selector.get(), m_classic, false);
    }

    ComPtr<IInspectable> instance;
    HString className =
        hstring_create(QUILLON_W("Windows.Devices.Bluetooth.Advertisement.BluetoothLEAdvertisementWatcher"));
    check_hresult(ro_activate_instance(className.get(), instance.GetAddressOf()));
    check_hresult(instance.As(&m_advertiser));
    std::weak_ptr<WinRTBluetoothBus> weak = weak_from_this();
    auto received = make_delegate<IBluetoothLEAdvertisementWatcher*, IBluetoothLEAdvertisementReceivedEventArgs*>(
        [weak](IBluetoothLEAdvertisementWatcher*, IBluetoothLEAdvertisementReceivedEventArgs* args) {
            if (auto self = weak.lock())
                self->onAdvertisementReceived(args);
        });
    check_hresult(m_advertiser->add_Received(received.Get(), &m_advertiser_token));

    find_bluetooth_radio();
}

void WinRTBluetoothBus::register_watcher(WatcherTokens& w, bool)
{
    std::weak_ptr<WinRTBluetoothBus> weak = weak_from_this();
    auto added = make_delegate<IDeviceWatcher*, IDeviceInformation*>([weak](IDeviceWatcher* s, IDeviceInformation* i) {
        if (auto self = weak.lock())
            self->onAdded(s, i);
    });
    auto completed = make_delegate<IDeviceWatcher*, IInspectable*>([weak](IDeviceWatcher* s, IInspectable*) {
        if (auto self = weak.lock())
            self->onEnumerationCompleted(s);
    });
    auto updated = make_delegate<IDeviceWatcher*, IDeviceInformationUpdate*>(
        [weak](IDeviceWatcher* s, IDeviceInformationUpdate* u) {
            if (auto self = weak.lock())
                self->onUpdated(s, u);
        });
    auto removed = make_delegate<IDeviceWatcher*, IDeviceInformationUpdate*>(
        [weak](IDeviceWatcher* s, IDeviceInformationUpdate* u) {
            if (auto self = weak.lock())
                self->onRemoved(s, u);
        });
    check_hresult(w.watcher->add_Added(added.Get(), &w.added));
    check_hresult(w.watcher->add_EnumerationCompleted(completed.Get(), &w.completed));
    check_hresult(w.watcher->add_Updated(updated.Get(), &w.updated));
    check_hresult(w.watcher->add_Removed(removed.Get(), &w.removed));
}

void WinRTBluetoothBus::find_bluetooth_radio()
{
    auto statics = get_radio_statics();
    ComPtr<IAsyncOperation<RadioAccessStatus>> access;
    check_hresult(statics->RequestAccessAsync(access.GetAddressOf()));
    if (await(access) != RadioAccessStatus_Allowed)
        return;
    ComPtr<IAsyncOperation<IVectorView<IRadio*>*>> listing;
    check_hresult(statics->GetRadiosAsync(listing.GetAddressOf()));
    ComPtr<IVectorView<IRadio*>> radios = await<IVectorView<IRadio*>*>(listing);
    if (!radios)
        return;
    std::uint32_t count = 0;
    check_hresult(radios->get_Size(&count));
    for (std::uint32_t i = 0; i < count; ++i) {
        ComPtr<IRadio> radio;
        check_hresult(radios->GetAt(i, radio.GetAddressOf()));
        RadioKind kind = RadioKind_Other;
        check_hresult(radio->get_Kind(&kind));
        if (kind != RadioKind_Bluetooth)
            continue;
        m_radio = radio;
        std::weak_ptr<WinRTBluetoothBus> weak = weak_from_this();
        auto changed = make_delegate<IRadio*, IInspectable*>([weak](IRadio*, IInspectable*) {
            if (auto self = weak.lock())
                self->onRadioStateChanged();
        });
        check_hresult(m_radio->add_StateChanged(changed.Get(), &m_radio_token));
        return;
    }
}

WinRTBluetoothBus::~WinRTBluetoothBus()
{
    // Nothing here may throw: every platform failure is dropped.
    Subscriber<IDeviceManager::ConfigChanged>::stop_deliveries();
    for (WatcherTokens* w : {&m_le, &m_classic}) {
        if (!w->watcher)
            continue;
        w->watcher->remove_Added(w->added);
        w->watcher->remove_EnumerationCompleted(w->completed);
        w->watcher->remove_Updated(w->updated);
        w->watcher->remove_Removed(w->removed);
        w->watcher.Reset();
    }
    if (m_advertiser) {
        m_advertiser->Stop();
        {
            std::lock_guard<std::mutex> lock(m_advertisement_mutex);
            m_advertised.clear();
        }
        m_advertiser->remove_Received(m_advertiser_token);
        m_advertiser.Reset();
    }
    if (m_radio) {
        m_radio->remove_StateChanged(m_radio_token);
        m_radio.Reset();
    }
    std::lock_guard<std::recursive_mutex> lock(m_device_mutex);
    m_devices.clear();
}

bool WinRTBluetoothBus::radio_on()
{
    // No radio counts as a radio that is off.
    if (!m_radio)
        return false;
    RadioState state = RadioState_Unknown;
    check_hresult(m_radio->get_State(&state));
    return state == RadioState_On;
}

void WinRTBluetoothBus::on_subscriber_stored(IHardwareBus::PlugUnplug*)
{
    // Only now: the watchers report their first devices on another thread, which must find
    // the new subscriber already stored.
    try {
        if (radio_on())
            start_watchers();
    } catch (const DevioException& e) {
        e.to_last_error();
    }
}

void WinRTBluetoothBus::start_watchers()
{
    for (WatcherTokens* w : {&m_le, &m_classic}) {
        if (!w->watcher)
            continue;
        DeviceWatcherStatus status = DeviceWatcherStatus_Created;
        check_hresult(w->watcher->get_Status(&status));
        if (status == DeviceWatcherStatus_Created || status == DeviceWatcherStatus_Stopped ||
            status == DeviceWatcherStatus_Aborted)
            check_hresult(w->watcher->Start());
    }
}

std::vector<std::shared_ptr<IHardwareDevice>> WinRTBluetoothBus::enumerate()
{
    std::vector<std::shared_ptr<IHardwareDevice>> result;
    try {
        if (radio_on()) {
            // Until both watchers completed their first enumeration, the radio changed, or the
            // backstop passed: a watcher that aborts or a radio that goes off ends the wait.
            std::unique_lock<std::mutex> lock(m_enumeration_mutex);
            const unsigned changes = m_radio_changes;
            m_enumeration_changed.wait_for(lock, Timing::scaledDuration(kEnumerationBackstopMs), [&] {
                return (m_le_completed && m_classic_completed) || m_radio_changes != changes;
            });
        }
    } catch (const DevioException& e) {
        e.to_last_error();
        return result;
    }
    std::lock_guard<std::recursive_mutex> lock(m_device_mutex);
    for (const auto& entry : m_devices)
        result.push_back(entry.second);
    return result;
}

void WinRTBluetoothBus::onEnumerationCompleted(IDeviceWatcher* sender)
{
    {
        std::lock_guard<std::mutex> lock(m_enumeration_mutex);
        if (m_classic.watcher && sender == m_classic.watcher.Get())
            m_classic_completed = true;
        else if (m_le.watcher && sender == m_le.watcher.Get())
            m_le_completed = true;
        else
            throw std::runtime_error("No DeviceWatcher");
    }
    m_enumeration_changed.notify_all();
}

std::optional<std::string> WinRTBluetoothBus::read_string_property(const WCHAR* name, PropertyMap* properties)
{
    ComPtr<IPropertyValue> property = property_value(name, properties);
    if (!property)
        return std::nullopt;
    HString text;
    check_hresult(property->GetString(text.put()));
    return text.utf8();
}

std::optional<bool> WinRTBluetoothBus::read_bool_property(const WCHAR* name, PropertyMap* properties)
{
    ComPtr<IPropertyValue> property = property_value(name, properties);
    if (!property)
        return std::nullopt;
    boolean flag = false;
    check_hresult(property->GetBoolean(&flag));
    return flag != 0;
}

void WinRTBluetoothBus::onAdded(IDeviceWatcher* sender, IDeviceInformation* information)
{
    HString id, name;
    check_hresult(information->get_Id(id.put()));
    check_hresult(information->get_Name(name.put()));
    ComPtr<PropertyMap> properties;
    check_hresult(information->get_Properties(properties.GetAddressOf()));
    update_device(sender, id.utf8(), properties.Get(), name.utf8());
}

void WinRTBluetoothBus::onUpdated(IDeviceWatcher* sender, IDeviceInformationUpdate* update)
{
    HString id;
    check_hresult(update->get_Id(id.put()));
    ComPtr<PropertyMap> properties;
    check_hresult(update->get_Properties(properties.GetAddressOf()));
    update_device(sender, id.utf8(), properties.Get(), std::string());
}

void WinRTBluetoothBus::publish(bool plug, const std::shared_ptr<WinRTBluetoothDevice>& device)
{
    std::shared_ptr<IHardwareDevice> hardware = device;
    if (plug)
        notify([hardware](IHardwareBus::PlugUnplug* s) { s->onPlug(hardware); }, "WinRTBluetoothBus::PlugUnplug::onPlug");
    else
        notify([hardware](IHardwareBus::PlugUnplug* s) { s->onUnplug(hardware); },
               "WinRTBluetoothBus::PlugUnplug::onUnplug");
}

void WinRTBluetoothBus::remove_duplicate_locked(const std::shared_ptr<WinRTBluetoothDevice>& device)
{
    // The same device under another address (a bootloader that came back elsewhere). Devices
    // whose serial was never read take no part.
    const std::string serial = device->serial_number();
    if (serial.empty())
        return;
    for (auto it = m_devices.begin(); it != m_devices.end(); ++it) {
        if (it->first == device->getPath() || !it->second || it->second->serial_number() != serial)
            continue;
        auto old = it->second;
        m_devices.erase(it);
        publish(false, old);
        return;
    }
}

void WinRTBluetoothBus::update_device(IDeviceWatcher* sender, const std::string& id, PropertyMap* properties,
                                      const std::string& name)
{
    if (!radio_on())
        return;
    const bool lowEnergy = m_le.watcher && sender == m_le.watcher.Get();
    const std::optional<std::string> address = read_string_property(kAddressKey, properties);
    const std::optional<bool> connected = read_bool_property(kConnectedKey, properties);
    const std::string key = address ? *address : id.substr(id.size() - std::min(id.size(), kAddressTextLength));
    if (!address && id.size() < kAddressTextLength)
        throw std::out_of_range("device id shorter than an address");

    std::lock_guard<std::recursive_mutex> lock(m_device_mutex);
    auto it = m_devices.find(key);
    std::shared_ptr<WinRTBluetoothDevice> device = it == m_devices.end() ? nullptr : it->second;
    if (!device) {
        // Entered only once made and opened: a failure leaves no empty entry behind.
        auto made = std::make_shared<WinRTBluetoothDevice>(shared_from_this(), key, name, lowEnergy);
        made->open_or_throw();
        if (name.empty() && lowEnergy) {
            HString platformName;
            check_hresult(made->m_ble_device()->get_Name(platformName.put()));
            made->set_name(platformName.utf8());
        }
        m_devices[key] = made;
        remove_duplicate_locked(made);
        publish(true, made);
        device = made;
    }
    if (connected)
        device->set_connected(*connected);
}

void WinRTBluetoothBus::onRemoved(IDeviceWatcher*, IDeviceInformationUpdate* update)
{
    ComPtr<PropertyMap> properties;
    check_hresult(update->get_Properties(properties.GetAddressOf()));
    const std::optional<std::string> address = read_string_property(kAddressKey, properties.Get());
    if (!address)
        return;
    std::lock_guard<std::recursive_mutex> lock(m_device_mutex);
    auto it = m_devices.find(*address);
    if (it == m_devices.end())
        return;
    auto device = it->second;
    m_devices.erase(it);
    if (device)
        publish(false, device);
}

std::string WinRTBluetoothBus::format_address(const std::uint8_t bytes[6])
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                  bytes[5]);
    return text;
}

void WinRTBluetoothBus::onAdvertisementReceived(IBluetoothLEAdvertisementReceivedEventArgs* args)
{
    std::uint64_t raw = 0;
    check_hresult(args->get_BluetoothAddress(&raw));
    std::uint8_t bytes[6];
    for (int i = 0; i < 6; ++i)
        bytes[i] = static_cast<std::uint8_t>(raw >> (8 * (5 - i)));
    const std::string address = format_address(bytes);
    ComPtr<IBluetoothLEAdvertisement> advertisement;
    check_hresult(args->get_Advertisement(advertisement.GetAddressOf()));
    HString localName;
    check_hresult(advertisement->get_LocalName(localName.put()));
    const std::string name = localName.utf8();
    ComPtr<IVectorView<GUID>> uuids;
    check_hresult(advertisement->get_ServiceUuids(uuids.GetAddressOf()));
    std::uint32_t count = 0;
    check_hresult(uuids->get_Size(&count));
    std::vector<GUID> services(count);
    for (std::uint32_t i = 0; i < count; ++i)
        check_hresult(uuids->GetAt(i, &services[i]));

    std::shared_ptr<WinRTBluetoothDevice> device;
    {
        std::lock_guard<std::mutex> lock(m_advertisement_mutex);
        auto& slot = m_advertised[address];
        if (!slot)
            slot = std::make_shared<WinRTBluetoothDevice>(shared_from_this(), address, name, true);
        else
            slot->set_name(name);
        device = slot;
    }
    for (const GUID& uuid : services) {
        if (!(uuid == kProtocolService) && !(uuid == kSecondService))
            continue;
        if (device->getName().empty() || !device->open())
            return;
        std::lock_guard<std::recursive_mutex> lock(m_device_mutex);
        remove_duplicate_locked(device);
        auto& entry = m_devices[address];
        if (!entry) {
            entry = device;
            publish(true, device);
        }
        return;
    }
}

void WinRTBluetoothBus::onConfigChanged(ConfigItem item, bool value)
{
    if (item != ConfigItem(4))
        return;
    try {
        if (!radio_on())
            return;
        if (value)
            start_active_scanning();
        else
            stop_active_scanning();
    } catch (const DevioException& e) {
        e.to_last_error();
    }
}

void WinRTBluetoothBus::start_active_scanning()
{
    if (!m_advertiser)
        return;
    check_hresult(m_advertiser->put_ScanningMode(BluetoothLEScanningMode_Active));
    check_hresult(m_advertiser->Start());
}

void WinRTBluetoothBus::stop_active_scanning()
{
    if (!m_advertiser)
        return;
    check_hresult(m_advertiser->Stop());
    std::lock_guard<std::mutex> lock(m_advertisement_mutex);
    m_advertised.clear();
}

void WinRTBluetoothBus::onRadioStateChanged()
{
    {
        std::lock_guard<std::mutex> lock(m_enumeration_mutex);
        ++m_radio_changes;
    }
    m_enumeration_changed.notify_all();
    if (!radio_on()) {
        for (WatcherTokens* w : {&m_le, &m_classic}) {
            if (!w->watcher)
                continue;
            DeviceWatcherStatus status = DeviceWatcherStatus_Created;
            check_hresult(w->watcher->get_Status(&status));
            if (status == DeviceWatcherStatus_Started || status == DeviceWatcherStatus_EnumerationCompleted)
                w->watcher->Stop();
        }
        return;
    }
    start_watchers();
    bool scanning = false;
    if (auto manager = m_manager.lock())
        if (manager->getConfig(ConfigItem(4), &scanning) && scanning)
            start_active_scanning();
}

} // namespace devio
