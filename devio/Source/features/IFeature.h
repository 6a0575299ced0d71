#pragma once
#include "core/Types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace devio {

class IDevice;
class IDeviceRequest;
class Feature;

// One protocol 2.0 feature of one device. Family interfaces (IFeature0000Root, ...) derive from
// it virtually, so a concrete feature holds exactly one IFeature however many interfaces it has.
class IFeature {
public:
    // Raw reports of this feature's index, published before the feature decodes them.
    class FeatureReport {
    public:
        // A notification (software id 0): function = byte 3 >> 4, payload = bytes 4..
        virtual void onFeatureReport(int /*function*/, const std::vector<Byte>& /*payload*/) {}
        // A report at this index that answered no pending request.
        virtual void onUnexpectedResponse(unsigned /*function*/, unsigned /*softwareId*/,
                                          const std::vector<Byte>& /*payload*/)
        {
        }
        virtual ~FeatureReport() = default;
    };

    // (queued request's parameters, new request's parameters) -> the new one takes the queued one's place.
    using MergeRule = std::function<bool(const std::vector<Byte>&, const std::vector<Byte>&)>;

    virtual ~IFeature() = default;

    virtual std::uint32_t feature_id() = 0;
    // Writes the request without awaiting a reply.
    virtual bool send(std::uint32_t function, const std::vector<Byte>& params) = 0;
    // Blocking request; `reply` receives the payload, zero-filled up to the size it had on entry.
    // kind 0: ordinary; kind 1: repeatable read-only, may be answered from the response cache.
    virtual bool execute(std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& reply,
                         std::uint32_t kind) = 0;
    // As execute, but a reply must echo the command at the given parameter positions; `reply`
    // receives exactly the payload.
    virtual bool execute_compared(std::uint32_t function, const std::vector<Byte>& params,
                                  std::vector<Byte>& reply, std::uint32_t kind,
                                  std::vector<unsigned> positions) = 0;
    virtual bool build_command(std::uint32_t function, const std::vector<Byte>& params,
                               std::vector<Byte>& command) = 0;
    // Queues the request and returns at once; device gone: an already failed request (28).
    virtual std::shared_ptr<IDeviceRequest> execute_async(std::uint32_t function, const std::vector<Byte>& params,
                                                          std::uint32_t kind, MergeRule merge,
                                                          std::vector<unsigned> positions,
                                                          std::uint32_t order) = 0;
    virtual bool setting_change_begun() = 0;
    virtual bool reapply_pending() = 0;
    // The device, or empty with last error 28 when it is gone.
    virtual std::shared_ptr<IDevice> device() = 0;
    virtual bool type_bit7() = 0;
    virtual bool type_bit6() = 0;
    virtual bool type_bit5() = 0;
    virtual std::uint8_t feature_index() = 0;
    virtual std::uint32_t feature_version() = 0;
    // The owning shared pointer; throws std::bad_weak_ptr for an unowned feature.
    virtual std::shared_ptr<Feature> self() = 0;
};

} // namespace devio
