// Connection handling, feature discovery and the configuration cookie of devio::Device.
#include "device/Device.h"

#include "core/ErrorRecord.h"
#include "core/Timing.h"
#include "device/IReceiverLink.h"
#include "features/Feature.h"
#include "features/FeatureRegistry.h"
#include "features/IFeature0000Root.h"
#include "features/IFeature0001FeatureSet.h"
#include "features/IFeature0003FirmwareInfo.h"
#include "features/IFeature0020ConfigChange.h"

#include <algorithm>
#include <chrono>

namespace devio {

namespace {

using FeaturePtr = std::shared_ptr<IFeature>;

std::int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <class T>
std::shared_ptr<IDataRequest<T>> fail_data(ErrorCode code, const char* text = nullptr)
{
    return make_data_failure<T>(code, text, 0);
}

// What a step of a chain answers when the device went away while the chain waited.
template <class R>
struct DeviceGone;
template <>
struct DeviceGone<IRequest> {
    static std::shared_ptr<IRequest> result() { return make_immediate_result(28, nullptr, 0); }
};
template <class T>
struct DeviceGone<IDataRequest<T>> {
    static std::shared_ptr<IDataRequest<T>> result() { return make_data_failure<T>(28, nullptr, 0); }
};

// A step of a request chain that runs with the device held, or ends the chain with 28.
template <class R, class Arg, class Step>
std::function<std::shared_ptr<R>(Arg)> on_device(std::weak_ptr<Device> weak, Step step)
{
    return [weak = std::move(weak), step = std::move(step)](Arg arg) -> std::shared_ptr<R> {
        auto device = weak.lock();
        if (!device)
            return DeviceGone<R>::result();
        return step(device, std::move(arg));
    };
}

} // namespace

// ---------------------------------------------------------------- connection

void Device::handle_connect()
{
    auto self = shared_from_this();
    m_check_presence = false;
    m_device_gone = false;
    if (!subscribe_read()) {
        if (auto manager = m_manager.lock())
            manager->reportError("Device::onConnect subscribe(IHardwareDevice::Read)");
    }
    if (m_connected) {
        std::int64_t last;
        {
            std::lock_guard<std::mutex> lock(m_receive_time_mutex);
            last = m_last_receive_time;
        }
        // A repeated Connect while the device still talks waits until it has been quiet a second.
        if (last != 0 && now_ns() - last < std::int64_t(Timing::scaled(1000)) * 1000000) {
            if (m_fw_check_timer)
                m_fw_check_timer->kick(Timing::scaled(1000));
            return;
        }
    }
    if (!m_notifications_enabled) {
        if (has_configured_features() && m_deactivation_timer)
            m_deactivation_timer->start(Timing::scaled(5000));
        return;
    }
    m_late_reply_seen = false;
    m_connected = true;
    Producer<IDevice::Connect>::notify([self](IDevice::Connect* s) { s->onConnect(self); },
                                       "Device::Connect::onConnect");
    std::weak_ptr<Device> weak = self;
    after_fw_check(weak)->then(
        weak,
        [weak](bool ok) -> std::shared_ptr<IRequest> {
            if (auto device = weak.lock())
                device->publish_settings_retained(ok);
            return make_immediate_success();
        },
        "use settings_retained result to produce onConnect(bool) events");
}

void Device::publish_settings_retained(bool ok)
{
    auto self = shared_from_this();
    if (!ok && last_error().code == 5)
        return;
    m_connection_state = 2;
    Producer<IDevice::Connect>::notify([self, ok](IDevice::Connect* s) { s->onConnect(self, ok); },
                                       "Device::Connect::onConnect");
}

void Device::onWirelessStatusEvent(bool, bool second, bool)
{
    auto self = weak_from_this().lock();
    if (!self || !second || m_connection_state != 2)
        return;
    std::weak_ptr<Device> weak = self;
    after_fw_check(weak)->then(
        weak,
        [weak](bool ok) -> std::shared_ptr<IRequest> {
            auto device = weak.lock();
            if (!device || ok || last_error().code == 5)
                return make_immediate_success();
            // The device lost its settings while it was away.
            std::shared_ptr<IDevice> d = device;
            device->Producer<IDevice::Connect>::notify([d](IDevice::Connect* s) { s->onDisconnect(d); },
                                                       "Device::Connect::onConnect");
            device->Producer<IDevice::Connect>::notify([d](IDevice::Connect* s) { s->onConnect(d); },
                                                       "Device::Connect::onConnect");
            device->Producer<IDevice::Connect>::notify([d](IDevice::Connect* s) { s->onConnect(d, false); },
                                                       "Device::Connect::onConnect");
            return make_immediate_success();
        },
        "use settings_retained result to produce onConnect(bool) events");
}

std::shared_ptr<IRequest> Device::after_fw_check(std::weak_ptr<void> owner)
{
    m_firmware_check_needed = true;
    auto request = send({}, 0, {}, nullptr, 0);
    std::weak_ptr<Device> weak = shared_from_this();
    return request->then(
        std::move(owner),
        on_device<IRequest, std::shared_ptr<IDeviceRequest>>(weak, [weak](const std::shared_ptr<Device>& device, std::shared_ptr<IDeviceRequest> done) -> std::shared_ptr<IRequest> {
            return device->examine_configuration(done);
        }),
        "after fw version check, examine configuration");
}

std::shared_ptr<IRequest> Device::examine_configuration(const std::shared_ptr<IDeviceRequest>& request)
{
    // The empty request carries no reply: only its error record counts.
    if (auto queued = std::dynamic_pointer_cast<DeviceRequest>(request))
        set_last_error(queued->result());
    else
        request->check_response();
    if (last_error().code != 0) {
        if (!failed_while_away())
            reset_configuration();
        return make_immediate_failure_from_error();
    }
    std::weak_ptr<Device> weak = shared_from_this();
    if (has_configured_features() || has_config_requests()) {
        return get_feature_as<IFeature0020ConfigChange>("get feature 0020")
            ->then(
                weak,
                on_device<IRequest, std::shared_ptr<IFeature0020ConfigChange>*>(weak, [weak](const std::shared_ptr<Device>& device, std::shared_ptr<IFeature0020ConfigChange>* feature) -> std::shared_ptr<IRequest> {
                    return device->check_cookie_chain(feature ? *feature : nullptr);
                }),
                "get feature 0020");
    }
    return make_immediate_result(30, nullptr, 0)
        ->then(
            weak,
            on_device<IRequest, bool>(weak, [weak](const std::shared_ptr<Device>& device, bool) -> std::shared_ptr<IRequest> {
                return device->check_cookie_chain(nullptr);
            }),
            "get feature 0020");
}

std::shared_ptr<IRequest> Device::check_cookie_chain(std::shared_ptr<IFeature0020ConfigChange> configChange)
{
    if (!configChange && failed_while_away())
        return make_immediate_failure_from_error();
    std::weak_ptr<Device> weak = shared_from_this();
    auto chain = make_immediate_success()->then(
        weak,
        on_device<IRequest, bool>(weak, [configChange](const std::shared_ptr<Device>& device, bool) {
            return device->check_configured_cookie(configChange);
        }),
        "check configured cookie");
    chain = chain->then(
        weak,
        on_device<IRequest, bool>(weak, [configChange](const std::shared_ptr<Device>& device, bool ok) {
            return ok ? device->process_pending_changes(configChange) : make_immediate_failure_from_error();
        }),
        "process pending changes");
    return chain->then(
        weak,
        [weak](bool ok) -> std::shared_ptr<IRequest> {
            if (!ok)
                return make_immediate_failure_from_error();
            auto device = weak.lock();
            if (device && device->has_configured_features())
                return make_immediate_success();
            return make_immediate_result(86, nullptr, 0);
        },
        "return settings_retained result");
}

std::shared_ptr<IRequest> Device::check_configured_cookie(std::shared_ptr<IFeature0020ConfigChange> configChange)
{
    if (!has_configured_features())
        return make_immediate_success();
    if (!configChange) {
        m_config_lost = true;
        set_last_error(30);
        reset_configuration();
        return make_immediate_failure_from_error();
    }
    std::weak_ptr<Device> weak = shared_from_this();
    return configChange->GetCookie()->then(
        weak,
        on_device<IRequest, IFeature0020ConfigChange::GetCookieResponse*>(weak, [weak](const std::shared_ptr<Device>& device, IFeature0020ConfigChange::GetCookieResponse* reply) -> std::shared_ptr<IRequest> {
            if (reply) {
                const std::uint16_t mine = device->m_config_cookie;
                if (mine != 0 && reply->cookie == mine)
                    return make_immediate_success();
                if (reply->cookie != 0)
                    device->m_device_cookie = reply->cookie;
                set_last_error(86);
                device->reset_configuration();
                return make_immediate_failure_from_error();
            }
            if (device->failed_while_away())
                return make_immediate_failure_from_error();
            device->m_config_lost = true;
            device->reset_configuration();
            return make_immediate_failure_from_error();
        }),
        "");
}

std::shared_ptr<IRequest> Device::process_pending_changes(std::shared_ptr<IFeature0020ConfigChange> configChange)
{
    if (!has_config_requests())
        return make_immediate_success();
    std::vector<FeaturePtr> pending;
    {
        std::lock_guard<std::mutex> lock(m_pending_mutex);
        pending = m_pending_features;
    }
    for (const auto& feature : pending) {
        auto concrete = std::dynamic_pointer_cast<Feature>(feature);
        // On the configuration-change path: the re-applied writes mark the configuration anew.
        if (concrete)
            concrete->clear_state_flag();
        if (concrete && concrete->reapply())
            continue;
        if (failed_while_away())
            return make_immediate_failure_from_error();
        m_config_lost = true;
        reset_configuration();
        return make_immediate_failure_from_error();
    }
    {
        // Features registered while these re-applied wait for the next configuration change.
        std::lock_guard<std::mutex> lock(m_pending_mutex);
        for (const auto& done : pending) {
            auto it = std::find(m_pending_features.begin(), m_pending_features.end(), done);
            if (it != m_pending_features.end())
                m_pending_features.erase(it);
        }
    }
    publish_config_change();
    if (!configChange)
        return make_immediate_success();
    std::weak_ptr<Device> weak = shared_from_this();
    return configChange->SetCompleteAsync(m_config_cookie)
        ->then(
            weak,
            [weak](bool ok) -> std::shared_ptr<IRequest> {
                if (ok)
                    return make_immediate_success();
                if (last_error().code == 5)
                    return make_immediate_failure_from_error();
                auto device = weak.lock();
                if (!device)
                    return make_immediate_result(28, nullptr, 0);
                if (device->failed_while_away())
                    return make_immediate_failure_from_error();
                device->m_config_lost = true;
                device->reset_configuration();
                return make_immediate_failure_from_error();
            },
            "check feature 0020 SetComplete results");
}

void Device::publish_config_change()
{
    Producer<IDevice::ConfigChange>::notify([](IDevice::ConfigChange* s) { s->onConfigChange(); },
                                            "Device::Report::onConfigChange");
}

void Device::forget_configured_features()
{
    std::lock_guard<std::mutex> lock(m_configured_mutex);
    for (const auto& feature : m_configured_features)
        if (auto concrete = std::dynamic_pointer_cast<Feature>(feature))
            concrete->clear_state_flag();
    m_configured_features.clear();
}

bool Device::failed_while_away()
{
    if (last_error().code == 5)
        return true;
    if (!m_device_gone)
        return false;
    set_last_error(5, 0, nullptr);
    return true;
}

void Device::reset_configuration()
{
    const ErrorRecord saved = last_error_record();
    if (has_configured_features() || has_config_requests())
        publish_config_change();
    forget_configured_features();
    drop_pending_features();
    set_last_error(saved);
}

void Device::drop_pending_features()
{
    std::vector<std::shared_ptr<IFeature>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_pending_mutex);
        dropped.swap(m_pending_features);
    }
    // A feature that kept its mark would take later deferred writes as registered and never send them.
    for (const auto& feature : dropped)
        if (auto concrete = std::dynamic_pointer_cast<Feature>(feature))
            concrete->clear_reapply_mark();
}

bool Device::register_configured_feature(std::shared_ptr<IFeature> feature)
{
    if (m_config_closed)
        return true;
    if (!has_configured_features()) {
        auto link = std::dynamic_pointer_cast<IReceiverLink>(m_hardware_device);
        if (getTransport() == TransportReceiver && link) {
            m_receiver_flag_set = true;
            if (!link->set_receiver_flag())
                return false;
        }
        if (auto configChange = devio::getFeatureSync<IFeature0020ConfigChange>(shared_from_this())) {
            std::uint16_t cookie = 0;
            if (!configChange->GetCookie(&cookie))
                return false;
            if (cookie != 0) {
                m_device_cookie = cookie;
                if (!configChange->SetComplete(0))
                    return false;
            }
            std::uint32_t chosen = random(1, 0xFFFE);
            if (m_device_cookie <= chosen)
                chosen += 1;
            m_config_cookie = static_cast<std::uint16_t>(chosen);
            if (!has_config_requests() && !configChange->SetComplete(m_config_cookie))
                return false;
        } else if (last_error().code == 5) {
            // The device refuses requests now: no cookie could be set, so the configuration is
            // not marked. The caller's write is deferred and marks it when re-applied.
            return false;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_configured_mutex);
        m_configured_features.push_back(std::move(feature));
    }
    m_config_lost = false;
    publish_config_change();
    return true;
}

bool Device::has_configured_features()
{
    std::lock_guard<std::mutex> lock(m_configured_mutex);
    return !m_configured_features.empty();
}

bool Device::register_pending_feature(std::shared_ptr<IFeature> feature)
{
    if (m_config_closed)
        return true;
    auto link = std::dynamic_pointer_cast<IReceiverLink>(m_hardware_device);
    if (getTransport() == TransportReceiver && !has_config_requests() && link) {
        if (!m_receiver_flag_set.exchange(true) && !link->set_receiver_flag())
            return false;
        if (!link->set_receiver_slot_bit())
            return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_pending_mutex);
        m_pending_features.push_back(std::move(feature));
    }
    publish_config_change();
    return true;
}

bool Device::has_config_requests()
{
    std::lock_guard<std::mutex> lock(m_pending_mutex);
    return !m_pending_features.empty();
}

bool Device::release_configuration()
{
    m_config_closed = true;
    bool result = true;
    auto link = std::dynamic_pointer_cast<IReceiverLink>(m_hardware_device);
    if (m_receiver_flag_set && getTransport() == TransportReceiver && link)
        result = link->clear_receiver_flag();
    if (!has_configured_features() && !m_config_lost)
        return result;
    if (auto configChange = devio::getFeatureSync<IFeature0020ConfigChange>(shared_from_this()))
        configChange->SetComplete(0);
    {
        std::lock_guard<std::mutex> lock(m_configured_mutex);
        m_configured_features.clear();
    }
    m_config_lost = false;
    return result;
}

void Device::deactivate()
{
    if (m_notifications_enabled || !m_attached || !m_hardware_device->isConnected())
        return;
    auto configChange = devio::getFeatureSync<IFeature0020ConfigChange>(shared_from_this());
    if (!configChange)
        return;
    std::uint16_t cookie = 0;
    if (!configChange->GetCookie(&cookie))
        return;
    if (cookie == m_config_cookie) {
        configChange->SetComplete(0);
        if (has_configured_features())
            publish_config_change();
        forget_configured_features();
    } else if (cookie != 0) {
        m_device_cookie = cookie;
    }
}

void Device::invalidate(const char* reason)
{
    if (reason && std::string(reason) != "cache") {
        std::lock_guard<std::mutex> lock(m_cache_mutex);
        m_response_cache.clear();
        return;
    }
    const bool configured = has_configured_features();
    {
        std::lock_guard<std::mutex> lock(m_feature_mutex);
        m_features_by_index.clear();
        m_features_by_id.clear();
        m_feature_count = 0;
        m_all_features_known = false;
    }
    m_protocol = 0;
    m_software_id_collision = false;
    m_retry_pending = false;
    if (configured)
        publish_config_change();
    forget_configured_features();
    drop_pending_features();
    {
        std::lock_guard<std::mutex> lock(m_cache_mutex);
        m_response_cache.clear();
    }
    std::lock_guard<std::mutex> lock(m_firmware_mutex);
    m_firmware_text.clear();
    m_firmware_values = {};
    m_firmware_check_needed = false;
}

bool Device::rediscover()
{
    m_protocol = 0;
    return load_feature_root()->wait();
}

// ---------------------------------------------------------------- discovery

std::shared_ptr<IFeature> Device::add_feature(std::uint32_t index, std::uint32_t featureId, std::shared_ptr<IFeature> feature)
{
    std::lock_guard<std::mutex> lock(m_feature_mutex);
    auto it = m_features_by_index.find(index);
    if (it != m_features_by_index.end())
        return it->second;
    m_features_by_index[index] = feature;
    m_features_by_id[featureId] = feature;
    m_all_features_known = m_features_by_index.size() == m_feature_count;
    return feature;
}

template <class T>
std::shared_ptr<IDataRequest<std::shared_ptr<T>>> Device::get_feature_as(const char*)
{
    std::weak_ptr<Device> weak = shared_from_this();
    return DataRequest<std::shared_ptr<T>, IDataRequest<FeaturePtr>, FeaturePtr*>::create(
        getFeature(T::FeatureId), weak,
        [](FeaturePtr* feature) -> std::shared_ptr<IDataRequest<std::shared_ptr<T>>> {
            if (!feature)
                return make_data_failure_from_error<std::shared_ptr<T>>();
            auto typed = std::dynamic_pointer_cast<T>(*feature);
            if (!typed)
                return fail_data<std::shared_ptr<T>>(1, "cannot cast feature to proper type");
            return make_data_success(typed);
        },
        "cast feature-by-id to specific feature class");
}

std::shared_ptr<IRequest> Device::load_feature_root()
{
    auto self = shared_from_this();
    const std::uint32_t protocol = m_protocol;
    if (protocol == 1)
        return make_immediate_result(22, nullptr, 0);
    if (protocol == 2) {
        if (m_discovery_incomplete.exchange(false))
            return finish_discovery();
        return make_immediate_success();
    }
    std::weak_ptr<Device> weak = self;
    auto feature = make_feature(0x0000, 0, std::weak_ptr<IDevice>(self));
    if (!feature)
        return make_immediate_result(1, "cannot create root feature", 0);
    auto root = std::dynamic_pointer_cast<IFeature0000Root>(feature);
    if (!root)
        return make_immediate_result(1, "load_feature_root cannot cast root feature", 0);
    return root->TargetSw()->then(
        weak,
        on_device<IRequest, IFeature0000Root::TargetSwResponse*>(weak, [weak, feature](const std::shared_ptr<Device>& device, IFeature0000Root::TargetSwResponse* reply) -> std::shared_ptr<IRequest> {
            if (!reply) {
                if (last_error().code == 9) {
                    device->m_protocol = 1;
                    return make_immediate_result(22, nullptr, 0);
                }
                return make_immediate_failure_from_error();
            }
            device->m_protocol = 2;
            device->add_feature(0, 0, feature);
            device->m_retry_pending = true;
            return device->finish_discovery();
        }),
        "process TargetSw results (TSL1 vs TSL2), then load fwinfo");
}

std::shared_ptr<IRequest> Device::finish_discovery()
{
    std::weak_ptr<Device> weak = shared_from_this();
    return load_fwinfo()->then(
        weak,
        on_device<IRequest, bool>(weak, [weak](const std::shared_ptr<Device>& device, bool ok) -> std::shared_ptr<IRequest> {
            if (!ok) {
                device->m_discovery_incomplete = true;
                return make_immediate_success();
            }
            if (device->getTransport() != TransportReceiver)
                return make_immediate_success();
            return device->get_feature_as<IFeature1D4BWirelessStatus>()->then(
                weak,
                on_device<IRequest, std::shared_ptr<IFeature1D4BWirelessStatus>*>(weak, [weak](const std::shared_ptr<Device>& device, std::shared_ptr<IFeature1D4BWirelessStatus>* feature) -> std::shared_ptr<IRequest> {
                    if (feature && *feature) {
                        device->Subscriber<IFeature1D4BWirelessStatus::Report>::subscribe(*feature, 0, "");
                    } else if (last_error().code != 30) {
                        device->m_discovery_incomplete = true;
                    }
                    return make_immediate_success();
                }),
                "");
        }),
        "");
}

std::shared_ptr<IRequest> Device::load_fwinfo()
{
    std::weak_ptr<Device> weak = shared_from_this();
    return get_feature_as<IFeature0003FirmwareInfo>("get IFeature0003FirmwareInfo")
        ->then(
            weak,
            on_device<IRequest, std::shared_ptr<IFeature0003FirmwareInfo>*>(weak, [weak](const std::shared_ptr<Device>& device, std::shared_ptr<IFeature0003FirmwareInfo>* feature) -> std::shared_ptr<IRequest> {
                bool first;
                {
                    std::lock_guard<std::mutex> lock(device->m_firmware_mutex);
                    first = device->m_firmware_text.empty();
                }
                if (!feature || !*feature) {
                    if (first)
                        return make_immediate_failure_from_error();
                    device->m_firmware_check_needed = true;
                    return make_immediate_success();
                }
                return (*feature)->GetFwInfoString()->then(
                    weak,
                    on_device<IRequest, IFeature0003FirmwareInfo::GetFwInfoStringResponse*>(weak, [weak, first](const std::shared_ptr<Device>& device, IFeature0003FirmwareInfo::GetFwInfoStringResponse* reply) -> std::shared_ptr<IRequest> {
                        if (!reply) {
                            if (first)
                                return make_immediate_failure_from_error();
                            device->m_firmware_check_needed = true;
                            return make_immediate_success();
                        }
                        {
                            std::lock_guard<std::mutex> lock(device->m_firmware_mutex);
                            device->m_firmware_values = {reply->featureIndex, reply->featureVersion, reply->entity};
                            if (first) {
                                device->m_firmware_text = reply->text;
                                return make_immediate_success();
                            }
                        }
                        device->m_firmware_check_needed = true;
                        if (!device->attach())
                            return make_immediate_success();
                        return device->send({}, 0, {}, nullptr, 0)
                            ->then(
                                weak,
                                [](std::shared_ptr<IDeviceRequest>) -> std::shared_ptr<IRequest> {
                                    return make_immediate_success();
                                },
                                "ignore fwcheck flush data");
                    }),
                    "");
            }),
            "get IFeature0003FirmwareInfo");
}

std::shared_ptr<IDataRequest<FeaturePtr>> Device::getFeature(std::uint32_t featureId)
{
    {
        std::lock_guard<std::mutex> lock(m_feature_mutex);
        auto it = m_features_by_id.find(featureId);
        if (it != m_features_by_id.end()) {
            if (it->second)
                return make_data_success(it->second);
            return fail_data<FeaturePtr>(30);
        }
        if (m_all_features_known)
            return fail_data<FeaturePtr>(30);
    }
    return lookup_feature_by_id(featureId);
}

std::shared_ptr<IDataRequest<FeaturePtr>> Device::lookup_feature_by_id(std::uint32_t featureId)
{
    std::weak_ptr<Device> weak = shared_from_this();
    return DataRequest<FeaturePtr, IRequest, bool>::create(
        load_feature_root(), weak,
        on_device<IDataRequest<FeaturePtr>, bool>(weak, [weak, featureId](const std::shared_ptr<Device>& device, bool ok) -> std::shared_ptr<IDataRequest<FeaturePtr>> {
            if (!ok)
                return make_data_failure_from_error<FeaturePtr>();
            {
                std::lock_guard<std::mutex> lock(device->m_feature_mutex);
                auto it = device->m_features_by_id.find(featureId);
                if (it != device->m_features_by_id.end() && it->second)
                    return make_data_success(it->second);
            }
            if (featureId == 0)
                return fail_data<FeaturePtr>(30);
            auto root = std::dynamic_pointer_cast<IFeature0000Root>(device->feature_at(0));
            if (!root)
                return fail_data<FeaturePtr>(30);
            return DataRequest<FeaturePtr, IDataRequest<IFeature0000Root::GetFeatureResponse>,
                               IFeature0000Root::GetFeatureResponse*>::
                create(
                    root->GetFeature(featureId, 1), weak,
                    on_device<IDataRequest<FeaturePtr>, IFeature0000Root::GetFeatureResponse*>(weak, [weak, featureId](const std::shared_ptr<Device>& device, IFeature0000Root::GetFeatureResponse* reply) -> std::shared_ptr<IDataRequest<FeaturePtr>> {
                        if (!reply)
                            return make_data_failure_from_error<FeaturePtr>();
                        if (reply->feature_index == 0) {
                            std::lock_guard<std::mutex> lock(device->m_feature_mutex);
                            device->m_features_by_id[featureId] = nullptr;
                            return fail_data<FeaturePtr>(30);
                        }
                        auto feature = make_feature(featureId, static_cast<std::uint8_t>(reply->feature_index),
                                                    std::weak_ptr<IDevice>(device));
                        if (auto concrete = std::dynamic_pointer_cast<Feature>(feature))
                            concrete->set_discovered(reply->type_bit7, reply->type_bit6, reply->type_bit5,
                                                     reply->feature_version);
                        return make_data_success(device->add_feature(reply->feature_index, featureId, feature));
                    }),
                    "use index of feature-by-id to create feature");
        }),
        "use feature 0 to get index of feature by id");
}

std::shared_ptr<IDataRequest<FeaturePtr>> Device::getFeatureByIndex(std::uint32_t index)
{
    {
        std::lock_guard<std::mutex> lock(m_feature_mutex);
        auto it = m_features_by_index.find(index);
        if (it != m_features_by_index.end())
            return make_data_success(it->second);
        if (m_all_features_known)
            return fail_data<FeaturePtr>(30);
    }
    return lookup_feature_by_index(index);
}

std::shared_ptr<IDataRequest<FeaturePtr>> Device::lookup_feature_by_index(std::uint32_t index)
{
    std::weak_ptr<Device> weak = shared_from_this();
    return DataRequest<FeaturePtr, IDataRequest<std::uint32_t>, std::uint32_t*>::create(
        getFeatureCount(), weak,
        on_device<IDataRequest<FeaturePtr>, std::uint32_t*>(weak, [weak, index](const std::shared_ptr<Device>& device, std::uint32_t* count) -> std::shared_ptr<IDataRequest<FeaturePtr>> {
            if (!count)
                return make_data_failure_from_error<FeaturePtr>();
            std::shared_ptr<IFeature0001FeatureSet> featureSet;
            {
                std::lock_guard<std::mutex> lock(device->m_feature_mutex);
                if (index >= device->m_feature_count)
                    return fail_data<FeaturePtr>(30);
                auto it = device->m_features_by_index.find(index);
                if (it != device->m_features_by_index.end())
                    return make_data_success(it->second);
                auto fs = device->m_features_by_id.find(0x0001);
                if (fs != device->m_features_by_id.end())
                    featureSet = std::dynamic_pointer_cast<IFeature0001FeatureSet>(fs->second);
            }
            if (!featureSet)
                return fail_data<FeaturePtr>(1);
            return DataRequest<FeaturePtr, IDataRequest<IFeature0001FeatureSet::GetFeatureIdResponse>,
                               IFeature0001FeatureSet::GetFeatureIdResponse*>::
                create(
                    featureSet->GetFeatureId(index), weak,
                    on_device<IDataRequest<FeaturePtr>, IFeature0001FeatureSet::GetFeatureIdResponse*>(weak, [weak, index](const std::shared_ptr<Device>& device, IFeature0001FeatureSet::GetFeatureIdResponse* reply) -> std::shared_ptr<IDataRequest<FeaturePtr>> {
                        if (!reply)
                            return make_data_failure_from_error<FeaturePtr>();
                        auto feature = make_feature(reply->feature_id, static_cast<std::uint8_t>(index),
                                                    std::weak_ptr<IDevice>(device));
                        if (auto concrete = std::dynamic_pointer_cast<Feature>(feature))
                            concrete->set_discovered(reply->type_bit7, reply->type_bit6, reply->type_bit5,
                                                     reply->feature_version);
                        return make_data_success(device->add_feature(index, reply->feature_id, feature));
                    }),
                    "after getting desired feature, save it");
        }),
        "after verifying feature count, see if desired feature is in range and get it");
}

std::shared_ptr<IDataRequest<std::uint32_t>> Device::getFeatureCount()
{
    std::weak_ptr<Device> weak = shared_from_this();
    using FeatureSetPtr = std::shared_ptr<IFeature0001FeatureSet>;
    return DataRequest<std::uint32_t, IDataRequest<FeatureSetPtr>, FeatureSetPtr*>::create(
        get_feature_as<IFeature0001FeatureSet>(), weak,
        [weak](FeatureSetPtr* featureSet) -> std::shared_ptr<IDataRequest<std::uint32_t>> {
            if (!featureSet || !*featureSet)
                return make_data_failure_from_error<std::uint32_t>();
            return DataRequest<std::uint32_t, IDataRequest<IFeature0001FeatureSet::GetCountResponse>,
                               IFeature0001FeatureSet::GetCountResponse*>::
                create(
                    (*featureSet)->GetCount(), weak,
                    [weak](IFeature0001FeatureSet::GetCountResponse* reply)
                        -> std::shared_ptr<IDataRequest<std::uint32_t>> {
                        if (!reply)
                            return make_data_failure_from_error<std::uint32_t>();
                        auto device = weak.lock();
                        if (!device)
                            return make_data_failure<std::uint32_t>(28, nullptr, 0);
                        std::lock_guard<std::mutex> lock(device->m_feature_mutex);
                        device->m_feature_count = reply->count + 1;
                        device->m_all_features_known = device->m_features_by_index.size() == device->m_feature_count;
                        return make_data_success<std::uint32_t>(reply->count + 1);
                    },
                    "after getting feature count response, save it");
        },
        "after getting IFeature0001FeatureSet, use it to get feature count");
}

std::shared_ptr<IFeature> Device::getFeatureSync(std::uint32_t featureId)
{
    FeaturePtr feature;
    if (!getFeature(featureId)->get(feature))
        return nullptr;
    return feature;
}

std::shared_ptr<IFeature> Device::getFeatureByIndexSync(std::uint32_t index)
{
    FeaturePtr feature;
    if (!getFeatureByIndex(index)->get(feature))
        return nullptr;
    return feature;
}

std::uint32_t Device::getFeatureCountSync()
{
    std::uint32_t count = 0;
    if (!getFeatureCount()->get(count))
        return 0;
    return count;
}

std::vector<FeaturePtr> Device::discoverFeatures()
{
    bool known;
    {
        std::lock_guard<std::mutex> lock(m_feature_mutex);
        known = m_all_features_known;
    }
    if (!known) {
        const std::uint32_t count = getFeatureCountSync();
        if (count == 0)
            return {};
        for (std::uint32_t index = 2; index < count; ++index)
            if (!getFeatureByIndexSync(index))
                return {};
    }
    return getFeatures();
}

std::vector<FeaturePtr> Device::getFeatures()
{
    std::vector<FeaturePtr> features;
    std::lock_guard<std::mutex> lock(m_feature_mutex);
    for (const auto& entry : m_features_by_index)
        features.push_back(entry.second);
    return features;
}

} // namespace devio
