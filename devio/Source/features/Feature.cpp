#include "features/Feature.h"

#include "core/DeviceRequest.h"
#include "core/ErrorRecord.h"
#include "core/Request.h"
#include "core/IDeviceManager.h"
#include "device/IDevice.h"

#include <utility>

namespace devio {

namespace {
const char* const kMismatch = "response does not match command";
}

Feature::Feature(std::uint32_t featureId, std::uint8_t featureIndex, std::weak_ptr<IDevice> device)
    : m_feature_id(featureId), m_feature_index(featureIndex), m_device(std::move(device))
{
    // Queued subscribers of the feature's events are served through the device manager's run loop.
    if (auto dev = m_device.lock()) {
        if (auto manager = dev->getManager().lock())
            set_run_loop(std::weak_ptr<IRunLoopManager>(std::static_pointer_cast<IRunLoopManager>(manager)));
    }
}

Feature::~Feature() = default;

std::uint32_t Feature::feature_id() { return m_feature_id; }
bool Feature::setting_change_begun() { return m_setting_change_begun; }
bool Feature::reapply_pending() { return m_reapply_pending; }
bool Feature::type_bit7() { return m_type_bit7; }
bool Feature::type_bit6() { return m_type_bit6; }
bool Feature::type_bit5() { return m_type_bit5; }
std::uint8_t Feature::feature_index() { return m_feature_index; }
std::uint32_t Feature::feature_version() { return m_feature_version; }
std::shared_ptr<Feature> Feature::self() { return shared_from_this(); }

std::shared_ptr<IDevice> Feature::device()
{
    auto dev = m_device.lock();
    if (!dev)
        set_last_error(28, 0, nullptr);
    return dev;
}

void Feature::set_discovered(bool typeBit7, bool typeBit6, bool typeBit5, std::uint32_t featureVersion)
{
    m_type_bit7 = typeBit7;
    m_type_bit6 = typeBit6;
    m_type_bit5 = typeBit5;
    m_feature_version = featureVersion;
}

std::shared_ptr<IDevice> Feature::frame(std::uint32_t function, const std::vector<Byte>& params,
                                        std::vector<Byte>& command)
{
    auto dev = device();
    if (!dev)
        return dev;
    const std::uint32_t softwareId = dev->getSoftwareId();
    command.clear();
    command.reserve(4 + params.size());
    command.push_back(0x10);
    command.push_back(0xFF);
    command.push_back(m_feature_index);
    command.push_back(static_cast<Byte>((function << 4) | softwareId));
    command.insert(command.end(), params.begin(), params.end());
    // Longer commands (even past 20 bytes, for 64-byte reports) keep every byte; the transport pads.
    if (command.size() > 7)
        command[0] = 0x11;
    return dev;
}

bool Feature::build_command(std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& command)
{
    return frame(function, params, command) != nullptr;
}

bool Feature::send(std::uint32_t function, const std::vector<Byte>& params)
{
    std::vector<Byte> command;
    auto dev = frame(function, params, command);
    return dev && dev->write(command, false);
}

bool Feature::execute_checked(std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& reply,
                              std::uint32_t kind, std::vector<unsigned> positions, bool exact)
{
    std::vector<Byte> command;
    auto dev = frame(function, params, command);
    if (!dev)
        return false;
    std::vector<Byte> response;
    if (!dev->execute(command, response, kind, std::move(positions)))
        return false;
    if (response.size() < 7) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    // The software id is read again: the device may have moved to another one meanwhile.
    // Compared on the full value, so a function number above 15 never matches.
    const std::uint32_t expected = (function << 4) | dev->getSoftwareId();
    if (response[2] != command[2] || response[3] != expected) {
        set_last_error(1, 0, kMismatch);
        return false;
    }
    std::vector<Byte> payload(response.begin() + 4, response.end());
    if (!exact && payload.size() < reply.size())
        payload.resize(reply.size(), 0);
    reply = std::move(payload);
    return true;
}

bool Feature::execute(std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& reply,
                      std::uint32_t kind)
{
    return execute_checked(function, params, reply, kind, {}, false);
}

bool Feature::execute_compared(std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& reply,
                               std::uint32_t kind, std::vector<unsigned> positions)
{
    return execute_checked(function, params, reply, kind, std::move(positions), true);
}

bool Feature::execute_payload(std::uint32_t function, const std::vector<Byte>& params, std::uint32_t kind,
                              std::size_t minSize, std::vector<Byte>& payload)
{
    payload.clear();
    if (!execute(function, params, payload, kind))
        return false;
    if (payload.size() < minSize) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    return true;
}

std::shared_ptr<IDeviceRequest> Feature::execute_async(std::uint32_t function, const std::vector<Byte>& params,
                                                       std::uint32_t kind, MergeRule merge,
                                                       std::vector<unsigned> positions, std::uint32_t order)
{
    std::vector<Byte> command;
    auto dev = frame(function, params, command);
    if (!dev)
        return make_device_request_failure(28, nullptr, 0);
    return dev->send(std::move(command), kind, std::move(positions), std::move(merge),
                     static_cast<std::int32_t>(order));
}

void Feature::onFeatureReport(int function, const std::vector<Byte>& payload)
{
    Producer<IFeature::FeatureReport>::notify(
        [function, payload](IFeature::FeatureReport* s) { s->onFeatureReport(function, payload); },
        "Feature::FeatureReport::onFeatureReport");
    on_notification(function, payload);
}

void Feature::onUnexpectedResponse(unsigned function, unsigned softwareId, const std::vector<Byte>& payload)
{
    Producer<IFeature::FeatureReport>::notify(
        [function, softwareId, payload](IFeature::FeatureReport* s) {
            s->onUnexpectedResponse(function, softwareId, payload);
        },
        "Feature::FeatureReport::onUnexpectedResponse");
    on_unexpected_response(function, softwareId, payload);
}

bool Feature::reapply()
{
    m_reapplying = true;
    const bool ok = on_reapply();
    if (ok)
        m_reapply_pending = false;
    m_reapplying = false;
    return ok;
}

void Feature::clear_state_flag() { m_setting_change_begun = false; }

void Feature::clear_reapply_mark() { m_reapply_pending = false; }

bool Feature::register_once(std::atomic<bool>& flag, bool (IDevice::*registration)(std::shared_ptr<IFeature>))
{
    if (flag)
        return true;
    auto dev = device();
    if (!dev)
        return false;
    const bool ok = ((*dev).*registration)(self());
    flag = true;
    return ok;
}

bool Feature::begin_setting_change() { return register_once(m_setting_change_begun, &IDevice::register_configured_feature); }

bool Feature::defer_setting_change()
{
    // A write that fails while the feature re-applies its settings is not deferred again.
    if (m_reapplying) {
        set_last_error(66, 0, nullptr);
        return false;
    }
    return register_once(m_reapply_pending, &IDevice::register_pending_feature);
}

std::shared_ptr<IRequest> chain_request(std::shared_ptr<IDeviceRequest> request, const char* label)
{
    std::shared_ptr<IDeviceRequest> self = request->self();
    std::weak_ptr<IDeviceRequest> owner = self;
    return self->then(
        owner,
        [](std::shared_ptr<IDeviceRequest> done) -> std::shared_ptr<IRequest> {
            if (done->check_response())
                return make_immediate_success();
            return make_immediate_failure_from_error();
        },
        label);
}

} // namespace devio
