// The activation factories the Bluetooth transports use; each call makes a new reference and a
// failure throws DevioException("hresult_error", 1, HRESULT).
#pragma once

#include "bluetooth/WinRTBinding.h"

#include <quillon/WideText.h>
#include <winrt_bluetooth.h>

namespace devio {

inline Microsoft::WRL::ComPtr<ABI::Windows::Devices::Bluetooth::IBluetoothDeviceStatics> get_bluetooth_device_statics()
{
    return get_activation_factory<ABI::Windows::Devices::Bluetooth::IBluetoothDeviceStatics>(
        QUILLON_W("Windows.Devices.Bluetooth.BluetoothDevice"));
}
inline Microsoft::WRL::ComPtr<ABI::Windows::Devices::Bluetooth::IBluetoothLEDeviceStatics>
get_bluetooth_le_device_statics()
{
    return get_activation_factory<ABI::Windows::Devices::Bluetooth::IBluetoothLEDeviceStatics>(
        QUILLON_W("Windows.Devices.Bluetooth.BluetoothLEDevice"));
}
inline Microsoft::WRL::ComPtr<ABI::Windows::Security::Cryptography::ICryptographicBufferStatics>
get_cryptographic_buffer_statics()
{
    return get_activation_factory<ABI::Windows::Security::Cryptography::ICryptographicBufferStatics>(
        QUILLON_W("Windows.Security.Cryptography.CryptographicBuffer"));
}
inline Microsoft::WRL::ComPtr<ABI::Windows::Storage::Streams::IDataReaderStatics> get_data_reader_statics()
{
    return get_activation_factory<ABI::Windows::Storage::Streams::IDataReaderStatics>(
        QUILLON_W("Windows.Storage.Streams.DataReader"));
}
inline Microsoft::WRL::ComPtr<ABI::Windows::Devices::Enumeration::IDeviceInformationStatics>
get_device_information_statics()
{
    return get_activation_factory<ABI::Windows::Devices::Enumeration::IDeviceInformationStatics>(
        QUILLON_W("Windows.Devices.Enumeration.DeviceInformation"));
}
inline Microsoft::WRL::ComPtr<ABI::Windows::Devices::Radios::IRadioStatics> get_radio_statics()
{
    return get_activation_factory<ABI::Windows::Devices::Radios::IRadioStatics>(QUILLON_W("Windows.Devices.Radios.Radio"));
}

// The bytes of a runtime buffer, read through a DataReader.
std::vector<std::uint8_t> read_buffer(ABI::Windows::Storage::Streams::IBuffer* buffer);

} // namespace devio
