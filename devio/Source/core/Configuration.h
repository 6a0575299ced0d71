#pragma once
#include <map>
#include <mutex>

namespace devio {

// Numbered boolean items of the device manager.
enum ConfigItem : int {
    ConfigClassicBluetooth = 0,
    ConfigBluetoothLE = 1,
    ConfigGattBus = 2,
    ConfigWinRTBluetooth = 3,
    ConfigDetection = 4,
    ConfigReceivers = 5,
    ConfigUsbHid = 6,
    ConfigGattNoNotify = 7,
    ConfigLateReplies = 8,
    ConfigUnhashedCache = 9,
    ConfigIgnoreBusyRetry = 10,
    ConfigDeviceLock = 11,
};

// Thread-safe store; an item never set reads false.
class Configuration {
public:
    Configuration() = default;
    Configuration(const Configuration& other)
    {
        std::lock_guard<std::mutex> lock(other.m_mutex);
        m_items = other.m_items;
    }
    Configuration& operator=(const Configuration&) = delete;

    bool get(ConfigItem item) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_items.find(static_cast<int>(item));
        return it != m_items.end() && it->second;
    }
    void set(ConfigItem item, bool value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items[static_cast<int>(item)] = value;
    }

private:
    mutable std::mutex m_mutex;
    std::map<int, bool> m_items;
};

} // namespace devio
