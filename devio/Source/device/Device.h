#pragma once
#include "core/DataRequest.h"
#include "core/DeviceRequest.h"
#include "core/IDeviceManager.h"
#include "core/IDeviceRequestHost.h"
#include "core/IHardwareDevice.h"
#include "core/ITimer.h"
#include "core/Producer.h"
#include "core/Subscriber.h"
#include "device/IDevice.h"
#include "features/IFeature1D4BWirelessStatus.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace devio {

class Configuration;
class DeviceLock;
class IFeature0020ConfigChange;
class IFeature;
class Feature;

// One protocol device over one hardware device: connection and discovery, the request queue
// with its worker, reply routing, the configuration cookie, the response cache and the lock.
class Device : public IDevice,
               public Producer<IDevice::Report>,
               public Producer<IDevice::WriteReport>,
               public Producer<IDevice::Connect>,
               public Producer<IDevice::ConfigChange>,
               public Subscriber<IHardwareDevice::Read>,
               public Subscriber<IHardwareDevice::Write>,
               public Subscriber<IHardwareDevice::Connect>,
               public Subscriber<IHardwareDevice::FastDisconnect>,
               public Subscriber<IDeviceManager::ActiveChanged>,
               public Subscriber<IFeature1D4BWirelessStatus::Report>,
               public Subscriber<ITimer::TimerEvent>,
               public IDeviceRequestHost,
               public std::enable_shared_from_this<Device> {
public:
    // Made only through create (one allocation; the asynchronous steps need shared ownership).
    static std::shared_ptr<Device> create(std::shared_ptr<IDeviceManager> manager,
                                          std::shared_ptr<IHardwareDevice> hardware,
                                          std::shared_ptr<Configuration> configuration);
    Device(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hardware,
           std::shared_ptr<Configuration> configuration);
    ~Device() override;

    // ---- IDevice ----
    void initDevice(std::shared_ptr<IDeviceManager> manager) override;
    void close() override;
    bool attach() override;
    bool is_unresponsive() const override;
    void set_parameters(std::uint32_t retries, std::uint32_t failureThreshold,
                        std::uint32_t quarantineSeconds) override;
    void set_response_timeout(std::uint32_t ms) override;
    bool is_closed() const override;
    std::uint32_t getTransport() const override;
    std::uint32_t getDeviceIndex() const override;
    std::shared_ptr<IReceiver> getReceiver() const override;
    std::string getPath() const override;
    void getPaths(std::vector<std::string>& paths) const override;
    std::uint16_t getProductId() const override;
    std::string getName() const override;
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override;
    std::uint32_t getSoftwareId() override;
    std::uint64_t forward_hardware_first(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) override;
    bool register_configured_feature(std::shared_ptr<IFeature> feature) override;
    bool has_configured_features() override;
    bool register_pending_feature(std::shared_ptr<IFeature> feature) override;
    bool has_config_requests() override;
    bool release_configuration() override;
    void invalidate(const char* reason) override;
    std::weak_ptr<IDeviceManager> getManager() const override;
    std::shared_ptr<IFeature> getFeatureSync(std::uint32_t featureId) override;
    std::shared_ptr<IDataRequest<std::shared_ptr<IFeature>>> getFeature(std::uint32_t featureId) override;
    std::shared_ptr<IFeature> getFeatureByIndexSync(std::uint32_t index) override;
    std::shared_ptr<IDataRequest<std::shared_ptr<IFeature>>> getFeatureByIndex(std::uint32_t index) override;
    std::uint32_t getFeatureCountSync() override;
    std::shared_ptr<IDataRequest<std::uint32_t>> getFeatureCount() override;
    std::vector<std::shared_ptr<IFeature>> discoverFeatures() override;
    std::vector<std::shared_ptr<IFeature>> getFeatures() override;
    std::shared_ptr<IDeviceRequest> send(std::vector<Byte> command, std::uint32_t kind,
                                         std::vector<unsigned> positions, MergeRule merge,
                                         std::int32_t order) override;
    bool write(const std::vector<Byte>& bytes, bool flag) override;
    bool execute(const std::vector<Byte>& command, std::vector<Byte>& reply, std::uint32_t kind,
                 std::vector<unsigned> positions) override;
    void stop() override;
    bool rediscover() override;
    std::uint64_t forward_hardware_second(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) override;
    void replay_connect() override;
    std::shared_ptr<IRequest> after_fw_check(std::weak_ptr<void> owner) override;

    // rand() reduced to [min, max].
    std::uint32_t random(std::uint32_t min, std::int32_t max);

    // ---- IDeviceRequestHost ----
    void post_continuation(std::function<void(bool)> task) override;
    void wait_for_work(const std::function<bool()>& done) override;
    bool run_pending_write() override;
    bool run_continuation() override;

    // ---- response cache ----
    void set_cache_directory(std::string directory);
    void load_response_cache();
    void write_response_cache();
    bool write_cache_file(const std::string& name, const std::string& text);
    std::string cache_file_name() const;
    std::string legacy_cache_file_name() const;

    // ---- reply routing ----
    IDevice::ReportType route_report(std::vector<Byte> report, bool replaceIndex);
    std::uint32_t choose_software_id();

    // ---- handlers ----
    void onRead(std::vector<Byte> report, bool flag, unsigned a, unsigned b) override;
    void onWrite(std::vector<Byte> bytes, ErrorCode error, unsigned value) override;
    void onConnect(std::shared_ptr<IHardwareDevice> hardware) override;
    void onDisconnect(std::shared_ptr<IHardwareDevice> hardware) override;
    void onFastDisconnect() override;
    void onActiveChanged(bool active) override;
    void onWirelessStatusEvent(bool first, bool second, bool third) override;
    void onTimerEvent(int id) override;

    std::shared_ptr<IRequest> load_feature_root();

protected:
    // The first Connect subscriber attaches the device; the first WriteReport subscriber
    // subscribes to the hardware's write results.
    bool on_subscribe(IDevice::Connect* subscriber) override;
    bool on_subscribe(IDevice::WriteReport* subscriber) override;

private:
    using FeatureRequest = IDataRequest<std::shared_ptr<IFeature>>;

    bool subscribe_hardware();
    bool subscribe_read();
    void handle_connect();
    void handle_disconnect();
    void publish_settings_retained(bool ok);

    // discovery
    std::shared_ptr<IRequest> finish_discovery();
    std::shared_ptr<IRequest> load_fwinfo();
    std::shared_ptr<FeatureRequest> lookup_feature_by_id(std::uint32_t featureId);
    std::shared_ptr<FeatureRequest> lookup_feature_by_index(std::uint32_t index);
    std::shared_ptr<IFeature> add_feature(std::uint32_t index, std::uint32_t featureId,
                                          std::shared_ptr<IFeature> feature);
    template <class T>
    std::shared_ptr<IDataRequest<std::shared_ptr<T>>> get_feature_as(const char* label = nullptr);
    std::shared_ptr<IFeature> feature_at(std::uint32_t index);

    // configuration
    std::shared_ptr<IRequest> examine_configuration(const std::shared_ptr<IDeviceRequest>& request);
    std::shared_ptr<IRequest> check_cookie_chain(std::shared_ptr<IFeature0020ConfigChange> configChange);
    std::shared_ptr<IRequest> check_configured_cookie(std::shared_ptr<IFeature0020ConfigChange> configChange);
    std::shared_ptr<IRequest> process_pending_changes(std::shared_ptr<IFeature0020ConfigChange> configChange);
    void reset_configuration();
    // True when the last failure came while the device was away (5, or the link went down
    // meanwhile; the last error then reads 5): it tells nothing of the device's settings.
    bool failed_while_away();
    // Clears each configured feature's state flag and empties the list.
    void forget_configured_features();
    // Empties the re-apply list and clears each dropped feature's re-apply mark.
    void drop_pending_features();
    void deactivate();
    void publish_config_change();

    // worker
    void process_request(const std::shared_ptr<DeviceRequest>& request);
    void finish(const std::shared_ptr<DeviceRequest>& request);
    void transmit(const std::shared_ptr<DeviceRequest>& request, bool retry);
    bool post_write(const std::vector<Byte>& bytes, bool flag);
    // Ends the posted write `generation` if nobody has taken it: its run-loop trigger was dropped.
    void abandon_write(std::uint64_t generation);
    // Discards continuation `id` (its request fails with 28) if nobody has run it: its run-loop
    // trigger was dropped.
    void discard_continuation(std::uint64_t id);
    // Runs the queued continuations up to and including `id`, oldest first: the body of the
    // run-loop trigger of continuation `id`.
    void run_continuations_through(std::uint64_t id);
    bool firmware_check();
    bool direct_exchange(std::uint32_t index, std::uint32_t function, std::vector<Byte> params,
                         std::vector<Byte>& payload);
    void give_up_unresponsive();
    bool config_item(std::uint32_t item);
    static std::vector<Byte> cache_key(std::vector<Byte> bytes);

    // ---- members ----
    std::shared_ptr<Configuration> m_configuration;
    std::weak_ptr<IDeviceManager> m_manager;
    std::shared_ptr<IHardwareDevice> m_hardware_device;

    std::map<std::uint32_t, std::shared_ptr<IFeature>> m_features_by_index;
    std::map<std::uint32_t, std::shared_ptr<IFeature>> m_features_by_id;
    std::uint32_t m_feature_count = 0;
    bool m_all_features_known = false;
    mutable std::mutex m_feature_mutex;

    std::atomic<std::uint32_t> m_failure_threshold{2};
    std::atomic<std::uint32_t> m_response_timeout{3000};
    std::atomic<std::uint32_t> m_max_retries{9};
    std::shared_ptr<ITimer> m_quarantine_timer;
    std::atomic<std::uint32_t> m_quarantine_seconds{3600};
    std::atomic<std::uint32_t> m_protocol{0};
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_unresponsive{false};
    std::atomic<bool> m_notifications_enabled{true};
    std::atomic<bool> m_device_gone{false};

    std::vector<std::shared_ptr<IFeature>> m_configured_features;
    std::mutex m_configured_mutex;
    std::atomic<bool> m_config_lost{false};
    std::vector<std::shared_ptr<IFeature>> m_pending_features;
    std::mutex m_pending_mutex;
    std::atomic<bool> m_config_closed{false};
    std::atomic<bool> m_receiver_flag_set{false};

    std::atomic<bool> m_retry_pending{false};
    std::atomic<bool> m_check_presence{false};
    std::atomic<std::uint16_t> m_config_cookie{0};
    std::atomic<std::uint16_t> m_device_cookie{0};

    std::string m_firmware_text;
    std::array<std::uint32_t, 3> m_firmware_values{};  // FirmwareInfo index, version, entity
    std::atomic<bool> m_firmware_check_needed{false};
    std::atomic<bool> m_discovery_incomplete{false};
    mutable std::mutex m_firmware_mutex;

    std::map<std::vector<Byte>, std::vector<Byte>> m_response_cache;
    mutable std::mutex m_cache_mutex;
    std::string m_cache_directory;
    std::atomic<bool> m_cache_dirty{false};

    std::shared_ptr<ITimer> m_deactivation_timer;
    std::shared_ptr<ITimer> m_cache_write_timer;
    std::shared_ptr<ITimer> m_fw_check_timer;

    std::int64_t m_last_receive_time = 0;
    std::mutex m_receive_time_mutex;

    std::atomic<bool> m_attached{false};
    std::atomic<std::uint32_t> m_connection_state{0};
    std::atomic<bool> m_read_subscribed{false};
    std::atomic<bool> m_late_reply_seen{false};
    bool m_config_item9 = false;

    // Queue and worker. The queue lives apart from the device so that the worker can wait on
    // it while holding the device only weakly: a device may die between requests.
    struct WorkQueue {
        std::list<std::shared_ptr<DeviceRequest>> requests;
        std::list<std::shared_ptr<DeviceRequest>> superseded;
        std::mutex mutex;
        std::condition_variable condition;
        bool stop = false;
    };
    static void worker_main(std::weak_ptr<Device> device, std::shared_ptr<WorkQueue> queue);
    std::shared_ptr<WorkQueue> m_queue;
    std::thread m_worker;

    std::mutex m_request_mutex;
    std::condition_variable m_reply_condition;
    std::shared_ptr<DeviceRequest> m_pending_request;
    std::shared_ptr<DeviceRequest> m_last_request;

    std::atomic<bool> m_silent{false};
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_writes_closed{false};

    // software ids
    std::uint32_t m_software_id = 0;
    std::array<std::int64_t, 16> m_software_id_stamps{};
    std::int64_t m_stamp_counter = 0;  // 64 bits: never wraps in a device's life
    std::mutex m_software_id_mutex;
    std::atomic<bool> m_software_id_collision{false};

    // write hand-off
    std::mutex m_write_mutex;
    std::vector<Byte> m_pending_write_bytes;
    bool m_pending_write_flag = false;
    bool m_write_pending = false;
    bool m_write_abandoned = false;
    std::uint64_t m_write_generation = 0;
    bool m_write_done = false;
    bool m_write_ok = false;
    ErrorRecord m_write_error;
    std::condition_variable m_write_done_condition;
    std::condition_variable m_waiter_condition;
    // Each with the number its run-loop trigger knows it by.
    struct QueuedContinuation {
        std::uint64_t id;
        std::function<void(bool)> task;
    };
    std::list<QueuedContinuation> m_continuations;
    std::uint64_t m_continuation_count = 0;
    std::condition_variable m_retry_delay_condition;

    std::unique_ptr<DeviceLock> m_device_lock;
};

} // namespace devio
