#include "features/Feature00d0DFU.h"

#include "core/Timing.h"
#include "features/FeatureRegistry.h"

#include <chrono>
#include <thread>

namespace devio {

bool Feature00d0DFU::DfuStart(std::vector<Byte> params, std::uint32_t* status, std::vector<Byte>* reply)
{
    // The status is byte 4 of the record; a short report does not carry it.
    std::vector<Byte> payload;
    if (!execute_payload(4, params, 0, 5, payload))
        return false;
    if (status)
        *status = payload[4];
    if (reply)
        *reply = payload;
    return true;
}

bool Feature00d0DFU::DfuCmdData(std::uint32_t packetNumber, std::vector<Byte> packet)
{
    std::vector<Byte> payload;
    if (!execute((packetNumber + 1) & 3, packet, payload, 0))
        return false;
    const std::uint32_t next = packetNumber + 1;
    Producer<Report>::notify([next, payload](Report* s) { s->onDfuStatus(next, payload); },
                             "IFeature00d0DFU::Report::onDfuStatus");
    return true;
}

bool Feature00d0DFU::Restart(std::uint8_t value)
{
    // The device is leaving; whether the write went through is not looked at.
    send(5, {value});
    const auto until = std::chrono::steady_clock::now() + Timing::scaledDuration(1000);
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_until(until);
    return true;
}

void Feature00d0DFU::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    if (payload.size() < 4) {
        set_last_error(2, 0, nullptr);
        return;
    }
    const std::uint32_t packet = be32(payload, 0);
    Producer<Report>::notify([packet, payload](Report* s) { s->onDfuStatus(packet, payload); },
                             "IFeature00d0DFU::Report::onDfuStatus");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature00d0DFU, 0x00D0)
