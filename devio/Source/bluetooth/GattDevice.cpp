#include "bluetooth/GattDevice.h"

#include "bluetooth/BluetoothEntries.h"
#include "bluetooth/GattBus.h"
#include "bluetooth/GattMapping.h"
#include "core/DataRequest.h"
#include "core/IDeviceManager.h"
#include "Windows/Win32Bus.h"
#include "Windows/Win32System.h"

#include <cstring>

namespace devio {

namespace {

const GUID kProtocolCharacteristic = {0x00010001, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};
constexpr USHORT kMaxRecords = 30;
constexpr ULONG kValueBuffer = 500;

bool is_full(const BTH_LE_UUID& uuid, const GUID& id) { return !uuid.IsShortUuid && uuid.Value.LongUuid == id; }

} // namespace

GattDevice::GattDevice(std::shared_ptr<GattBus> bus, std::weak_ptr<Win32Bus> parent,
                       std::shared_ptr<IWin32System> system, std::string path)
    : m_bus(bus), m_parent(std::move(parent)), m_system(std::move(system)), m_path(std::move(path))
{
    if (bus)
        set_run_loop(bus->Producer<IHardwareBus::PlugUnplug>::get_run_loop());
    if (auto p = m_parent.lock())
        if (auto manager = p->device_manager().lock())
            manager->getConfig(ConfigItem(7), &m_notifications_suppressed);
}

GattDevice::~GattDevice()
{
    m_destroying = true;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    close_locked();
}

std::shared_ptr<IHardwareBus> GattDevice::getBus() { return m_bus.lock(); }

std::uint16_t GattDevice::getProductId()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_product_id;
}

bool GattDevice::direct_index() const { return m_direct_index; }

std::shared_ptr<IDataRequest<std::string>> GattDevice::nameRequest() { return make_data_success(std::string()); }

bool GattDevice::open()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    try {
        return open_locked();
    } catch (const DevioException& e) {
        e.to_last_error();
        close_locked();
        e.to_last_error();
        return false;
    }
}

bool GattDevice::open_locked()
{
    if (m_destroying)
        return false;
    if (m_opened)
        return true;
    if (m_path.empty()) {
        set_last_error(32);
        return false;
    }
    std::vector<WCHAR> wide = utf8_to_wide(m_path);
    m_file = m_system->CreateFileW(wide.data(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) {
        set_last_error(33, GetLastError(), "CreateFile failed");
        return false;
    }
    m_opened = true;
    if (!m_discovered) {
        if (!discover()) {
            const ErrorRecord kept = last_error_record();
            close_locked();
            set_last_error(kept);
            return false;
        }
        // A path without a number leaves the product id 0 rather than failing the open.
        m_product_id = gatt_path_product_id(m_path);
        m_discovered = true;
    }
    auto parent = m_parent.lock();
    if (!parent) {
        close_locked();
        set_last_error(72);
        return false;
    }
    m_notification = parent->registerDeviceNotificationAndTakeOwnershipOfHandle(m_file);
    if (!m_notification) {
        const ErrorRecord kept = last_error_record();
        close_locked();
        set_last_error(kept);
        return false;
    }
    if (m_read_subscriber && !register_events()) {
        const ErrorRecord kept = last_error_record();
        close_locked();
        set_last_error(kept);
        return false;
    }
    return true;
}

bool GattDevice::discover()
{
    m_descriptors.clear();
    m_characteristics.clear();
    IWin32System& system = *m_system;
    BTH_LE_GATT_SERVICE services[kMaxRecords] = {};
    USHORT serviceCount = 0;
    if (SUCCEEDED(BluetoothEntries::BluetoothGATTGetServices(system, m_file, kMaxRecords, services, &serviceCount, 0))) {
        for (USHORT s = 0; s < std::min(serviceCount, kMaxRecords); ++s) {
            BTH_LE_GATT_CHARACTERISTIC characteristics[kMaxRecords] = {};
            USHORT count = 0;
            if (SUCCEEDED(BluetoothEntries::BluetoothGATTGetCharacteristics(system, m_file, &services[s], kMaxRecords,
                                                                            characteristics, &count, 0))) {
                for (USHORT c = 0; c < std::min(count, kMaxRecords); ++c) {
                    BTH_LE_GATT_CHARACTERISTIC& characteristic = characteristics[c];
                    bool protocol = false;
                    if (is_full(characteristic.CharacteristicUuid, kProtocolServiceUuid)) {
                        m_characteristics.push_back(characteristic);
                        m_direct_index = true;
                        protocol = true;
                    } else if (is_full(characteristic.CharacteristicUuid, kProtocolCharacteristic)) {
                        m_characteristics.push_back(characteristic);
                        protocol = true;
                    }
                    std::vector<std::uint64_t> value(kValueBuffer / 8 + 1, 0);
                    USHORT required = 0;
                    BluetoothEntries::BluetoothGATTGetCharacteristicValue(
                        system, m_file, &characteristic, kValueBuffer,
                        reinterpret_cast<PBTH_LE_GATT_CHARACTERISTIC_VALUE>(value.data()), &required, 0);
                    BTH_LE_GATT_DESCRIPTOR descriptors[kMaxRecords] = {};
                    USHORT descriptorCount = 0;
                    if (FAILED(BluetoothEntries::BluetoothGATTGetDescriptors(system, m_file, &characteristic, kMaxRecords,
                                                                           descriptors, &descriptorCount, 0)))
                        continue;
                    for (USHORT d = 0; d < std::min(descriptorCount, kMaxRecords); ++d) {
                        std::vector<std::uint64_t> dvalue(kValueBuffer / 8 + 1, 0);
                        if (SUCCEEDED(BluetoothEntries::BluetoothGATTGetDescriptorValue(
                                system, m_file, &descriptors[d], kValueBuffer,
                                reinterpret_cast<PBTH_LE_GATT_DESCRIPTOR_VALUE>(dvalue.data()), &required, 0)) &&
                            descriptors[d].DescriptorType == ClientCharacteristicConfiguration && protocol)
                            m_descriptors.push_back(descriptors[d]);
                    }
                }
            }
            BTH_LE_GATT_SERVICE included[kMaxRecords] = {};
            USHORT includedCount = 0;
            BluetoothEntries::BluetoothGATTGetIncludedServices(system, m_file, &services[s], kMaxRecords, included,
                                                               &includedCount, 0);
        }
    }
    if (m_characteristics.empty() || m_descriptors.empty()) {
        set_last_error(1);
        return false;
    }
    return true;
}

bool GattDevice::register_events()
{
    if (m_events_registered)
        return true;
    unregister_events();
    m_events_registered = true;
    for (const auto& characteristic : m_characteristics) {
        BLUETOOTH_GATT_VALUE_CHANGED_EVENT_REGISTRATION registration{};
        registration.NumCharacteristics = 1;
        registration.Characteristics[0] = characteristic;
        BLUETOOTH_GATT_EVENT_HANDLE handle = nullptr;
        const HRESULT hr = BluetoothEntries::BluetoothGATTRegisterEvent(
            *m_system, m_file, CharacteristicValueChangedEvent, &registration, &GattDevice::value_changed, this,
            &handle, 0);
        if (FAILED(hr)) {
            m_events_registered = false;
            set_last_error(1, static_cast<std::uint32_t>(hr));
            return false;
        }
        m_events.push_back(handle);
    }
    return true;
}

void GattDevice::unregister_events()
{
    for (BLUETOOTH_GATT_EVENT_HANDLE handle : m_events) {
        try {
            BluetoothEntries::BluetoothGATTUnregisterEvent(*m_system, handle, 0);
        } catch (const DevioException&) {
        }
    }
    m_events.clear();
}

void GattDevice::close()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    close_locked();
}

void GattDevice::close_locked()
{
    m_notifications_enabled = false;
    unregister_events();
    // A reopened device registers its events again.
    m_events_registered = false;
    if (m_notification) {
        if (auto parent = m_parent.lock())
            parent->unregisterDeviceNotificationAndCloseHandle(m_notification, m_file);
    } else if (m_file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_file);
    }
    m_file = INVALID_HANDLE_VALUE;
    m_notification = nullptr;
    m_opened = false;
}

bool GattDevice::stillPresent()
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_notifications_enabled = false;
    }
    auto bus = m_bus.lock();
    return bus ? bus->isDevicePresent(m_path) : true;
}

void GattDevice::publish_write(std::vector<Byte> data, ErrorCode code, unsigned detail)
{
    Producer<IHardwareDevice::Write>::notify(
        [data = std::move(data), code, detail](IHardwareDevice::Write* s) { s->onWrite(data, code, detail); },
        "GattDevice::Write::onWrite");
}

bool GattDevice::write(std::vector<Byte> report, bool awaitReply)
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    auto fail = [&](ErrorCode code, std::uint32_t detail, const char* text, bool publish) {
        set_last_error(code, detail, text);
        if (publish) {
            lock.unlock();
            publish_write({}, code, detail);
        }
        return false;
    };
    try {
        if (!open_locked()) {
            const LastError e = last_error();
            return fail(e.code, e.detail, e.text, true);
        }
        if (m_file == INVALID_HANDLE_VALUE)
            return fail(7, 0, nullptr, true);
        if (m_notification) {
            auto parent = m_parent.lock();
            if (!parent || !parent->checkDeviceNotificationHandle(m_notification, m_file))
                return fail(75, 0, nullptr, true);
        }
        if (m_characteristics.empty())
            return fail(7, 0, nullptr, true);
        if (!m_notifications_enabled) {
            for (auto& descriptor : m_descriptors) {
                BTH_LE_GATT_DESCRIPTOR_VALUE value{};
                value.DescriptorType = ClientCharacteristicConfiguration;
                value.ClientCharacteristicConfiguration.IsSubscribeToNotification = !m_notifications_suppressed;
                value.ClientCharacteristicConfiguration.IsSubscribeToIndication = FALSE;
                const HRESULT hr =
                    BluetoothEntries::BluetoothGATTSetDescriptorValue(*m_system, m_file, &descriptor, &value, 0);
                if (FAILED(hr))
                    return fail(1, static_cast<std::uint32_t>(hr), "BluetoothGATTSetDescriptorValue failed", false);
            }
            m_notifications_enabled = true;
        }
        if (m_notifications_suppressed)
            return fail(55, 0, nullptr, false);
        if (report.size() < 2)
            return fail(71, 0, nullptr, true);
        if (report.size() > kGattReportLength)
            return fail(25, 0, nullptr, true);
        if (awaitReply && !m_events_registered)
            return fail(27, 0, nullptr, true);
        const std::vector<Byte> bytes = gatt_report_to_value(report, m_direct_index);
        std::vector<std::uint64_t> storage((offsetof(BTH_LE_GATT_CHARACTERISTIC_VALUE, Data) + bytes.size() + 8) / 8, 0);
        auto* value = reinterpret_cast<PBTH_LE_GATT_CHARACTERISTIC_VALUE>(storage.data());
        value->DataSize = static_cast<ULONG>(bytes.size());
        std::memcpy(value->Data, bytes.data(), bytes.size());
        BTH_LE_GATT_CHARACTERISTIC characteristic = m_characteristics.back();
        const HRESULT hr = BluetoothEntries::BluetoothGATTSetCharacteristicValue(
            *m_system, m_file, &characteristic, value, 0,
            m_direct_index ? BLUETOOTH_GATT_FLAG_WRITE_WITHOUT_RESPONSE : BLUETOOTH_GATT_FLAG_NONE);
        if (m_direct_index)
            report.resize(kGattReportLength, 0);
        lock.unlock();
        if (FAILED(hr)) {
            set_last_error(40, static_cast<std::uint32_t>(hr), "BluetoothGATTSetCharacteristicValue failed");
            publish_write(report, 40, static_cast<unsigned>(hr));
            set_last_error(40, static_cast<std::uint32_t>(hr), "BluetoothGATTSetCharacteristicValue failed");
            return false;
        }
        publish_write(report, 0, 0);
        return true;
    } catch (const DevioException& e) {
        e.to_last_error();
        if (lock.owns_lock())
            lock.unlock();
        publish_write({}, e.code(), e.platformError());
        e.to_last_error();
        return false;
    }
}

void GattDevice::value_changed(BTH_LE_GATT_EVENT_TYPE type, PVOID event, PVOID context)
{
    // A platform callback: nothing may escape it.
    try {
        auto* self = static_cast<GattDevice*>(context);
        if (!self || !event || type != CharacteristicValueChangedEvent || self->m_destroying)
            return;
        const auto* changed = static_cast<const BLUETOOTH_GATT_VALUE_CHANGED_EVENT*>(event);
        if (!changed->CharacteristicValue)
            return;
        unsigned length = 0;
        std::vector<Byte> report = gatt_value_to_report(changed->CharacteristicValue->Data,
                                                        changed->CharacteristicValue->DataSize, self->m_direct_index,
                                                        length);
        self->Producer<IHardwareDevice::Read>::notify(
            [report = std::move(report), length](IHardwareDevice::Read* s) { s->onRead(report, false, 0, length); },
            "GattDevice::Read::onRead");
    } catch (...) {
    }
}

bool GattDevice::on_subscribe(IHardwareDevice::Read*)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_read_subscriber = true;
    if (!m_opened)
        return true;
    try {
        return register_events();
    } catch (const DevioException& e) {
        e.to_last_error();
        return false;
    }
}

void GattDevice::on_unsubscribed(IHardwareDevice::Read*)
{
    if (Producer<IHardwareDevice::Read>::subscriber_count() == 0) {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_read_subscriber = false;
    }
}

} // namespace devio
