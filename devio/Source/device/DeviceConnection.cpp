// Connection handling of devio::Device.
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

std::int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

} // namespace devio
