#pragma once
#include "core/Producer.h"
#include "features/IFeature.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace devio {

class IRequest;

// Base of every feature object: frames each protocol 2.0 request of the system, checks replies,
// and hands the device's notifications for its index to subscribers and to its own decoder.
class Feature : public virtual IFeature,
                public virtual IRunLoopAccess,
                public Producer<IFeature::FeatureReport>,
                public std::enable_shared_from_this<Feature> {
public:
    Feature(std::uint32_t featureId, std::uint8_t featureIndex, std::weak_ptr<IDevice> device);
    ~Feature() override;

    std::uint32_t feature_id() override;
    bool send(std::uint32_t function, const std::vector<Byte>& params) override;
    bool execute(std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& reply,
                 std::uint32_t kind) override;
    bool execute_compared(std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& reply,
                          std::uint32_t kind, std::vector<unsigned> positions) override;
    bool build_command(std::uint32_t function, const std::vector<Byte>& params,
                       std::vector<Byte>& command) override;
    std::shared_ptr<IDeviceRequest> execute_async(std::uint32_t function, const std::vector<Byte>& params,
                                                  std::uint32_t kind, MergeRule merge,
                                                  std::vector<unsigned> positions, std::uint32_t order) override;
    bool setting_change_begun() override;
    bool reapply_pending() override;
    std::shared_ptr<IDevice> device() override;
    bool type_bit7() override;
    bool type_bit6() override;
    bool type_bit5() override;
    std::uint8_t feature_index() override;
    std::uint32_t feature_version() override;
    std::shared_ptr<Feature> self() override;

    // Called by the device's reply routing (reader thread): publish, then decode.
    void onFeatureReport(int function, const std::vector<Byte>& payload);
    void onUnexpectedResponse(unsigned function, unsigned softwareId, const std::vector<Byte>& payload);

    // Written once by the device's discovery from the Root / FeatureSet reply.
    void set_discovered(bool typeBit7, bool typeBit6, bool typeBit5, std::uint32_t featureVersion);

    // Configuration-change bookkeeping of the settings features.
    bool reapply();
    void clear_state_flag();
    // The device dropped its re-apply list: the next deferred write registers again.
    void clear_reapply_mark();
    bool begin_setting_change();
    bool defer_setting_change();

protected:
    // execute with an empty reply vector, then at least `minSize` payload bytes, else code 2.
    bool execute_payload(std::uint32_t function, const std::vector<Byte>& params, std::uint32_t kind,
                         std::size_t minSize, std::vector<Byte>& payload);

    // Writes the feature's retained settings again.
    virtual bool on_reapply() { return true; }
    virtual void on_notification(int /*function*/, const std::vector<Byte>& /*payload*/) {}
    virtual void on_unexpected_response(unsigned /*function*/, unsigned /*softwareId*/,
                                        const std::vector<Byte>& /*payload*/)
    {
    }

private:
    // Frames the command (see build_command) and returns the device it is for; empty with 28
    // when the device is gone.
    std::shared_ptr<IDevice> frame(std::uint32_t function, const std::vector<Byte>& params,
                                   std::vector<Byte>& command);
    // execute and execute_compared: `exact` keeps the payload as it came, otherwise it is
    // zero-filled to the size `reply` had on entry.
    bool execute_checked(std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& reply,
                         std::uint32_t kind, std::vector<unsigned> positions, bool exact);
    // begin_setting_change and defer_setting_change: register with the device once per `flag`.
    bool register_once(std::atomic<bool>& flag, bool (IDevice::*registration)(std::shared_ptr<IFeature>));

    bool m_type_bit7 = false;
    bool m_type_bit6 = false;
    bool m_type_bit5 = false;
    std::uint32_t m_feature_version = 0;
    std::uint32_t m_feature_id;
    std::uint8_t m_feature_index;
    std::weak_ptr<IDevice> m_device;
    // Set by callers' threads, cleared by the device's configuration handling.
    std::atomic<bool> m_setting_change_begun{false};
    std::atomic<bool> m_reapply_pending{false};
    std::atomic<bool> m_reapplying{false};
};

// Base of a concrete feature class T with interface I: the constructor with I's feature id and
// the registry's creator (one allocation, so self() works). T adds `using FeatureClass::FeatureClass;`
// and its operations.
template <class T, class I>
class FeatureClass : public Feature, public I {
public:
    FeatureClass(std::uint8_t featureIndex, std::weak_ptr<IDevice> device)
        : Feature(I::FeatureId, featureIndex, std::move(device))
    {
    }
    static std::shared_ptr<IFeature> create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device)
    {
        return std::make_shared<T>(featureIndex, std::move(device));
    }
};

// Turns a device request into a plain request: success when its reply is not an error reply.
std::shared_ptr<IRequest> chain_request(std::shared_ptr<IDeviceRequest> request, const char* label);

// Helpers shared by the feature decoders.
inline std::uint16_t be16(const std::vector<Byte>& p, std::size_t at)
{
    return static_cast<std::uint16_t>((p[at] << 8) | p[at + 1]);
}
inline std::uint32_t be32(const std::vector<Byte>& p, std::size_t at)
{
    return (std::uint32_t(p[at]) << 24) | (std::uint32_t(p[at + 1]) << 16) | (std::uint32_t(p[at + 2]) << 8) |
           std::uint32_t(p[at + 3]);
}
// Copy of `payload` zero-filled to at least `size` bytes.
inline std::vector<Byte> padded(std::vector<Byte> payload, std::size_t size)
{
    if (payload.size() < size)
        payload.resize(size, 0);
    return payload;
}

} // namespace devio
