// Bluetooth devices found through the Windows Runtime: device watchers for LE and classic
// devices, the LE advertisement watcher (active scanning, item 4) and the Bluetooth radio's
// state, announced as WinRTBluetoothDevice arrivals and removals.
#pragma once

#include "core/IDeviceManager.h"
#include "core/IHardwareSecondaryBus.h"
#include "core/Producer.h"

#include <winrt_bluetooth.h>
#include <wrl.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace devio {

class Win32Bus;
class WinRTBluetoothDevice;

class WinRTBluetoothBus : public IHardwareSecondaryBus,
                          public Producer<IHardwareBus::PlugUnplug>,
                          public Subscriber<IDeviceManager::ConfigChanged>,
                          public std::enable_shared_from_this<WinRTBluetoothBus> {
public:
    // Makes the bus and registers its handlers (they hold it weakly, so this needs the shared
    // pointer). Throws DevioException when a platform call fails.
    static std::shared_ptr<WinRTBluetoothBus> create(const std::shared_ptr<Win32Bus>& parent, bool watchLowEnergy);
    WinRTBluetoothBus(const std::shared_ptr<Win32Bus>& parent, bool watchLowEnergy);
    ~WinRTBluetoothBus() override;

    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override;
    void onConfigChanged(ConfigItem item, bool value) override;

    static std::string format_address(const std::uint8_t bytes[6]);
    // Waits for the radio (tests).
    bool radio_on();

protected:
    void on_subscriber_stored(IHardwareBus::PlugUnplug* subscriber) override;

private:
    using Watcher = ABI::Windows::Devices::Enumeration::IDeviceWatcher;
    struct WatcherTokens {
        Microsoft::WRL::ComPtr<Watcher> watcher;
        EventRegistrationToken added{}, completed{}, updated{}, removed{};
    };

    void setup();
    void register_watcher(WatcherTokens& w, bool lowEnergy);
    void find_bluetooth_radio();
    void start_watchers();
    void start_active_scanning();
    void stop_active_scanning();
    void onAdded(Watcher* sender, ABI::Windows::Devices::Enumeration::IDeviceInformation* information);
    void onUpdated(Watcher* sender, ABI::Windows::Devices::Enumeration::IDeviceInformationUpdate* update);
    void onRemoved(Watcher* sender, ABI::Windows::Devices::Enumeration::IDeviceInformationUpdate* update);
    void onEnumerationCompleted(Watcher* sender);
    void onAdvertisementReceived(
        ABI::Windows::Devices::Bluetooth::Advertisement::IBluetoothLEAdvertisementReceivedEventArgs* args);
    void onRadioStateChanged();
    void update_device(Watcher* sender, const std::string& id,
                       ABI::Windows::Devices::Enumeration::PropertyMap* properties, const std::string& name);
    void remove_duplicate_locked(const std::shared_ptr<WinRTBluetoothDevice>& device);
    void publish(bool plug, const std::shared_ptr<WinRTBluetoothDevice>& device);
    static std::optional<std::string> read_string_property(const WCHAR* name,
                                                           ABI::Windows::Devices::Enumeration::PropertyMap* properties);
    static std::optional<bool> read_bool_property(const WCHAR* name,
                                                  ABI::Windows::Devices::Enumeration::PropertyMap* properties);

    std::weak_ptr<IDeviceManager> m_manager;
    const bool m_watch_le;
    // Set once by setup, read by every thread afterwards.
    Microsoft::WRL::ComPtr<ABI::Windows::Devices::Radios::IRadio> m_radio;
    EventRegistrationToken m_radio_token{};
    WatcherTokens m_le;
    WatcherTokens m_classic;
    Microsoft::WRL::ComPtr<ABI::Windows::Devices::Bluetooth::Advertisement::IBluetoothLEAdvertisementWatcher> m_advertiser;
    EventRegistrationToken m_advertiser_token{};

    std::mutex m_enumeration_mutex;
    std::condition_variable m_enumeration_changed;
    bool m_le_completed = false;
    bool m_classic_completed = false;
    unsigned m_radio_changes = 0;

    std::recursive_mutex m_device_mutex;  // the device map; plug events go out under it
    std::map<std::string, std::shared_ptr<WinRTBluetoothDevice>> m_devices;
    std::mutex m_advertisement_mutex;  // the advertisement map only
    std::map<std::string, std::shared_ptr<WinRTBluetoothDevice>> m_advertised;
};

} // namespace devio
