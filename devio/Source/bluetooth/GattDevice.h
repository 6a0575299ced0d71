// A Bluetooth LE device reached through the Win32 GATT functions on the interface of the
// protocol's service: reports are written as characteristic values and value notifications come
// back as reports.
#pragma once

#include "core/IHardwareDevice.h"
#include "core/Producer.h"

#include <windows.h>
#include <bluetoothleapis.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devio {

class GattBus;
class IWin32System;
class Win32Bus;

class GattDevice : public IHardwareDevice,
                   public Producer<IHardwareDevice::Write>,
                   public Producer<IHardwareDevice::Read>,
                   public Producer<IHardwareDevice::Connect>,
                   public Producer<IHardwareDevice::FastDisconnect>,
                   public std::enable_shared_from_this<GattDevice> {
public:
    GattDevice(std::shared_ptr<GattBus> bus, std::weak_ptr<Win32Bus> parent, std::shared_ptr<IWin32System> system,
               std::string path);
    ~GattDevice() override;

    bool isConnected() override { return true; }
    bool open() override;
    void close() override;
    bool write(std::vector<Byte> report, bool awaitReply) override;
    std::shared_ptr<IHardwareBus> getBus() override;
    std::string getPath() override { return m_path; }
    std::uint16_t getProductId() override;
    std::string getName() override { return {}; }
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override;
    std::uint32_t getTransportType() override { return TransportGatt; }
    std::uint32_t getSubIndex() override { return 0; }
    bool stillPresent() override;

    bool direct_index() const;

protected:
    bool on_subscribe(IHardwareDevice::Read* subscriber) override;
    void on_unsubscribed(IHardwareDevice::Read* subscriber) override;

private:
    static void value_changed(BTH_LE_GATT_EVENT_TYPE type, PVOID event, PVOID context);
    bool discover();
    bool register_events();
    void unregister_events();
    void close_locked();
    bool open_locked();
    void publish_write(std::vector<Byte> data, ErrorCode code, unsigned detail);

    const std::weak_ptr<GattBus> m_bus;
    const std::weak_ptr<Win32Bus> m_parent;
    const std::shared_ptr<IWin32System> m_system;
    const std::string m_path;
    bool m_notifications_suppressed = false;

    // Everything below: the caller's thread (open, write, close) against the bus's and the
    // device manager's threads; value notifications read only the callback context.
    std::recursive_mutex m_mutex;
    bool m_read_subscriber = false;
    std::uint16_t m_product_id = 0;
    std::vector<BTH_LE_GATT_DESCRIPTOR> m_descriptors;
    std::vector<BTH_LE_GATT_CHARACTERISTIC> m_characteristics;
    bool m_discovered = false;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    HDEVNOTIFY m_notification = nullptr;
    bool m_events_registered = false;
    std::vector<BLUETOOTH_GATT_EVENT_HANDLE> m_events;
    bool m_notifications_enabled = false;
    bool m_direct_index = false;
    std::atomic<bool> m_destroying{false};
    bool m_opened = false;
};

} // namespace devio
