// The Bluetooth bus of the Windows Bluetooth stack: keeps every radio open and registered for
// its notifications through the HID bus's window, turns L2CAP and in-range events into connects,
// disconnects, pairing updates and unpairings of its devices, finds the device behind a HID path
// in the registry, and answers connection, name and pairing questions with BluetoothGetDeviceInfo.
#pragma once

#include "bluetooth/IBluetoothBus.h"
#include "core/Producer.h"

#include <windows.h>
#include <dbt.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace devio {

class BluetoothMicrosoftDevice;
class IWin32System;
class Win32Bus;

class BluetoothMicrosoftBus : public IBluetoothBus,
                              public Producer<IBluetoothBus::RadioArrivalRemovalInternal>,
                              public Producer<IBluetoothBus::RadioArrivalRemovalExternal>,
                              public Subscriber<IBluetoothBus::RadioArrivalRemovalInternal>,
                              public std::enable_shared_from_this<BluetoothMicrosoftBus> {
public:
    BluetoothMicrosoftBus(std::shared_ptr<Win32Bus> parent, bool enabled);
    ~BluetoothMicrosoftBus() override;

    std::shared_ptr<IBluetoothDevice> findDevice(const std::string& path) override;
    void onDeviceChange(std::uint32_t event, const DEV_BROADCAST_HDR* header) override;

    bool start();
    void stop();
    std::shared_ptr<BluetoothMicrosoftDevice> getOrCreateDevice(std::uint64_t address, std::uint32_t kind);
    std::shared_ptr<BluetoothMicrosoftDevice> lookupDevice(std::uint64_t address);
    bool get_connect_state_via_bgdi(std::uint64_t address, std::uint32_t kind, bool* connected,
                                    std::string* radioPath, std::string* name);
    bool verify_pairing(std::uint64_t address, std::string& radioPath, std::uint32_t kind);
    std::string findRadioForInterface(const std::string& interfacePath, std::uint32_t interfaceKind);
    bool hasRadio(const std::string& radioPath);
    std::string radioPathForNotification(HDEVNOTIFY notification);

    // The internal radio event, through the run loop.
    void onRadioArrival(std::string radioPath) override;
    void onRadioRemoval(std::string radioPath) override;

private:
    std::shared_ptr<IBluetoothDevice> findDeviceInRegistry(const std::string& path, std::uint32_t kind);
    void enumerateRadios();
    void report(const char* context);
    void publish_external(bool arrival, const std::string& radioPath);

    const std::weak_ptr<Win32Bus> m_parent;
    const bool m_enabled;

    // Serialises start; the thread inside may come back through its own radio arrivals. Once
    // started, start returns without it: it is held while the radios are published, and the
    // pairing bus asks its devices (which start the bus) from its radio handlers, under the
    // publishing producer's lock.
    std::recursive_mutex m_start_mutex;
    std::atomic<bool> m_started{false};
    bool m_starting = false;
    std::shared_ptr<IWin32System> m_system;

    std::mutex m_radio_mutex;  // the three radio maps and the class notification
    std::map<std::string, HANDLE> m_radio_handles;
    std::map<HANDLE, HDEVNOTIFY> m_handle_notifications;
    std::map<HDEVNOTIFY, std::string> m_notification_paths;
    HDEVNOTIFY m_radio_class_notification = nullptr;

    std::mutex m_device_mutex;  // the device table and the path cache
    std::map<std::string, std::shared_ptr<IBluetoothDevice>> m_path_cache;
    std::map<std::uint64_t, std::shared_ptr<BluetoothMicrosoftDevice>> m_devices;
};

} // namespace devio
