// A simulated GATT server: the services, characteristics and descriptors of a Bluetooth LE
// device, written and read by the host (Win32 GATT functions, Windows Runtime classes) and
// notifying through its client configuration. The device model answers writes and notifies.
#pragma once

#include <sim/DeviceTree.h>

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::sim {

using GattBytes = std::vector<std::uint8_t>;

struct GattUuid {
    bool isShort = false;
    std::uint16_t shortId = 0;
    GUID full{};

    static GattUuid of_short(std::uint16_t id);
    static GattUuid of(const GUID& id);
    // The full form (a short id on the Bluetooth base UUID).
    GUID as_full() const;
};

constexpr int kCccdType = 2;

struct GattDescriptor {
    std::uint16_t handle = 0;
    int type = kCccdType;
    GattUuid uuid = GattUuid::of_short(0x2902);
};

struct GattCharacteristic {
    std::uint16_t handle = 0;
    GattUuid uuid;
    bool readable = false;
    bool writable = false;
    bool writableWithoutResponse = false;
    bool notifiable = false;
    GattBytes value;
    std::vector<GattDescriptor> descriptors;
};

struct GattService {
    std::uint16_t handle = 0;
    GattUuid uuid;
    std::vector<GattCharacteristic> characteristics;
};

class GattServer {
public:
    using WriteHandler = std::function<void(std::uint16_t characteristic, const GattBytes& value)>;
    using Watcher = std::function<void(std::uint16_t characteristic, const GattBytes& value)>;

    explicit GattServer(std::vector<GattService> services);

    std::vector<GattService> services() const;
    const GattCharacteristic* find_locked(std::uint16_t handle) const;

    // ---- host side; results are HRESULTs ----
    HRESULT write(std::uint16_t characteristic, const GattBytes& value, bool withResponse);
    HRESULT read(std::uint16_t characteristic, GattBytes& value);
    // The value as last known, with or without the link.
    HRESULT cached_value(std::uint16_t characteristic, GattBytes& value) const;
    HRESULT set_notifying(std::uint16_t characteristic, bool on);
    bool notifying(std::uint16_t characteristic) const;
    HRESULT descriptor_value(std::uint16_t characteristic, bool& notify) const;
    // Notifications of a characteristic (while its configuration has them on) go to watchers,
    // on the device's thread. Removing a watcher waits for its running call (except on that thread).
    int add_watcher(std::uint16_t characteristic, Watcher watcher);
    void remove_watcher(int id);

    // ---- device side ----
    void set_write_handler(WriteHandler handler);
    void notify(std::uint16_t characteristic, const GattBytes& value);
    void set_value(std::uint16_t characteristic, const GattBytes& value);
    // Out of range: every host call fails with HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED).
    void set_reachable(bool reachable);
    bool reachable() const;
    // The next host writes fail with `error` (0: off).
    void set_write_failure(HRESULT error);
    std::vector<GattBytes> written() const;

private:
    mutable std::mutex m_mutex;
    std::vector<GattService> m_services;
    std::map<std::uint16_t, bool> m_notifying;
    bool m_reachable = true;
    HRESULT m_write_failure = 0;
    std::vector<GattBytes> m_written;
    WriteHandler m_write_handler;

    struct WatcherEntry {
        std::uint16_t characteristic;
        Watcher watcher;
    };
    std::recursive_mutex m_delivery_mutex;  // held while watchers run
    std::mutex m_watcher_mutex;
    std::map<int, WatcherEntry> m_watchers;
    int m_next_watcher = 1;
};

// Win32 GATT for the service interfaces of `node`; null removes it.
void register_gatt_server(DevInst node, std::shared_ptr<GattServer> server);
std::shared_ptr<GattServer> gatt_server_of(DevInst node);

}  // namespace platform::sim
