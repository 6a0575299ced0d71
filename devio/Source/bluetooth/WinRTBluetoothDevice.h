// A Bluetooth device found by the Windows Runtime bus. LE: the protocol characteristic of its
// GATT service carries reports both ways, and Device Information gives serial and product id.
// Classic: it only follows the connection state.
#pragma once

#include "core/IHardwareDevice.h"
#include "core/Producer.h"

#include <winrt_bluetooth.h>
#include <wrl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace devio {

class WinRTBluetoothBus;

class WinRTBluetoothDevice : public IHardwareDevice,
                             public Producer<IHardwareDevice::Write>,
                             public Producer<IHardwareDevice::Read>,
                             public Producer<IHardwareDevice::Connect>,
                             public Producer<IHardwareDevice::FastDisconnect>,
                             public std::enable_shared_from_this<WinRTBluetoothDevice> {
public:
    // The bus is held weakly: it holds its devices.
    WinRTBluetoothDevice(const std::shared_ptr<WinRTBluetoothBus>& bus, std::string address, std::string name,
                         bool lowEnergy);
    ~WinRTBluetoothDevice() override;

    bool isConnected() override;
    bool open() override;
    void close() override;
    bool write(std::vector<Byte> report, bool awaitReply) override;
    std::shared_ptr<IHardwareBus> getBus() override;
    std::string getPath() override { return m_address; }
    std::uint16_t getProductId() override { return m_product_id.load(); }
    std::string getName() override;
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override;
    std::uint32_t getTransportType() override { return m_low_energy ? TransportBluetoothLE : TransportClassicBluetooth; }
    std::uint32_t getSubIndex() override { return 0; }

    // As open, but a platform failure (no LE device for the address) comes out as DevioException.
    bool open_or_throw() { return open_locked(); }
    void set_connected(bool connected);
    void set_name(const std::string& name);
    std::string serial_number();
    bool low_energy() const { return m_low_energy; }
    // The platform's LE device, made on first use; throws DevioException when there is none.
    Microsoft::WRL::ComPtr<ABI::Windows::Devices::Bluetooth::IBluetoothLEDevice> m_ble_device();
    Microsoft::WRL::ComPtr<ABI::Windows::Devices::Bluetooth::IBluetoothDevice> m_bluetooth_device();
    static std::uint64_t parse_address(const std::string& text);

private:
    bool open_locked();
    bool set_notifications(const Microsoft::WRL::ComPtr<
                               ABI::Windows::Devices::Bluetooth::GenericAttributeProfile::IGattCharacteristic>& characteristic,
                           bool enable);
    void onValueChanged(ABI::Windows::Devices::Bluetooth::GenericAttributeProfile::IGattValueChangedEventArgs* args);
    void onConnectionStatusChanged();
    void read_information(ABI::Windows::Devices::Bluetooth::GenericAttributeProfile::IGattCharacteristic* c,
                          bool serial);
    void close_characteristic_locked();

    const std::weak_ptr<WinRTBluetoothBus> m_bus;
    const std::string m_address;
    const bool m_low_energy;
    std::atomic<std::uint16_t> m_product_id{0};
    std::atomic<bool> m_connected{false};

    std::mutex m_name_mutex;  // name and serial
    std::string m_name;
    std::string m_serial;

    // open, write, close, the characteristic and its token.
    std::recursive_mutex m_mutex;
    Microsoft::WRL::ComPtr<ABI::Windows::Devices::Bluetooth::GenericAttributeProfile::IGattCharacteristic> m_characteristic;
    EventRegistrationToken m_value_token{};

    std::mutex m_platform_mutex;  // the platform devices and their tokens
    Microsoft::WRL::ComPtr<ABI::Windows::Devices::Bluetooth::IBluetoothLEDevice> m_le;
    EventRegistrationToken m_le_token{};
    Microsoft::WRL::ComPtr<ABI::Windows::Devices::Bluetooth::IBluetoothDevice> m_classic;
    EventRegistrationToken m_classic_token{};
};

} // namespace devio
