#pragma once
#include "core/Configuration.h"
#include "core/IDeviceFactory.h"
#include "core/IDeviceManager.h"
#include "core/IHardwareBus.h"
#include "core/IHardwareDevice.h"
#include "core/ITimer.h"
#include "core/Producer.h"
#include "core/Timer.h"

#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace devio {

// Root of the framework: run-loop queue, configuration, buses, device arrival and removal.
// Devices and buses are touched only on the run-loop host thread (or the thread that starts).
class DeviceManager : public IDeviceManager,
                      public Producer<IDeviceManager::ArrivalRemoval>,
                      public Producer<IDeviceManager::ActiveChanged>,
                      public Producer<IDeviceManager::ConfigChanged>,
                      public Producer<IDeviceManager::UnreportedError>,
                      public Producer<IRunLoopManager::RunLoopEvent>,
                      public Subscriber<IHardwareBus::PlugUnplug>,
                      public Subscriber<IDeviceManager::ActiveChanged>,
                      public Subscriber<ITimer::TimerEvent>,
                      public std::enable_shared_from_this<DeviceManager> {
public:
    DeviceManager();
    explicit DeviceManager(std::shared_ptr<IDeviceFactory> factory);
    ~DeviceManager() override;

    // The maker of buses and devices; set before the first start.
    void set_factory(std::shared_ptr<IDeviceFactory> factory);
    std::shared_ptr<IDeviceFactory> factory() const;
    // Receiver product id -> slot count; 0 when the id is not a known receiver.
    static std::uint32_t receiver_slot_count(std::uint32_t productId);

    // IRunLoopManager
    void post(std::function<bool()> callable, void* subscriber, void* producer, std::string name) override;
    void process() override;
    void flush(void* subscriber, void* producer) override;

    // IDeviceManager
    std::vector<std::shared_ptr<IDevice>> getDevices() override;
    std::vector<std::shared_ptr<IDevice>> getChildDevices(std::shared_ptr<IDevice> parent) override;
    void setSoftwareId(int id) override;
    std::uint32_t getSoftwareId() override;
    bool is_active() override { return m_active.load(); }
    void set_active(bool active) override;
    void reportError(const char* context) override;
    void setCacheDirectory(std::string directory) override;
    bool getDefaultConfig(ConfigItem item, bool* value) override;
    bool getConfig(ConfigItem item, bool* value) override;
    bool setConfig(ConfigItem item, bool value) override;
    bool start() override;
    std::shared_ptr<IDevice> createDevice(std::shared_ptr<IHardwareDevice> hardware, bool noReceiver,
                                          std::uint32_t productId) override;
    bool addBus(std::shared_ptr<IHardwareBus> bus) override;
    void removeBus(std::shared_ptr<IHardwareBus> bus) override;

    // Handlers
    void onPlug(std::shared_ptr<IHardwareDevice> hardware) override;
    void onUnplug(std::shared_ptr<IHardwareDevice> hardware) override;
    void onPowerChange(bool on) override;
    void onActiveChanged(bool active) override;
    void onTimerEvent(int id) override;

    std::shared_ptr<Configuration> current_config() const { return m_current_config; }
    bool is_started() const { return m_started; }
    // Removes every bus and device, on the calling thread (the host's), and refuses new work;
    // the destructor does the same. Another thread may hold the last reference for a moment
    // (a delivery posting to the run loop), and the tree must not end there.
    void shut_down();
    std::size_t queued_count();

protected:
    bool on_subscribe(IDeviceManager::ArrivalRemoval* subscriber) override;
    void on_subscribed(IRunLoopManager::RunLoopEvent* subscriber, bool direct) override;

private:
    struct Entry {
        std::shared_ptr<IHardwareDevice> hardware;
        std::shared_ptr<IDevice> device;
    };
    struct QueueEntry {
        std::function<bool()> callable;
        void* subscriber;
        void* producer;
        std::string name;
    };

    bool ensure_started();
    bool accepts(const std::shared_ptr<IHardwareDevice>& hardware);
    void publish_run_loop_event();
    void remove_started_buses();

    std::shared_ptr<IDeviceFactory> m_factory;
    bool m_started = false;
    std::mutex m_software_id_mutex;
    std::uint32_t m_software_id = 0;
    std::atomic<bool> m_active{true};
    std::string m_cache_directory;
    std::atomic<bool> m_closing{false};
    std::shared_ptr<Configuration> m_default_config;
    std::shared_ptr<Configuration> m_current_config;

    std::mutex m_queue_mutex;
    std::list<QueueEntry> m_queue;
    bool m_pending = false;

    std::map<std::string, Entry> m_devices; // by hardware path
    std::set<std::shared_ptr<IHardwareBus>> m_added_buses;
    std::set<std::shared_ptr<IHardwareBus>> m_started_buses;
    std::shared_ptr<Timer> m_retry_timer;
    int m_retry_count = 0;
    std::set<std::shared_ptr<IHardwareBus>> m_retry_buses;
};

} // namespace devio
