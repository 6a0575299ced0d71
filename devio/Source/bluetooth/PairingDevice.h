// One device as the pairing bus announces it: a stable path, product id, name and transport kind
// while its HID collection or GATT channel (primary), an extra LE channel (secondary, read only)
// and its Bluetooth link come and go. Without a live Bluetooth device it relays its primary.
#pragma once

#include "bluetooth/IBluetoothBus.h"
#include "core/IHardwareDevice.h"
#include "core/Producer.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace devio {

class PairingBus;

class PairingDevice : public IHardwareDevice,
                      public Subscriber<IHardwareDevice::Read>,
                      public Subscriber<IHardwareDevice::Write>,
                      public Subscriber<IHardwareDevice::FastDisconnect>,
                      public Subscriber<IBluetoothDevice::BtConnect>,
                      public Subscriber<IBluetoothDevice::BtFastConnect>,
                      public Subscriber<IBluetoothDevice::BtUnpair>,
                      public Producer<IHardwareDevice::Read>,
                      public Producer<IHardwareDevice::Write>,
                      public Producer<IHardwareDevice::Connect>,
                      public Producer<IHardwareDevice::FastDisconnect>,
                      public std::enable_shared_from_this<PairingDevice> {
public:
    // Makes the device and subscribes it to its live device (the subscriptions need the device's
    // own shared pointer, so they cannot run in the constructor).
    static std::shared_ptr<PairingDevice> create(const std::shared_ptr<PairingBus>& bus,
                                                 std::shared_ptr<IHardwareDevice> primary, std::string path,
                                                 std::uint32_t productId, std::string name,
                                                 std::shared_ptr<IBluetoothDevice> live, std::string radio,
                                                 std::uint32_t kindHint);
    PairingDevice(const std::shared_ptr<PairingBus>& bus, std::shared_ptr<IHardwareDevice> primary, std::string path,
                  std::uint32_t productId, std::string name, std::shared_ptr<IBluetoothDevice> live,
                  std::string radio, std::uint32_t kindHint);
    ~PairingDevice() override;

    // IHardwareDevice
    bool isConnected() override;
    bool open() override;
    void close() override;
    bool write(std::vector<Byte> report, bool awaitReply) override;
    std::shared_ptr<IHardwareBus> getBus() override;
    std::string getPath() override { return m_path; }
    void appendPaths(std::vector<std::string>& out) override;
    std::uint16_t getProductId() override { return static_cast<std::uint16_t>(m_product_id); }
    std::string getName() override;
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override;
    std::uint32_t getTransportType() override { return m_transport; }
    std::uint32_t getSubIndex() override;
    bool stillPresent() override;
    std::string getParentId() override { return m_path; }

    // For the pairing bus.
    void attach_primary(std::shared_ptr<IHardwareDevice> hardware);
    void detach_primary();
    void attach_secondary(std::shared_ptr<IHardwareDevice> hardware);
    // Detaches the secondary when `match` is empty or has its path; returns what was detached.
    std::shared_ptr<IHardwareDevice> detach_secondary(const std::shared_ptr<IHardwareDevice>& match);
    bool is_available();
    void set_radio(const std::string& radio);
    void set_name_if_empty(const std::string& name);
    // True when the pairing is gone and the bus is to forget the device.
    bool verify_pairing();
    std::shared_ptr<IBluetoothDevice> live() const { return m_live; }
    std::string radio() const;
    bool low_energy_gatt() const { return m_le_gatt; }
    bool has_primary() const;
    std::string secondary_path() const;

    // Relays of the hardware devices' events.
    void onRead(std::vector<Byte> data, bool relayed, unsigned status, unsigned length) override;
    void onWrite(std::vector<Byte> data, ErrorCode code, unsigned detail) override;
    void onFastDisconnect() override;
    // The live device's events.
    void onBtConnect(std::string radioPath) override;
    void onBtPairingUpdate(std::string radioPath) override;
    void onBtDisconnect() override;
    void onBtFastConnect(std::string radioPath) override;
    void onBtFastDisconnect() override;
    void onBtUnpair(std::string radioPath) override;

protected:
    bool on_subscribe(IHardwareDevice::Read* subscriber) override;
    bool on_subscribe(IHardwareDevice::Write* subscriber) override;
    bool on_subscribe(IHardwareDevice::FastDisconnect* subscriber) override;
    bool on_subscribe(IHardwareDevice::Connect* subscriber) override;

private:
    void subscribe_to_live();
    void report(const char* context);
    void publish_connect(bool connected);
    std::shared_ptr<IHardwareDevice> primary() const;
    std::shared_ptr<IHardwareDevice> secondary() const;

    const std::weak_ptr<PairingBus> m_bus;
    const std::string m_path;
    const std::uint32_t m_product_id;
    const std::shared_ptr<IBluetoothDevice> m_live;
    std::uint32_t m_transport = 0;
    bool m_le_gatt = false;

    // Fields of the device: the bus's thread, the protocol device's worker and the Bluetooth
    // bus's threads all reach them. Recursive: a relayed handler may call back in. Never held
    // while the bus or a hardware device is called.
    mutable std::recursive_mutex m_mutex;
    std::shared_ptr<IHardwareDevice> m_primary;
    std::shared_ptr<IHardwareDevice> m_secondary;
    bool m_opened = false;
    bool m_connected = false;
    bool m_read_hooked = false;
    bool m_fast_disconnect_hooked = false;
    bool m_write_hooked = false;
    std::string m_name;
    bool m_name_fetched = false;
    std::string m_radio;
    std::atomic<bool> m_link_up{false};
};

} // namespace devio
