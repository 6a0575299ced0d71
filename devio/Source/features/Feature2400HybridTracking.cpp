#include "features/Feature2400HybridTracking.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

HybridReporting::SpeedInfo Feature2400HybridTracking::decode_speed_info(const std::vector<Byte>& payload)
{
    const std::vector<Byte>& p = payload;
    HybridReporting::SpeedInfo info;
    info.state = byte_at(p, 0);
    info.speed1 = sign16(read_be16(p, 1));
    info.speed2 = sign16(read_be16(p, 3));
    info.speed3 = sign16(read_be16(p, 5));
    info.speed4 = sign16(read_be16(p, 7));
    info.value5 = read_be16(p, 9);
    info.value6 = read_be16(p, 11);
    info.value7 = read_be16(p, 14);
    return info;
}

bool Feature2400HybridTracking::GetHybridMode(bool* on)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(1), reply))
        return false;
    if (on)
        *on = reply[0] == 1;
    return true;
}

bool Feature2400HybridTracking::SetHybridMode(std::uint8_t mode)
{
    return shared_ops::set_angle_snapping(*this, mode);
}

bool Feature2400HybridTracking::GetHybridState(std::uint32_t* state)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 2, {}, ReplyRule::strict(1), reply))
        return false;
    const Byte value = reply[0];
    if (value != 0x00 && value != 0x01 && value != 0xFF)
        return false;
    if (state)
        *state = value;
    return true;
}

bool Feature2400HybridTracking::SetHybridReporting(std::uint8_t value)
{
    return write_request(*this, 3, {value});
}

void Feature2400HybridTracking::on_notification(int function, const std::vector<Byte>& payload)
{
    if (payload.size() < 16)
        return;
    if (function == 1) {
        const HybridReporting::SpeedInfo info = decode_speed_info(payload);
        Producer<Report>::notify([info](Report* s) { s->onHybridStateChange(info); },
               "Feature2400HybridTracking::Report::onHybridStateChange");
    } else if (function == 15) {
        Producer<Report>::notify([payload](Report* s) { s->onHybridRawData(payload); },
               "Feature2400HybridTracking::Report::onHybridRawData");
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2400HybridTracking, 0x2400)
