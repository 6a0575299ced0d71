// Report routing and software ids of devio::Device.
#include "device/Device.h"

#include "core/Configuration.h"
#include "core/ErrorRecord.h"
#include "core/IHardwareBus.h"
#include "core/IReceiver.h"
#include "core/Timer.h"
#include "core/Timing.h"
#include "device/DeviceLock.h"
#include "features/Feature.h"
#include "features/FeatureRegistry.h"
#include "features/IFeature0003FirmwareInfo.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <cstdlib>

namespace devio {

namespace {

std::int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// ---------------------------------------------------------------- routing and software ids

std::uint32_t Device::getSoftwareId()
{
    std::lock_guard<std::mutex> lock(m_software_id_mutex);
    if (m_software_id == 0) {
        if (auto manager = m_manager.lock())
            m_software_id = manager->getSoftwareId() & 0x0F;
    }
    return m_software_id != 0 ? m_software_id : 15;
}

std::uint32_t Device::choose_software_id()
{
    if (m_software_id_collision) {
        std::lock_guard<std::mutex> lock(m_software_id_mutex);
        std::int64_t bound = m_stamp_counter;
        std::uint32_t best = 0;
        for (std::uint32_t id = 1; id <= 15; ++id) {
            if (m_software_id_stamps[id] <= bound) {
                bound = m_software_id_stamps[id];
                best = id;
            }
        }
        if (best != 0)
            m_software_id = best;
        m_software_id_collision = false;
    }
    return getSoftwareId();
}

std::shared_ptr<IFeature> Device::feature_at(std::uint32_t index)
{
    std::lock_guard<std::mutex> lock(m_feature_mutex);
    auto it = m_features_by_index.find(index);
    return it == m_features_by_index.end() ? nullptr : it->second;
}

IDevice::ReportType Device::route_report(std::vector<Byte> report, bool replaceIndex)
{
    {
        std::lock_guard<std::mutex> lock(m_receive_time_mutex);
        m_last_receive_time = now_ns();
    }
    m_silent = false;
    if (report.size() < 7)
        return ReportOther;
    if (replaceIndex)
        report[1] = 0xFF;
    const Byte sub = report[2];
    if (sub == 0x40 || sub == 0x41 || sub == 0x49 || sub == 0x4B)
        return ReportNotification;
    const bool ownIndex = report[1] == 0x00 || report[1] == 0xFF;
    const unsigned function = report[3] >> 4;
    const unsigned softwareId = report[3] & 0x0F;
    if (m_protocol == 2 && ownIndex && softwareId == 0) {
        if (auto feature = std::dynamic_pointer_cast<Feature>(feature_at(sub))) {
            if (m_notifications_enabled)
                feature->onFeatureReport(static_cast<int>(function), std::vector<Byte>(report.begin() + 4, report.end()));
            return ReportNotification;
        }
    }
    {
        std::unique_lock<std::mutex> lock(m_request_mutex);
        if (m_pending_request && m_pending_request->is_response(report)) {
            m_hardware_device->onReply(m_hardware_device->replyToken());
            m_pending_request->set_response(report);
            m_pending_request.reset();
            lock.unlock();  // the worker wakes to a free mutex
            m_reply_condition.notify_all();
            return ReportReply;
        }
        if (getTransport() == TransportReceiver && config_item(ConfigLateReplies) && !m_late_reply_seen &&
            m_last_request && m_last_request->is_response(report)) {
            m_late_reply_seen = true;
            if (m_pending_request) {
                m_pending_request->set_error(4);
                m_pending_request.reset();
                m_reply_condition.notify_all();
            }
            return ReportReply;
        }
    }
    if (!ownIndex)
        return ReportOther;
    if (m_protocol == 2) {
        const bool pingZero = sub == 0 && function == 1 && report[6] == 0;
        if (!pingZero && softwareId == getSoftwareId()) {
            m_software_id_collision = true;
            m_retry_pending = true;
        }
        {
            std::lock_guard<std::mutex> lock(m_software_id_mutex);
            m_software_id_stamps[softwareId] = ++m_stamp_counter;
        }
        if (m_notifications_enabled) {
            if (auto feature = std::dynamic_pointer_cast<Feature>(feature_at(sub)))
                feature->onUnexpectedResponse(function, softwareId, std::vector<Byte>(report.begin() + 4, report.end()));
        }
    }
    return ReportUnmatched;
}

} // namespace devio
