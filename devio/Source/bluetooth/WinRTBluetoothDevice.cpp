#include "bluetooth/WinRTBluetoothDevice.h"

#include "bluetooth/AsyncBridge.h"
#include "bluetooth/GattMapping.h"
#include "bluetooth/WinRTBluetoothBus.h"
#include "bluetooth/WinRTDelegate.h"
#include "bluetooth/WinRTFactories.h"
#include "core/DataRequest.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace devio {

using Microsoft::WRL::ComPtr;
using namespace ABI::Windows::Foundation;
using namespace ABI::Windows::Foundation::Collections;
using namespace ABI::Windows::Devices::Bluetooth;
using namespace ABI::Windows::Devices::Bluetooth::GenericAttributeProfile;

namespace {

const GUID kDeviceInformation = {0x0000180A, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};
const GUID kSerialNumber = {0x00002A25, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};
const GUID kPnpId = {0x00002A50, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};
const GUID kProtocolService = {0x00010000, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};
const GUID kProtocolCharacteristic = {0x00010001, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};
const GUID kSecondService = {0x00050000, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};
const GUID kSecondCharacteristic = {0x00050001, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};

template <class I, class Q>
ComPtr<I> as(const ComPtr<Q>& object)
{
    ComPtr<I> out;
    check_hresult(object.As(&out));
    return out;
}

} // namespace

std::vector<std::uint8_t> read_buffer(ABI::Windows::Storage::Streams::IBuffer* buffer)
{
    if (!buffer)
        return {};
    std::uint32_t length = 0;
    check_hresult(buffer->get_Length(&length));
    ComPtr<ABI::Windows::Storage::Streams::IDataReader> reader;
    check_hresult(get_data_reader_statics()->FromBuffer(buffer, reader.GetAddressOf()));
    std::vector<std::uint8_t> bytes(length);
    if (length)
        check_hresult(reader->ReadBytes(length, bytes.data()));
    return bytes;
}

WinRTBluetoothDevice::WinRTBluetoothDevice(const std::shared_ptr<WinRTBluetoothBus>& bus, std::string address,
                                           std::string name, bool lowEnergy)
    : m_bus(bus), m_address(std::move(address)), m_low_energy(lowEnergy), m_name(std::move(name))
{
    if (bus)
        set_run_loop(bus->Producer<IHardwareBus::PlugUnplug>::get_run_loop());
}

WinRTBluetoothDevice::~WinRTBluetoothDevice()
{
    try {
        close();
    } catch (...) {
    }
}

std::uint64_t WinRTBluetoothDevice::parse_address(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (c != ':')
            digits += c;
    return std::strtoull(digits.c_str(), nullptr, 16);
}

std::shared_ptr<IHardwareBus> WinRTBluetoothDevice::getBus() { return m_bus.lock(); }

std::string WinRTBluetoothDevice::getName()
{
    std::lock_guard<std::mutex> lock(m_name_mutex);
    return m_name;
}

std::shared_ptr<IDataRequest<std::string>> WinRTBluetoothDevice::nameRequest() { return make_data_success(getName()); }

void WinRTBluetoothDevice::set_name(const std::string& name)
{
    if (name.empty())
        return;
    std::lock_guard<std::mutex> lock(m_name_mutex);
    m_name = name;
}

std::string WinRTBluetoothDevice::serial_number()
{
    std::lock_guard<std::mutex> lock(m_name_mutex);
    return m_serial;
}

ComPtr<IBluetoothLEDevice> WinRTBluetoothDevice::m_ble_device()
{
    std::lock_guard<std::mutex> lock(m_platform_mutex);
    if (m_le)
        return m_le;
    ComPtr<IAsyncOperation<IBluetoothLEDevice*>> operation;
    check_hresult(get_bluetooth_le_device_statics()->FromBluetoothAddressAsync(parse_address(m_address),
                                                                                operation.GetAddressOf()));
    m_le = await<IBluetoothLEDevice*>(operation);
    if (!m_le)
        throw DevioException("Failed to retrieve m_ble_device", 1, 0);
    std::weak_ptr<WinRTBluetoothDevice> weak = weak_from_this();
    auto handler = make_delegate<IBluetoothLEDevice*, IInspectable*>([weak](IBluetoothLEDevice*, IInspectable*) {
        if (auto self = weak.lock())
            self->onConnectionStatusChanged();
    });
    if (FAILED(m_le->add_ConnectionStatusChanged(handler.Get(), &m_le_token)))
        m_le_token = {};
    return m_le;
}

ComPtr<IBluetoothDevice> WinRTBluetoothDevice::m_bluetooth_device()
{
    std::lock_guard<std::mutex> lock(m_platform_mutex);
    if (m_classic)
        return m_classic;
    ComPtr<IAsyncOperation<IBluetoothDevice*>> operation;
    check_hresult(get_bluetooth_device_statics()->FromBluetoothAddressAsync(parse_address(m_address),
                                                                             operation.GetAddressOf()));
    m_classic = await<IBluetoothDevice*>(operation);
    if (!m_classic)
        throw DevioException("Failed to retrieve m_bluetooth_device", 1, 0);
    std::weak_ptr<WinRTBluetoothDevice> weak = weak_from_this();
    auto handler = make_delegate<IBluetoothDevice*, IInspectable*>([weak](IBluetoothDevice*, IInspectable*) {
        if (auto self = weak.lock())
            self->onConnectionStatusChanged();
    });
    if (FAILED(m_classic->add_ConnectionStatusChanged(handler.Get(), &m_classic_token)))
        m_classic_token = {};
    return m_classic;
}

bool WinRTBluetoothDevice::isConnected()
{
    try {
        BluetoothConnectionStatus status = BluetoothConnectionStatus_Disconnected;
        if (m_low_energy)
            check_hresult(m_ble_device()->get_ConnectionStatus(&status));
        else
            check_hresult(m_bluetooth_device()->get_ConnectionStatus(&status));
        return status == BluetoothConnectionStatus_Connected;
    } catch (const DevioException& e) {
        e.to_last_error();
        return false;
    }
}

bool WinRTBluetoothDevice::open()
{
    try {
        return open_locked();
    } catch (const DevioException& e) {
        e.to_last_error();
        return false;
    }
}

void WinRTBluetoothDevice::read_information(IGattCharacteristic* c, bool serial)
{
    ComPtr<IAsyncOperation<IGattReadResult*>> operation;
    check_hresult(c->ReadValueAsync(operation.GetAddressOf()));
    ComPtr<IGattReadResult> result = await<IGattReadResult*>(operation);
    GattCommunicationStatus status = GattCommunicationStatus_Unreachable;
    if (!result || FAILED(result->get_Status(&status)) || status != GattCommunicationStatus_Success)
        return;
    ComPtr<ABI::Windows::Storage::Streams::IBuffer> value;
    check_hresult(result->get_Value(value.GetAddressOf()));
    const std::vector<std::uint8_t> bytes = read_buffer(value.Get());
    if (serial) {
        std::lock_guard<std::mutex> lock(m_name_mutex);
        m_serial.assign(bytes.begin(), bytes.end());  // as it stands, terminator included
    } else if (auto pid = pnp_id_product_id(bytes.data(), bytes.size())) {
        m_product_id = *pid;  // a short PnP ID keeps the product id
    }
}

bool WinRTBluetoothDevice::open_locked()
{
    if (!m_low_energy)
        return true;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_characteristic)
        return true;
    ComPtr<IBluetoothLEDevice> device = m_ble_device();
    auto device3 = as<IBluetoothLEDevice3>(device);
    ComPtr<IAsyncOperation<IGattDeviceServicesResult*>> servicesOperation;
    check_hresult(device3->GetGattServicesWithCacheModeAsync(BluetoothCacheMode_Cached, servicesOperation.GetAddressOf()));
    ComPtr<IGattDeviceServicesResult> services = await<IGattDeviceServicesResult*>(servicesOperation);
    GattCommunicationStatus status = GattCommunicationStatus_Unreachable;
    if (!services || FAILED(services->get_Status(&status)) || status != GattCommunicationStatus_Success)
        return false;
    ComPtr<IVectorView<IGattDeviceService*>> list;
    check_hresult(services->get_Services(list.GetAddressOf()));
    std::uint32_t count = 0;
    check_hresult(list->get_Size(&count));
    for (std::uint32_t i = 0; i < count; ++i) {
        ComPtr<IGattDeviceService> service;
        check_hresult(list->GetAt(i, service.GetAddressOf()));
        GUID uuid{};
        check_hresult(service->get_Uuid(&uuid));
        const bool protocol = uuid == kProtocolService || uuid == kSecondService;
        if (!protocol && !(uuid == kDeviceInformation))
            continue;
        auto service3 = as<IGattDeviceService3>(service);
        ComPtr<IAsyncOperation<ABI::Windows::Devices::Enumeration::DeviceAccessStatus>> access;
        check_hresult(service3->RequestAccessAsync(access.GetAddressOf()));
        if (await(access) != ABI::Windows::Devices::Enumeration::DeviceAccessStatus_Allowed)
            continue;
        ComPtr<IAsyncOperation<GattOpenStatus>> opening;
        check_hresult(service3->OpenAsync(protocol ? GattSharingMode_SharedReadAndWrite : GattSharingMode_SharedReadOnly,
                                          opening.GetAddressOf()));
        const GattOpenStatus opened = await(opening);
        if (opened != GattOpenStatus_Success && opened != GattOpenStatus_AlreadyOpened)
            continue;
        ComPtr<IAsyncOperation<IGattCharacteristicsResult*>> characteristicsOperation;
        check_hresult(service3->GetCharacteristicsWithCacheModeAsync(BluetoothCacheMode_Cached,
                                                                     characteristicsOperation.GetAddressOf()));
        ComPtr<IGattCharacteristicsResult> characteristics = await<IGattCharacteristicsResult*>(characteristicsOperation);
        if (!characteristics || FAILED(characteristics->get_Status(&status)) || status != GattCommunicationStatus_Success)
            continue;
        ComPtr<IVectorView<IGattCharacteristic*>> items;
        check_hresult(characteristics->get_Characteristics(items.GetAddressOf()));
        std::uint32_t itemCount = 0;
        check_hresult(items->get_Size(&itemCount));
        for (std::uint32_t k = 0; k < itemCount; ++k) {
            ComPtr<IGattCharacteristic> c;
            check_hresult(items->GetAt(k, c.GetAddressOf()));
            GUID id{};
            check_hresult(c->get_Uuid(&id));
            if (id == kSerialNumber || id == kPnpId)
                read_information(c.Get(), id == kSerialNumber);
            else if (id == kProtocolCharacteristic || id == kSecondCharacteristic)
                m_characteristic = c;  // a later match replaces an earlier one
        }
    }
    return true;
}

bool WinRTBluetoothDevice::set_notifications(const ComPtr<IGattCharacteristic>& characteristic, bool enable)
{
    if (enable == (m_value_token.value != 0))
        return true;
    auto c3 = as<IGattCharacteristic3>(characteristic);
    ComPtr<IAsyncOperation<IGattWriteResult*>> operation;
    check_hresult(c3->WriteClientCharacteristicConfigurationDescriptorWithResultAsync(enable ? GattCccd_Notify : GattCccd_None,
                                                                                      operation.GetAddressOf()));
    ComPtr<IGattWriteResult> result = await<IGattWriteResult*>(operation);
    GattCommunicationStatus status = GattCommunicationStatus_Unreachable;
    if (!result || FAILED(result->get_Status(&status)) || status != GattCommunicationStatus_Success)
        return false;
    if (!enable) {
        characteristic->remove_ValueChanged(m_value_token);
        m_value_token = {};
        return true;
    }
    std::weak_ptr<WinRTBluetoothDevice> weak = weak_from_this();
    auto handler = make_delegate<IGattCharacteristic*, IGattValueChangedEventArgs*>(
        [weak](IGattCharacteristic*, IGattValueChangedEventArgs* args) {
            if (auto self = weak.lock())
                self->onValueChanged(args);
        });
    if (!handler || FAILED(characteristic->add_ValueChanged(handler.Get(), &m_value_token)))
        m_value_token = {};
    return m_value_token.value != 0;
}

bool WinRTBluetoothDevice::write(std::vector<Byte> report, bool awaitReply)
{
    if (!m_connected) {
        set_last_error(5, 0, "Not connected");
        return false;
    }
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    try {
        if (!m_characteristic) {
            set_last_error(40, 0, "No Tessel characteristic");
            return false;
        }
        // The mapping drops report id and device index: a shorter report is nothing to send.
        if (report.size() < 2) {
            set_last_error(71);
            return false;
        }
        if (awaitReply && !set_notifications(m_characteristic, true))
            return false;
        std::vector<Byte> payload = winrt_report_to_payload(report);
        ComPtr<ABI::Windows::Storage::Streams::IBuffer> buffer;
        check_hresult(get_cryptographic_buffer_statics()->CreateFromByteArray(
            static_cast<std::uint32_t>(payload.size()), payload.data(), buffer.GetAddressOf()));
        ComPtr<IAsyncOperation<GattCommunicationStatus>> operation;
        const HRESULT hr = m_characteristic->WriteValueWithOptionAsync(buffer.Get(), GattWriteOption_WriteWithoutResponse,
                                                                       operation.GetAddressOf());
        check_hresult(hr);
        const GattCommunicationStatus status = await(operation);
        const ErrorCode code = status == GattCommunicationStatus_Success ? 0 : 40;
        Producer<IHardwareDevice::Write>::notify(
            [payload, code, hr](IHardwareDevice::Write* s) { s->onWrite(payload, code, static_cast<unsigned>(hr)); },
            "WinRTBluetoothDevice::Write::onWrite");
        if (code) {
            set_last_error(40, status);
            return false;
        }
        return true;
    } catch (const DevioException& e) {
        Producer<IHardwareDevice::Write>::notify(
            [code = e.code(), detail = e.platformError()](IHardwareDevice::Write* s) { s->onWrite({}, code, detail); },
            "WinRTBluetoothDevice::Write::onWrite");
        e.to_last_error();
        return false;
    }
}

void WinRTBluetoothDevice::onValueChanged(IGattValueChangedEventArgs* args)
{
    try {
        ComPtr<ABI::Windows::Storage::Streams::IBuffer> value;
        check_hresult(args->get_CharacteristicValue(value.GetAddressOf()));
        const std::vector<std::uint8_t> bytes = read_buffer(value.Get());
        unsigned length = 0;
        std::vector<Byte> report = winrt_value_to_report(bytes.data(), bytes.size(), length);
        Producer<IHardwareDevice::Read>::notify(
            [report = std::move(report), length](IHardwareDevice::Read* s) { s->onRead(report, false, 0, length); },
            "WinRTBluetoothDevice::Read::onRead");
    } catch (...) {
        // The notification is lost; the platform must not see the exception.
    }
}

void WinRTBluetoothDevice::onConnectionStatusChanged() { set_connected(isConnected()); }

void WinRTBluetoothDevice::set_connected(bool connected)
{
    bool expected = !connected;
    if (!m_connected.compare_exchange_strong(expected, connected))
        return;
    auto self = shared_from_this();
    if (!connected) {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_characteristic && m_value_token.value)
            m_characteristic->remove_ValueChanged(m_value_token);
        m_value_token = {};
        m_characteristic.Reset();
        Producer<IHardwareDevice::Connect>::notify([self](IHardwareDevice::Connect* s) { s->onDisconnect(self); },
                                                   "WinRTBluetoothDevice::Connect::onDisconnect");
        return;
    }
    Producer<IHardwareDevice::Connect>::notify([self](IHardwareDevice::Connect* s) { s->onConnect(self); },
                                               "WinRTBluetoothDevice::Connect::onConnect");
}

void WinRTBluetoothDevice::close_characteristic_locked()
{
    if (!m_characteristic)
        return;
    if (m_value_token.value)
        m_characteristic->remove_ValueChanged(m_value_token);
    m_value_token = {};
    ComPtr<IClosable> closable;
    if (SUCCEEDED(m_characteristic.As(&closable)))
        closable->Close();
    m_characteristic.Reset();
}

void WinRTBluetoothDevice::close()
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        close_characteristic_locked();
    }
    // Taken out under the lock, released outside it: removing a handler waits for its running
    // call, which may be asking for these very objects.
    ComPtr<IBluetoothDevice> classic;
    ComPtr<IBluetoothLEDevice> le;
    EventRegistrationToken classicToken{}, leToken{};
    {
        std::lock_guard<std::mutex> lock(m_platform_mutex);
        classic = std::move(m_classic);
        le = std::move(m_le);
        classicToken = std::exchange(m_classic_token, {});
        leToken = std::exchange(m_le_token, {});
    }
    if (classic) {
        if (classicToken.value)
            classic->remove_ConnectionStatusChanged(classicToken);
        ComPtr<IClosable> closable;
        if (SUCCEEDED(classic.As(&closable)))
            closable->Close();
    }
    if (le) {
        if (leToken.value)
            le->remove_ConnectionStatusChanged(leToken);
        ComPtr<IClosable> closable;
        if (SUCCEEDED(le.As(&closable)))
            closable->Close();
    }
}

} // namespace devio
