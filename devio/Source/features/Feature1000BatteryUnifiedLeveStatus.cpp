#include "features/Feature1000BatteryUnifiedLeveStatus.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1000BatteryUnifiedLeveStatus::GetBatteryLevelStatus(std::uint16_t* first, std::uint16_t* second,
                                                                std::uint16_t* third)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 3, reply))
        return false;
    if (first)
        *first = reply[0];
    if (second)
        *second = reply[1];
    if (third)
        *third = reply[2];
    return true;
}

bool Feature1000BatteryUnifiedLeveStatus::GetBatteryCapability(std::uint16_t* first, std::uint16_t* second,
                                                               std::uint32_t* third, std::uint32_t* fourth)
{
    std::vector<Byte> reply;
    if (!execute_payload(1, {}, 1, 5, reply))
        return false;
    if (first)
        *first = reply[0];
    if (second)
        *second = reply[1];
    if (third)
        *third = be16(reply, 2);
    if (fourth)
        *fourth = reply[4];
    return true;
}

void Feature1000BatteryUnifiedLeveStatus::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    if (payload.size() < 3) {
        set_last_error(2, 0, nullptr);
        return;
    }
    const short level = payload[0];
    const short second = payload[1];
    const short third = payload[2];
    Producer<Report>::notify(
        [level, second, third](Report* s) { s->onBatteryLevelStatus(level, second, third); },
        "Feature1000BatteryUnifiedLeveStatus::Report::onBatteryLevelStatus");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1000BatteryUnifiedLeveStatus, 0x1000)
