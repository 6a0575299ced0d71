// The stand-in runtime's GATT services, characteristics and their results over simulated GATT servers.
#include "WinRTGatt.h"

#include <atomic>
#include <utility>

namespace platform::detail {
namespace {

using namespace ABI::Windows::Foundation;
using namespace ABI::Windows::Foundation::Collections;
using namespace ABI::Windows::Devices::Bluetooth;
using namespace ABI::Windows::Devices::Bluetooth::GenericAttributeProfile;
using namespace ABI::Windows::Devices::Enumeration;
using sim::GattServer;

template <class I>
struct Core {
    std::recursive_mutex mutex;
    I* self = nullptr;
};


class ReadResult : public RuntimeClass<IGattReadResult, FtmBase> {
public:
    ReadResult(GattCommunicationStatus status, std::vector<std::uint8_t> value) : m_status(status), m_value(std::move(value)) {}
    HRESULT get_Status(GattCommunicationStatus* value) override
    {
        *value = m_status;
        return S_OK;
    }
    HRESULT get_Value(ABI::Windows::Storage::Streams::IBuffer** value) override
    {
        return Make<Buffer>(m_value).CopyTo(value);
    }

private:
    GattCommunicationStatus m_status;
    std::vector<std::uint8_t> m_value;
};

class WriteResult : public RuntimeClass<IGattWriteResult, FtmBase> {
public:
    explicit WriteResult(GattCommunicationStatus status) : m_status(status) {}
    HRESULT get_Status(GattCommunicationStatus* value) override
    {
        *value = m_status;
        return S_OK;
    }

private:
    GattCommunicationStatus m_status;
};

class ValueChangedArgs : public RuntimeClass<IGattValueChangedEventArgs, FtmBase> {
public:
    explicit ValueChangedArgs(std::vector<std::uint8_t> value) : m_value(std::move(value)) {}
    HRESULT get_CharacteristicValue(ABI::Windows::Storage::Streams::IBuffer** value) override
    {
        return Make<Buffer>(m_value).CopyTo(value);
    }

private:
    std::vector<std::uint8_t> m_value;
};

GattCommunicationStatus status_of(HRESULT hr)
{
    if (SUCCEEDED(hr))
        return GattCommunicationStatus_Success;
    if (hr == E_ACCESSDENIED)
        return GattCommunicationStatus_AccessDenied;
    if (hr == HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED))
        return GattCommunicationStatus_Unreachable;
    return GattCommunicationStatus_ProtocolError;
}

class Characteristic : public RuntimeClass<IGattCharacteristic, IGattCharacteristic3, IClosable, FtmBase> {
public:
    Characteristic(std::shared_ptr<GattServer> server, std::uint16_t handle, GUID uuid)
        : m_server(std::move(server)), m_handle(handle), m_uuid(uuid)
    {
    }
    ~Characteristic() override { Close(); }
    HRESULT get_Uuid(GUID* value) override
    {
        *value = m_uuid;
        return S_OK;
    }
    HRESULT ReadValueAsync(IAsyncOperation<IGattReadResult*>** operation) override
    {
        // The parameterless read answers from the cache.
        std::vector<std::uint8_t> value;
        const HRESULT hr = m_server->cached_value(m_handle, value);
        return complete_later<IGattReadResult*>(ComPtr<IGattReadResult>(Make<ReadResult>(status_of(hr), value)), operation);
    }
    HRESULT WriteValueWithOptionAsync(ABI::Windows::Storage::Streams::IBuffer* value, GattWriteOption option,
                                      IAsyncOperation<GattCommunicationStatus>** operation) override
    {
        if (!value)
            return E_POINTER;
        const HRESULT hr = m_server->write(m_handle, buffer_bytes(value), option == GattWriteOption_WriteWithResponse);
        return complete_later<GattCommunicationStatus>(status_of(hr), operation);
    }
    HRESULT add_ValueChanged(ValueChanged* handler, EventRegistrationToken* token) override
    {
        HRESULT hr = m_changed->add(handler, token);
        if (FAILED(hr))
            return hr;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_watcher == 0) {
            std::weak_ptr<EventSource<ValueChanged>> weak = m_changed;
            std::weak_ptr<Core<IGattCharacteristic>> self = m_self;
            m_watcher = m_server->add_watcher(m_handle, [weak, self](std::uint16_t, const sim::GattBytes& bytes) {
                auto source = weak.lock();
                auto core = self.lock();
                if (!source || !core)
                    return;
                std::lock_guard<std::recursive_mutex> lock(core->mutex);
                if (core->self)
                    source->invoke(core->self, static_cast<IGattValueChangedEventArgs*>(Make<ValueChangedArgs>(bytes).Get()));
            });
        }
        return S_OK;
    }
    HRESULT remove_ValueChanged(EventRegistrationToken token) override { return m_changed->remove(token); }
    HRESULT WriteClientCharacteristicConfigurationDescriptorWithResultAsync(
        GattClientCharacteristicConfigurationDescriptorValue value, IAsyncOperation<IGattWriteResult*>** operation) override
    {
        const HRESULT hr = m_server->set_notifying(m_handle, value == GattCccd_Notify);
        return complete_later<IGattWriteResult*>(ComPtr<IGattWriteResult>(Make<WriteResult>(status_of(hr))), operation);
    }
    HRESULT Close() override
    {
        int watcher;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            watcher = std::exchange(m_watcher, 0);
        }
        if (watcher)
            m_server->remove_watcher(watcher);
        std::lock_guard<std::recursive_mutex> lock(m_self->mutex);
        m_self->self = nullptr;
        return S_OK;
    }
    void bind() { m_self->self = this; }

private:
    std::shared_ptr<GattServer> m_server;
    std::uint16_t m_handle;
    GUID m_uuid;
    std::shared_ptr<EventSource<ValueChanged>> m_changed = std::make_shared<EventSource<ValueChanged>>();
    std::shared_ptr<Core<IGattCharacteristic>> m_self = std::make_shared<Core<IGattCharacteristic>>();
    std::mutex m_mutex;
    int m_watcher = 0;
};

// A query's status and the list it found.
template <class Result, class Item>
class ListResult : public RuntimeClass<Result, FtmBase> {
public:
    ListResult(GattCommunicationStatus status, std::vector<ComPtr<Item>> items)
        : m_status(status), m_items(std::move(items))
    {
    }
    HRESULT get_Status(GattCommunicationStatus* value) override
    {
        *value = m_status;
        return S_OK;
    }

protected:
    HRESULT copy_items(IVectorView<Item*>** value) { return Make<VectorView<Item*>>(m_items).CopyTo(value); }

private:
    GattCommunicationStatus m_status;
    std::vector<ComPtr<Item>> m_items;
};

class CharacteristicsResult : public ListResult<IGattCharacteristicsResult, IGattCharacteristic> {
public:
    using ListResult::ListResult;
    HRESULT get_Characteristics(IVectorView<IGattCharacteristic*>** value) override { return copy_items(value); }
};

class Service : public RuntimeClass<IGattDeviceService, IGattDeviceService3, IClosable, FtmBase> {
public:
    Service(std::shared_ptr<GattServer> server, sim::GattService service) : m_server(std::move(server)), m_service(std::move(service)) {}
    HRESULT get_Uuid(GUID* value) override
    {
        *value = m_service.uuid.as_full();
        return S_OK;
    }
    HRESULT RequestAccessAsync(IAsyncOperation<DeviceAccessStatus>** operation) override
    {
        const int access = runtime_service_access();
        return complete_later<DeviceAccessStatus>(static_cast<DeviceAccessStatus>(access), operation);
    }
    HRESULT OpenAsync(GattSharingMode, IAsyncOperation<GattOpenStatus>** operation) override
    {
        GattOpenStatus status = m_opened.exchange(true) ? GattOpenStatus_AlreadyOpened : GattOpenStatus_Success;
        return complete_later<GattOpenStatus>(status, operation);
    }
    HRESULT GetCharacteristicsWithCacheModeAsync(BluetoothCacheMode mode, IAsyncOperation<IGattCharacteristicsResult*>** operation) override
    {
        std::vector<ComPtr<IGattCharacteristic>> items;
        for (const auto& c : m_service.characteristics) {
            auto made = Make<Characteristic>(m_server, c.handle, c.uuid.as_full());
            made->bind();
            items.push_back(made);
        }
        const auto status = mode == BluetoothCacheMode_Cached || m_server->reachable() ? GattCommunicationStatus_Success
                                                                                       : GattCommunicationStatus_Unreachable;
        return complete_later<IGattCharacteristicsResult*>(
            ComPtr<IGattCharacteristicsResult>(Make<CharacteristicsResult>(status, items)), operation);
    }
    HRESULT Close() override { return S_OK; }

private:
    std::shared_ptr<GattServer> m_server;
    sim::GattService m_service;
    std::atomic<bool> m_opened{false};
};

class ServicesResult : public ListResult<IGattDeviceServicesResult, IGattDeviceService> {
public:
    using ListResult::ListResult;
    HRESULT get_Services(IVectorView<IGattDeviceService*>** value) override { return copy_items(value); }
};


}  // namespace

ComPtr<IGattDeviceServicesResult> services_result(const std::shared_ptr<GattServer>& server, BluetoothCacheMode mode)
{
    std::vector<ComPtr<IGattDeviceService>> items;
    GattCommunicationStatus status = GattCommunicationStatus_Unreachable;
    if (server && (mode == BluetoothCacheMode_Cached || server->reachable())) {
        status = GattCommunicationStatus_Success;
        for (const auto& s : server->services())
            items.push_back(Make<Service>(server, s));
    }
    return Make<ServicesResult>(status, items);
}

}  // namespace platform::detail
