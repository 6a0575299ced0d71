// The configuration cookie and the configured features of devio::Device.
#include "device/Device.h"
#include "device/DeviceRequestChain.h"

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

} // namespace devio
