// The firmware check of devio::Device.
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

// ---------------------------------------------------------------- firmware check

bool Device::direct_exchange(std::uint32_t index, std::uint32_t function, std::vector<Byte> params,
                             std::vector<Byte>& payload)
{
    std::vector<Byte> command = {0x10, 0xFF, static_cast<Byte>(index),
                                 static_cast<Byte>((function << 4) | (getSoftwareId() & 0x0F))};
    command.insert(command.end(), params.begin(), params.end());
    command.resize(std::max<std::size_t>(command.size(), 7), 0);
    auto request = std::make_shared<DeviceRequest>(std::weak_ptr<IDeviceRequestHost>(shared_from_this()),
                                                   std::move(command), 0, std::vector<unsigned>{});
    request->mark_sent();
    transmit(request, false);
    if (!request->check_response())
        return false;
    payload = request->payload();
    if (payload.empty()) {
        set_last_error(2);
        return false;
    }
    return true;
}

bool Device::firmware_check()
{
    if (!m_firmware_check_needed)
        return true;
    std::string text;
    std::array<std::uint32_t, 3> values;
    {
        std::lock_guard<std::mutex> lock(m_firmware_mutex);
        text = m_firmware_text;
        values = m_firmware_values;
    }
    if (text.empty()) {
        m_firmware_check_needed = false;
        return true;
    }
    std::uint32_t index = values[0];
    std::vector<Byte> payload;
    if (index == 0) {
        if (!direct_exchange(0, 0, {0x00, 0x03, 0x00}, payload))
            return false;
        index = payload[0];
    }
    if (!direct_exchange(index, 0, {}, payload))
        return false;
    std::uint32_t unitId = 0;
    payload.resize(std::max<std::size_t>(payload.size(), 16), 0);
    IFeature0003FirmwareInfo::GetEntityCountResponse::get_count_and_unit_id(payload, nullptr, &unitId);
    if (!direct_exchange(index, 1, {static_cast<Byte>(values[2])}, payload))
        return false;
    payload.resize(std::max<std::size_t>(payload.size(), 16), 0);
    const std::string current = format_fw_version(payload, false, values[1] >= 1, unitId);
    m_firmware_check_needed = false;
    if (current == text)
        return true;
    {
        std::lock_guard<std::mutex> lock(m_firmware_mutex);
        m_firmware_text.clear();
    }
    invalidate(nullptr);
    m_cache_dirty = true;
    auto self = shared_from_this();
    Producer<IDevice::Connect>::notify([self](IDevice::Connect* s) { s->onFirmwareChanged(self); },
                                       "Device::Connect::onFirmwareChanged");
    set_last_error(67);
    return false;
}

} // namespace devio
