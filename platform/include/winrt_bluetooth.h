// The stand-in's Windows Runtime classes for Bluetooth: device enumeration watchers, radios,
// Bluetooth (LE) devices, GATT services and characteristics, buffers and readers, and the
// advertisement watcher. Only what the system calls is declared; runtime classes appear as
// their default interfaces.
#pragma once

#include <winrt_foundation.h>

namespace ABI::Windows::Storage::Streams {

struct IBuffer : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x905A0FE0, 0xBC53, 0x11DF, {0x8C, 0x49, 0x00, 0x1E, 0x4F, 0xC6, 0x86, 0xDA}};
        return id;
    }
    virtual HRESULT get_Capacity(std::uint32_t* value) = 0;
    virtual HRESULT get_Length(std::uint32_t* value) = 0;
    virtual HRESULT put_Length(std::uint32_t value) = 0;

protected:
    ~IBuffer() = default;
};

struct IDataReader : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xE2B50029, 0xB4C1, 0x4314, {0xA4, 0xB8, 0xFB, 0x81, 0x3A, 0x2F, 0x27, 0x5E}};
        return id;
    }
    virtual HRESULT get_UnconsumedBufferLength(std::uint32_t* value) = 0;
    virtual HRESULT ReadBytes(std::uint32_t count, BYTE* value) = 0;

protected:
    ~IDataReader() = default;
};

struct IDataReaderStatics : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x11FCBFC8, 0xF93A, 0x471B, {0xB1, 0x21, 0xF3, 0x79, 0xE3, 0x49, 0x31, 0x3C}};
        return id;
    }
    virtual HRESULT FromBuffer(IBuffer* buffer, IDataReader** reader) = 0;

protected:
    ~IDataReaderStatics() = default;
};

} // namespace ABI::Windows::Storage::Streams

namespace ABI::Windows::Security::Cryptography {

struct ICryptographicBufferStatics : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x320B7E22, 0x3CB0, 0x4CDF, {0x86, 0x63, 0x1D, 0x28, 0x91, 0x00, 0x65, 0xEB}};
        return id;
    }
    virtual HRESULT CreateFromByteArray(std::uint32_t length, BYTE* value, Storage::Streams::IBuffer** buffer) = 0;

protected:
    ~ICryptographicBufferStatics() = default;
};

} // namespace ABI::Windows::Security::Cryptography

namespace ABI::Windows::Devices::Radios {

enum RadioState { RadioState_Unknown = 0, RadioState_On = 1, RadioState_Off = 2, RadioState_Disabled = 3 };
enum RadioKind { RadioKind_Other = 0, RadioKind_WiFi = 1, RadioKind_MobileBroadband = 2, RadioKind_Bluetooth = 3 };
enum RadioAccessStatus { RadioAccessStatus_Unspecified = 0, RadioAccessStatus_Allowed = 1,
                         RadioAccessStatus_DeniedByUser = 2, RadioAccessStatus_DeniedBySystem = 3 };

struct IRadio : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x252118DF, 0xB33E, 0x416A, {0x87, 0x5F, 0x1C, 0xF3, 0x8A, 0xE2, 0xD8, 0x3E}};
        return id;
    }
    virtual HRESULT add_StateChanged(Foundation::ITypedEventHandler<IRadio*, IInspectable*>* handler,
                                     EventRegistrationToken* token) = 0;
    virtual HRESULT remove_StateChanged(EventRegistrationToken token) = 0;
    virtual HRESULT get_State(RadioState* value) = 0;
    virtual HRESULT get_Kind(RadioKind* value) = 0;

protected:
    ~IRadio() = default;
};

struct IRadioStatics : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x5FB6A12E, 0x67CB, 0x46AE, {0xAA, 0xE9, 0x65, 0x91, 0x9F, 0x86, 0xEF, 0xF4}};
        return id;
    }
    virtual HRESULT GetRadiosAsync(
        Foundation::IAsyncOperation<Foundation::Collections::IVectorView<IRadio*>*>** operation) = 0;
    virtual HRESULT RequestAccessAsync(Foundation::IAsyncOperation<RadioAccessStatus>** operation) = 0;

protected:
    ~IRadioStatics() = default;
};

} // namespace ABI::Windows::Devices::Radios

namespace ABI::Windows::Devices::Enumeration {

enum DeviceWatcherStatus { DeviceWatcherStatus_Created = 0, DeviceWatcherStatus_Started = 1,
                           DeviceWatcherStatus_EnumerationCompleted = 2, DeviceWatcherStatus_Stopping = 3,
                           DeviceWatcherStatus_Stopped = 4, DeviceWatcherStatus_Aborted = 5 };
enum DeviceAccessStatus { DeviceAccessStatus_Unspecified = 0, DeviceAccessStatus_Allowed = 1,
                          DeviceAccessStatus_DeniedByUser = 2, DeviceAccessStatus_DeniedBySystem = 3 };

using PropertyMap = Foundation::Collections::IMapView<HSTRING, IInspectable*>;

struct IDeviceInformation : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xABA0FB95, 0x4398, 0x489D, {0x8E, 0x44, 0xE6, 0x13, 0x09, 0x27, 0x01, 0x1F}};
        return id;
    }
    virtual HRESULT get_Id(HSTRING* value) = 0;
    virtual HRESULT get_Name(HSTRING* value) = 0;
    virtual HRESULT get_Properties(PropertyMap** value) = 0;

protected:
    ~IDeviceInformation() = default;
};

struct IDeviceInformationUpdate : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x8F315305, 0xD972, 0x44B7, {0xA3, 0x7E, 0x9E, 0x82, 0x2C, 0x78, 0x21, 0x3B}};
        return id;
    }
    virtual HRESULT get_Id(HSTRING* value) = 0;
    virtual HRESULT get_Properties(PropertyMap** value) = 0;

protected:
    ~IDeviceInformationUpdate() = default;
};

struct IDeviceWatcher : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xC9EAB97D, 0x8F6B, 0x4F96, {0xA9, 0xF4, 0xAB, 0xC8, 0x14, 0xE2, 0x22, 0x71}};
        return id;
    }
    using Added = Foundation::ITypedEventHandler<IDeviceWatcher*, IDeviceInformation*>;
    using Updated = Foundation::ITypedEventHandler<IDeviceWatcher*, IDeviceInformationUpdate*>;
    using Completed = Foundation::ITypedEventHandler<IDeviceWatcher*, IInspectable*>;
    virtual HRESULT add_Added(Added* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_Added(EventRegistrationToken token) = 0;
    virtual HRESULT add_Updated(Updated* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_Updated(EventRegistrationToken token) = 0;
    virtual HRESULT add_Removed(Updated* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_Removed(EventRegistrationToken token) = 0;
    virtual HRESULT add_EnumerationCompleted(Completed* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_EnumerationCompleted(EventRegistrationToken token) = 0;
    virtual HRESULT get_Status(DeviceWatcherStatus* status) = 0;
    virtual HRESULT Start() = 0;
    virtual HRESULT Stop() = 0;

protected:
    ~IDeviceWatcher() = default;
};

struct IDeviceInformationStatics : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xC17F100E, 0x3A46, 0x4A78, {0x80, 0x13, 0x76, 0x9D, 0xC9, 0xB9, 0x73, 0x90}};
        return id;
    }
    virtual HRESULT CreateWatcherAqsFilterAndAdditionalProperties(HSTRING filter,
                                                                  Foundation::Collections::IIterable<HSTRING>* properties,
                                                                  IDeviceWatcher** watcher) = 0;

protected:
    ~IDeviceInformationStatics() = default;
};

} // namespace ABI::Windows::Devices::Enumeration

namespace ABI::Windows::Devices::Bluetooth {

enum BluetoothConnectionStatus { BluetoothConnectionStatus_Disconnected = 0, BluetoothConnectionStatus_Connected = 1 };
enum BluetoothCacheMode { BluetoothCacheMode_Cached = 0, BluetoothCacheMode_Uncached = 1 };

namespace GenericAttributeProfile {

enum GattCommunicationStatus { GattCommunicationStatus_Success = 0, GattCommunicationStatus_Unreachable = 1,
                               GattCommunicationStatus_ProtocolError = 2, GattCommunicationStatus_AccessDenied = 3 };
enum GattOpenStatus { GattOpenStatus_Unspecified = 0, GattOpenStatus_Success = 1, GattOpenStatus_AlreadyOpened = 2,
                      GattOpenStatus_NotFound = 3, GattOpenStatus_SharingViolation = 4, GattOpenStatus_AccessDenied = 5 };
enum GattSharingMode { GattSharingMode_Unspecified = 0, GattSharingMode_Exclusive = 1,
                       GattSharingMode_SharedReadOnly = 2, GattSharingMode_SharedReadAndWrite = 3 };
enum GattWriteOption { GattWriteOption_WriteWithResponse = 0, GattWriteOption_WriteWithoutResponse = 1 };
enum GattClientCharacteristicConfigurationDescriptorValue { GattCccd_None = 0, GattCccd_Notify = 1, GattCccd_Indicate = 2 };

struct IGattReadResult : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x63A66F08, 0x1AEA, 0x4C4C, {0xA5, 0x0F, 0x97, 0xBA, 0xE4, 0x74, 0xB3, 0x48}};
        return id;
    }
    virtual HRESULT get_Status(GattCommunicationStatus* value) = 0;
    virtual HRESULT get_Value(Storage::Streams::IBuffer** value) = 0;

protected:
    ~IGattReadResult() = default;
};

struct IGattWriteResult : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x4991DDB1, 0x8E28, 0x4A57, {0xA6, 0x01, 0x4E, 0x73, 0xEA, 0x2A, 0xBC, 0x01}};
        return id;
    }
    virtual HRESULT get_Status(GattCommunicationStatus* value) = 0;

protected:
    ~IGattWriteResult() = default;
};

struct IGattValueChangedEventArgs : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xD21BDB54, 0x06E3, 0x4ED8, {0xA2, 0x63, 0xAC, 0xFA, 0xC8, 0xBA, 0x73, 0x13}};
        return id;
    }
    virtual HRESULT get_CharacteristicValue(Storage::Streams::IBuffer** value) = 0;

protected:
    ~IGattValueChangedEventArgs() = default;
};

struct IGattCharacteristic : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x59CB50C1, 0x5934, 0x4F68, {0xA1, 0x98, 0xEB, 0x86, 0x4F, 0xA4, 0x4E, 0x6B}};
        return id;
    }
    using ValueChanged = Foundation::ITypedEventHandler<IGattCharacteristic*, IGattValueChangedEventArgs*>;
    virtual HRESULT get_Uuid(GUID* value) = 0;
    virtual HRESULT ReadValueAsync(Foundation::IAsyncOperation<IGattReadResult*>** operation) = 0;
    virtual HRESULT WriteValueWithOptionAsync(Storage::Streams::IBuffer* value, GattWriteOption option,
                                              Foundation::IAsyncOperation<GattCommunicationStatus>** operation) = 0;
    virtual HRESULT add_ValueChanged(ValueChanged* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_ValueChanged(EventRegistrationToken token) = 0;

protected:
    ~IGattCharacteristic() = default;
};

struct IGattCharacteristic3 : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x3F3C663E, 0x93D4, 0x406B, {0xB8, 0x17, 0xDB, 0x81, 0xF8, 0xED, 0x53, 0xB3}};
        return id;
    }
    virtual HRESULT WriteClientCharacteristicConfigurationDescriptorWithResultAsync(
        GattClientCharacteristicConfigurationDescriptorValue value,
        Foundation::IAsyncOperation<IGattWriteResult*>** operation) = 0;

protected:
    ~IGattCharacteristic3() = default;
};

struct IGattCharacteristicsResult : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x1194945C, 0xB257, 0x4F3E, {0x9D, 0xB7, 0xF6, 0x8B, 0xC9, 0xA9, 0xAE, 0xF2}};
        return id;
    }
    virtual HRESULT get_Status(GattCommunicationStatus* value) = 0;
    virtual HRESULT get_Characteristics(Foundation::Collections::IVectorView<IGattCharacteristic*>** value) = 0;

protected:
    ~IGattCharacteristicsResult() = default;
};

struct IGattDeviceService : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xAC7B7C05, 0xB33C, 0x47CF, {0x99, 0x0F, 0x6B, 0x8F, 0x55, 0x77, 0xDF, 0x71}};
        return id;
    }
    virtual HRESULT get_Uuid(GUID* value) = 0;

protected:
    ~IGattDeviceService() = default;
};

struct IGattDeviceService3 : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xB293A950, 0x0C53, 0x437C, {0xA9, 0xB3, 0x5C, 0x32, 0x10, 0xC6, 0xE5, 0x69}};
        return id;
    }
    virtual HRESULT RequestAccessAsync(Foundation::IAsyncOperation<Enumeration::DeviceAccessStatus>** operation) = 0;
    virtual HRESULT OpenAsync(GattSharingMode mode, Foundation::IAsyncOperation<GattOpenStatus>** operation) = 0;
    virtual HRESULT GetCharacteristicsWithCacheModeAsync(
        BluetoothCacheMode mode, Foundation::IAsyncOperation<IGattCharacteristicsResult*>** operation) = 0;

protected:
    ~IGattDeviceService3() = default;
};

struct IGattDeviceServicesResult : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x171DD3EE, 0x016D, 0x419D, {0x83, 0x8A, 0x57, 0x6C, 0xF4, 0x75, 0xA3, 0xD8}};
        return id;
    }
    virtual HRESULT get_Status(GattCommunicationStatus* value) = 0;
    virtual HRESULT get_Services(Foundation::Collections::IVectorView<IGattDeviceService*>** value) = 0;

protected:
    ~IGattDeviceServicesResult() = default;
};

} // namespace GenericAttributeProfile

struct IBluetoothLEDevice : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xB5EE2F7B, 0x4AD8, 0x4642, {0xAC, 0x48, 0x80, 0xA0, 0xB5, 0x00, 0xE8, 0x87}};
        return id;
    }
    using StatusChanged = Foundation::ITypedEventHandler<IBluetoothLEDevice*, IInspectable*>;
    virtual HRESULT get_Name(HSTRING* value) = 0;
    virtual HRESULT get_ConnectionStatus(BluetoothConnectionStatus* value) = 0;
    virtual HRESULT add_ConnectionStatusChanged(StatusChanged* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_ConnectionStatusChanged(EventRegistrationToken token) = 0;

protected:
    ~IBluetoothLEDevice() = default;
};

struct IBluetoothLEDevice3 : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xAEE9E493, 0x44AC, 0x40DC, {0xAF, 0x33, 0xB2, 0xC1, 0x3C, 0x01, 0xCA, 0x46}};
        return id;
    }
    virtual HRESULT GetGattServicesWithCacheModeAsync(
        BluetoothCacheMode mode, Foundation::IAsyncOperation<GenericAttributeProfile::IGattDeviceServicesResult*>** operation) = 0;

protected:
    ~IBluetoothLEDevice3() = default;
};

struct IBluetoothDevice : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x2335B156, 0x90D2, 0x4A04, {0xAE, 0xF5, 0x0E, 0x20, 0xB9, 0xE6, 0xB7, 0x07}};
        return id;
    }
    using StatusChanged = Foundation::ITypedEventHandler<IBluetoothDevice*, IInspectable*>;
    virtual HRESULT get_Name(HSTRING* value) = 0;
    virtual HRESULT get_ConnectionStatus(BluetoothConnectionStatus* value) = 0;
    virtual HRESULT add_ConnectionStatusChanged(StatusChanged* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_ConnectionStatusChanged(EventRegistrationToken token) = 0;

protected:
    ~IBluetoothDevice() = default;
};

struct IBluetoothLEDeviceStatics : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xC8CF1A19, 0xF0B6, 0x4BF0, {0x86, 0x89, 0x41, 0x30, 0x3D, 0xE2, 0xD9, 0xF4}};
        return id;
    }
    virtual HRESULT FromBluetoothAddressAsync(std::uint64_t address,
                                              Foundation::IAsyncOperation<IBluetoothLEDevice*>** operation) = 0;
    virtual HRESULT GetDeviceSelector(HSTRING* selector) = 0;

protected:
    ~IBluetoothLEDeviceStatics() = default;
};

struct IBluetoothDeviceStatics : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x0991DF51, 0x57DB, 0x4725, {0xBB, 0xD7, 0x84, 0xF6, 0x43, 0x27, 0xEC, 0x2C}};
        return id;
    }
    virtual HRESULT FromBluetoothAddressAsync(std::uint64_t address,
                                              Foundation::IAsyncOperation<IBluetoothDevice*>** operation) = 0;
    virtual HRESULT GetDeviceSelector(HSTRING* selector) = 0;

protected:
    ~IBluetoothDeviceStatics() = default;
};

namespace Advertisement {

enum BluetoothLEScanningMode { BluetoothLEScanningMode_Passive = 0, BluetoothLEScanningMode_Active = 1 };

struct IBluetoothLEAdvertisement : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x066FB2B7, 0x33D1, 0x4E7D, {0x83, 0x67, 0xCF, 0x81, 0xD0, 0xF7, 0x96, 0x53}};
        return id;
    }
    virtual HRESULT get_LocalName(HSTRING* value) = 0;
    virtual HRESULT get_ServiceUuids(Foundation::Collections::IVectorView<GUID>** value) = 0;

protected:
    ~IBluetoothLEAdvertisement() = default;
};

struct IBluetoothLEAdvertisementReceivedEventArgs : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x27987DDF, 0xE596, 0x41BE, {0x8D, 0x43, 0x9E, 0x67, 0x31, 0xD4, 0xA9, 0x13}};
        return id;
    }
    virtual HRESULT get_BluetoothAddress(std::uint64_t* value) = 0;
    virtual HRESULT get_Advertisement(IBluetoothLEAdvertisement** value) = 0;

protected:
    ~IBluetoothLEAdvertisementReceivedEventArgs() = default;
};

struct IBluetoothLEAdvertisementWatcher : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0xA6AC336F, 0xF3D3, 0x4297, {0x8D, 0x6C, 0xC8, 0x1E, 0xA6, 0x62, 0x3F, 0x40}};
        return id;
    }
    using Received =
        Foundation::ITypedEventHandler<IBluetoothLEAdvertisementWatcher*, IBluetoothLEAdvertisementReceivedEventArgs*>;
    virtual HRESULT put_ScanningMode(BluetoothLEScanningMode value) = 0;
    virtual HRESULT Start() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT add_Received(Received* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_Received(EventRegistrationToken token) = 0;

protected:
    ~IBluetoothLEAdvertisementWatcher() = default;
};

} // namespace Advertisement

} // namespace ABI::Windows::Devices::Bluetooth
