#pragma once
#include "core/Types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace devio {

class IDeviceManager;
class IReceiver;
class IFeature;
class IRequest;
class IDeviceRequest;
template <typename T> class IDataRequest;

// One protocol device as its users see it: connection events, incoming reports,
// feature access, the request queue and the configuration bookkeeping.
class IDevice {
public:
    // What the reply routing made of an input report.
    enum ReportType : std::uint32_t {
        ReportOther = 0,        // too short, or unmatched with a device index 1..254
        ReportReply = 1,        // reply to the pending request, or a late reply
        ReportUnmatched = 2,    // unmatched, device index 0x00 or 0xFF
        ReportNotification = 3, // receiver notification or feature notification
    };

    // Merge rule of a queued request: (queued parameters, new parameters) -> take its place.
    using MergeRule = std::function<bool(const std::vector<Byte>&, const std::vector<Byte>&)>;

    class Connect {
    public:
        virtual void onConnect(std::shared_ptr<IDevice> /*device*/, bool /*settingsRetained*/) {}
        virtual void onConnect(std::shared_ptr<IDevice> /*device*/) {}
        virtual void onDisconnect(std::shared_ptr<IDevice> /*device*/) {}
        virtual void onFirmwareChanged(std::shared_ptr<IDevice> /*device*/) {}
        virtual void onUnresponsive(std::shared_ptr<IDevice> /*device*/) {}
        virtual void onUnresponsiveTimeout(std::shared_ptr<IDevice> /*device*/) {}
        virtual ~Connect() = default;
    };

    class Report {
    public:
        virtual void onReport(const std::vector<Byte>& /*report*/, std::uint32_t, std::uint32_t,
                              ReportType /*type*/) {}
        virtual ~Report() = default;
    };

    class WriteReport {
    public:
        virtual void onWriteReport(const std::vector<Byte>& /*bytes*/, ErrorCode /*error*/, std::uint32_t) {}
        virtual ~WriteReport() = default;
    };

    class ConfigChange {
    public:
        virtual void onConfigChange() {}
        virtual ~ConfigChange() = default;
    };

    virtual void initDevice(std::shared_ptr<IDeviceManager> manager) = 0;
    virtual void close() = 0;
    virtual ~IDevice() = default;
    virtual bool attach() = 0;
    virtual bool is_unresponsive() const = 0;
    virtual void set_parameters(std::uint32_t retries, std::uint32_t failureThreshold,
                                std::uint32_t quarantineSeconds) = 0;
    virtual void set_response_timeout(std::uint32_t ms) = 0;
    virtual bool is_closed() const = 0;
    virtual std::uint32_t getTransport() const = 0;
    virtual std::uint32_t getDeviceIndex() const = 0;
    virtual std::shared_ptr<IReceiver> getReceiver() const = 0;
    virtual std::string getPath() const = 0;
    virtual void getPaths(std::vector<std::string>& paths) const = 0;
    virtual std::uint16_t getProductId() const = 0;
    virtual std::string getName() const = 0;
    virtual std::shared_ptr<IDataRequest<std::string>> nameRequest() = 0;
    virtual std::uint32_t getSoftwareId() = 0;
    virtual std::uint64_t forward_hardware_first(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) = 0;
    virtual bool register_configured_feature(std::shared_ptr<IFeature> feature) = 0;
    virtual bool has_configured_features() = 0;
    virtual bool register_pending_feature(std::shared_ptr<IFeature> feature) = 0;
    virtual bool has_config_requests() = 0;
    virtual bool release_configuration() = 0;
    // Null or "cache": forget everything discovered. Any other text: drop the response cache only.
    virtual void invalidate(const char* reason) = 0;
    virtual std::weak_ptr<IDeviceManager> getManager() const = 0;

    virtual std::shared_ptr<IFeature> getFeatureSync(std::uint32_t featureId) = 0;
    virtual std::shared_ptr<IDataRequest<std::shared_ptr<IFeature>>> getFeature(std::uint32_t featureId) = 0;
    virtual std::shared_ptr<IFeature> getFeatureByIndexSync(std::uint32_t index) = 0;
    virtual std::shared_ptr<IDataRequest<std::shared_ptr<IFeature>>> getFeatureByIndex(std::uint32_t index) = 0;
    virtual std::uint32_t getFeatureCountSync() = 0;
    virtual std::shared_ptr<IDataRequest<std::uint32_t>> getFeatureCount() = 0;
    virtual std::vector<std::shared_ptr<IFeature>> discoverFeatures() = 0;
    virtual std::vector<std::shared_ptr<IFeature>> getFeatures() = 0;

    // Queues a request; never blocks on the device. kind 1 = repeatable read-only (cacheable);
    // positions = parameter positions a reply must echo; order > 0 goes to the queue's front.
    virtual std::shared_ptr<IDeviceRequest> send(std::vector<Byte> command, std::uint32_t kind,
                                                 std::vector<unsigned> positions, MergeRule merge,
                                                 std::int32_t order) = 0;
    virtual bool write(const std::vector<Byte>& bytes, bool flag) = 0;
    // send + blocking wait; the reply's bytes go to `reply` on success.
    virtual bool execute(const std::vector<Byte>& command, std::vector<Byte>& reply, std::uint32_t kind,
                         std::vector<unsigned> positions) = 0;
    virtual void stop() = 0;
    virtual bool rediscover() = 0;
    virtual std::uint64_t forward_hardware_second(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) = 0;
    virtual void replay_connect() = 0;
    virtual std::shared_ptr<IRequest> after_fw_check(std::weak_ptr<void> owner) = 0;
};

} // namespace devio
