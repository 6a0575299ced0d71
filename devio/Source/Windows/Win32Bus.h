// The platform bus on Windows: HID enumeration, device arrival and removal, power
// notifications, and the framework's one hidden window, whose thread also registers
// device notifications for other threads and serves the Bluetooth buses.
#pragma once

#include "core/IHardwareBus.h"
#include "core/IHardwareSecondaryBus.h"
#include "core/Producer.h"

#include <windows.h>
#include <dbt.h>
#include <setupapi.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace devio {

class IDeviceManager;
class IBluetoothBus;
class IWin32System;
class Win32Bus;

// Record another thread sends to the window (WM_USER) to (un)register a device notification.
struct DeviceNotificationRequest {
    std::uint32_t size = sizeof(DeviceNotificationRequest);
    std::uint8_t kind = 0;  // 0 interface class, 1 file handle
    std::uint8_t op = 0;    // 0 register, 1 unregister
    std::uint8_t reserved[2] = {0, 0};
    std::uint32_t error = 0;
    std::uint32_t platformError = 0;
    HANDLE fileHandle = nullptr;
    HDEVNOTIFY handleNotification = nullptr;
    GUID interfaceClass{};
    HDEVNOTIFY interfaceNotification = nullptr;
};

// How the HID bus makes the Bluetooth buses. Empty makers mean no Windows Runtime and no
// Bluetooth buses; the Bluetooth transports install theirs.
struct BluetoothBusMakers {
    using DeviceChangeForward = std::function<void(std::uint32_t, const DEV_BROADCAST_HDR*)>;
    std::function<bool()> runtimeAvailable;
    // (bus, Bluetooth LE item) -> the Windows Runtime Bluetooth bus; may throw DevioException.
    std::function<std::shared_ptr<IHardwareSecondaryBus>(std::shared_ptr<Win32Bus>, bool)> makeRuntimeBus;
    // (bus, enabled) -> the Microsoft Bluetooth bus and what hands it each WM_DEVICECHANGE.
    std::function<std::shared_ptr<IBluetoothBus>(std::shared_ptr<Win32Bus>, bool, DeviceChangeForward&)>
        makeMicrosoftBus;
    std::function<std::shared_ptr<IHardwareSecondaryBus>(std::shared_ptr<Win32Bus>)> makeGattBus;
};

class Win32Bus : public IHardwareBus,
                 public Producer<IHardwareBus::PlugUnplug>,
                 public std::enable_shared_from_this<Win32Bus> {
public:
    // Parent enumerator classes of a HID collection.
    enum ParentKind : std::uint32_t { ParentUsb = 0, ParentBluetooth = 2, ParentBluetoothLE = 3, ParentOther = 5 };

    static std::shared_ptr<Win32Bus> create(std::shared_ptr<IDeviceManager> manager);
    static void setBluetoothMakers(BluetoothBusMakers makers);

    explicit Win32Bus(std::shared_ptr<IDeviceManager> manager);
    ~Win32Bus() override;

    // IHardwareBus
    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override;
    std::vector<std::shared_ptr<IBluetoothBus>> getBluetoothBuses() override;
    bool needsCombiner() override { return true; }
    std::vector<std::shared_ptr<IHardwareBus>> getSecondaryBuses() override;

    // Throws DevioException when the system table cannot be made.
    void start(HWND* window = nullptr, std::shared_ptr<IWin32System>* system = nullptr);
    std::weak_ptr<IDeviceManager> device_manager() const { return m_manager; }

    HDEVNOTIFY registerDeviceNotificationAndTakeOwnershipOfHandle(HANDLE file);
    HDEVNOTIFY registerDeviceInterfaceNotification(const GUID& interfaceClass);
    bool unregisterDeviceNotificationAndCloseHandle(HDEVNOTIFY notification, HANDLE file);
    void unregisterDeviceInterfaceNotification(HDEVNOTIFY notification);
    bool checkDeviceNotificationHandle(HDEVNOTIFY notification, HANDLE file);
    bool isDevicePresent(const std::string& path);
    void unplugPath(const std::string& path);
    // Arrivals of the path announced so far: a handle opened now belongs to the latest.
    std::uint64_t plug_generation(const std::string& path);
    // A device's reader found its handle (opened at `generation`) gone: unplugPath on this thread,
    // unless an arrival of the path was announced since (the reader lagged behind a quick re-plug),
    // or the removal of that arrival was: the path may be back already, its arrival not yet
    // announced but found by an enumeration (the combiner's, for another device's arrival). Either
    // way a late report would take away the device plugged since.
    void reader_lost(const std::string& path, std::uint64_t generation);

    virtual std::shared_ptr<IWin32System> makeSystem();
    virtual void window_thread();

    HWND window() const { return m_window.load(); }

protected:
    bool on_subscribe(IHardwareBus::PlugUnplug* subscriber) override;

private:
    static void window_thread_static(Win32Bus* bus, std::shared_ptr<std::atomic<bool>> alive);
    static LRESULT window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle_message(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void handle_request(DeviceNotificationRequest& request);
    void handle_device_change(std::uint32_t event, const DEV_BROADCAST_HDR* header);
    void makeBluetoothBuses();
    std::uint32_t classify(DWORD instance);
    DWORD instance_of_interface(const WCHAR* path);
    std::vector<std::shared_ptr<IHardwareDevice>> enumerate_interfaces(const GUID& interfaceClass);
    // The detail of one interface of a set: its lower-case path and its device instance.
    struct InterfaceDetail {
        std::string path;
        DWORD instance = 0;
        DWORD error = 0;
    };
    enum DetailResult { DetailRead, DetailProbeFailed, DetailReadFailed };
    DetailResult read_detail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& iface, InterfaceDetail& out);
    bool send_request(DeviceNotificationRequest& request);
    // Window thread: the record `key` names, once, while its sender still waits for it.
    std::shared_ptr<DeviceNotificationRequest> claim_request(DeviceNotificationRequest* key);
    // Window thread: hands the answer to a sender still waiting; false once it has given up.
    bool answer_request(const std::shared_ptr<DeviceNotificationRequest>& record,
                        const DeviceNotificationRequest& answer);
    void drop_late_answer(const DeviceNotificationRequest& answer);
    HDEVNOTIFY register_notification(DeviceNotificationRequest& request, HDEVNOTIFY DeviceNotificationRequest::*result,
                                     ErrorCode sendFailure, const char* text);
    void set_ready();

    std::weak_ptr<IDeviceManager> m_manager;
    std::atomic<HWND> m_window{nullptr};
    std::unique_ptr<std::thread> m_window_thread;
    std::shared_ptr<std::atomic<bool>> m_window_alive;
    bool m_window_ready = false;
    std::mutex m_ready_mutex;
    std::condition_variable m_ready_condition;
    std::shared_ptr<IWin32System> m_system;
    GUID m_hid_class{};
    std::vector<std::shared_ptr<IBluetoothBus>> m_bluetooth_buses;
    std::vector<BluetoothBusMakers::DeviceChangeForward> m_bluetooth_forwards;
    std::vector<std::shared_ptr<IHardwareSecondaryBus>> m_gatt_buses;
    std::map<HDEVNOTIFY, HANDLE> m_handle_notifications;
    std::mutex m_notification_mutex;
    std::set<HDEVNOTIFY> m_interface_notifications;
    // Records sent to the window thread, by address, while their senders wait.
    struct SentRequest {
        std::shared_ptr<DeviceNotificationRequest> record;
        bool claimed = false;
    };
    std::map<DeviceNotificationRequest*, SentRequest> m_requests;
    std::mutex m_request_mutex;
    std::map<std::string, std::uint64_t> m_plug_generations;  // arrivals announced, per path
    std::map<std::string, std::uint64_t> m_removed_generations;  // per path, the last arrival announced gone
    std::recursive_mutex m_plug_mutex;  // direct subscribers of an arrival may open devices
    std::shared_ptr<IHardwareSecondaryBus> m_winrt_bus;
    bool m_started = false;
    std::mutex m_start_mutex;
    bool m_secondary_le_allowed = false;
};

// The device manager's platform bus: the HID bus with the Bluetooth buses items 0 to 3 select.
std::shared_ptr<IHardwareBus> make_platform_bus(std::shared_ptr<IDeviceManager> manager);

} // namespace devio
